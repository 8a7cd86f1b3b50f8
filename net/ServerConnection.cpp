#include "net/ServerConnection.h"

#include "net/SocketCodes.h"

#include <QTcpSocket>

ServerConnection::ServerConnection(int index, QTcpSocket *socket, ServerReceiver::AnnouncedSong announced,
                                   QObject *parent)
    : QObject(parent), m_index(index), m_socket(socket), m_receiver(std::move(announced))
{
    m_socket->setParent(this);
    m_settle.setSingleShot(true);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        m_receiver.settle();
        drain();
    });
    connect(m_socket, &QTcpSocket::readyRead, this, &ServerConnection::readAll);
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

void ServerConnection::write(const QByteArray &bytes)
{
    if (m_socket->isOpen())
        m_socket->write(bytes);
}

void ServerConnection::close()
{
    m_settle.stop();
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        return;
    m_closing = true;
    m_socket->flush();
    m_socket->disconnectFromHost();
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
    m_closing = false;
}

void ServerConnection::readAll()
{
    m_receiver.append(m_socket->readAll());
    drain();
}

void ServerConnection::drain()
{
    // A handler may run a nested event loop (a dialog); the outer loop picks up what
    // arrives meanwhile.
    if (m_draining)
        return;
    m_draining = true;
    m_settle.stop();
    while (std::optional<WireMessage> message = m_receiver.next()) {
        Q_EMIT messageReceived(m_index, *message);
        if (m_socket->state() == QAbstractSocket::UnconnectedState)
            break;
    }
    m_draining = false;
    if (m_receiver.overflowed()) {
        m_socket->abort();
        return;
    }
    if (m_receiver.waitsToSettle())
        m_settle.start(ServerReceiver::settleMs);
}
