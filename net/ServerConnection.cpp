#include "net/ServerConnection.h"

#include "net/ReadPump.h"
#include "net/SocketCodes.h"

#include <QTcpSocket>

ServerConnection::ServerConnection(int index, QTcpSocket *socket, ServerReceiver::AnnouncedSong announced,
                                   QObject *parent)
    : QObject(parent), m_index(index), m_socket(socket), m_receiver(std::move(announced))
{
    m_socket->setParent(this);
    m_pump = new ReadPump(
        m_socket, m_receiver,
        [this] {
            const std::optional<ServerMessage> message = m_receiver.next();
            if (!message)
                return false;
            Q_EMIT messageReceived(m_index, *message);
            return true;
        },
        this);
    // Asks for the run's clock count from when they reached this computer; small messages
    // go out at once rather than behind a chunk's acknowledgement.
    m_pump->stampReceives();
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(m_pump, &ReadPump::drained, this, [this] {
        if (m_disposeWhenDrained)
            deleteLater();
    });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        if (!m_closing)
            Q_EMIT closed(m_index);
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // Qt reports a client's orderly close as an error too; the close itself is handled.
        if (error != QAbstractSocket::RemoteHostClosedError)
            Q_EMIT failed(m_index);
    });
}

ServerConnection::~ServerConnection()
{
    m_socket->disconnect(this);
}

int ServerConnection::state() const
{
    return socketCodes::stateNumber(m_socket->state());
}

void ServerConnection::flush()
{
    m_pump->flush();
}

bool ServerConnection::write(const QByteArray &bytes)
{
    return m_pump->write(bytes);
}

void ServerConnection::close()
{
    m_pump->reset();
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        return;
    m_closing = true;
    m_socket->flush();
    m_socket->disconnectFromHost();
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
    m_closing = false;
}

void ServerConnection::dispose()
{
    close();
    if (m_pump->draining())
        m_disposeWhenDrained = true;
    else
        deleteLater();
}
