#include "net/SocketCodes.h"

namespace socketCodes {

int stateNumber(QAbstractSocket::SocketState state)
{
    switch (state) {
    case QAbstractSocket::UnconnectedState:
        return stateClosed;
    case QAbstractSocket::BoundState:
        return 1;
    case QAbstractSocket::ListeningState:
        return 2;
    case QAbstractSocket::HostLookupState:
        return 4;
    case QAbstractSocket::ConnectingState:
        return 6;
    case QAbstractSocket::ConnectedState:
        return stateConnected;
    case QAbstractSocket::ClosingState:
        return 8;
    }
    return 9;
}

int errorNumber(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        return hostNotFound;
    case QAbstractSocket::ConnectionRefusedError:
        return connectionRefused;
    case QAbstractSocket::RemoteHostClosedError:
        return connectionAborted;
    case QAbstractSocket::NetworkError:
        return connectionReset;
    default:
        break;
    }
    return static_cast<int>(error);
}

} // namespace socketCodes
