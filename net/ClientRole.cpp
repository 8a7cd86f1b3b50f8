#include "net/ClientRole.h"

#include "net/Framing.h"
#include "net/SocketCodes.h"

#include <QTcpSocket>

ClientRole::ClientRole(QTimer *tmrClient, QObject *parent)
    : QObject(parent), m_socket(new QTcpSocket(this)), m_tmrClient(tmrClient)
{
    m_tmrClient->setSingleShot(true);
    connect(m_tmrClient, &QTimer::timeout, this, &ClientRole::tmrClient_Timer);
    m_settle.setSingleShot(true);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        m_receiver.settle();
        drain();
    });

    connect(m_socket, &QTcpSocket::connected, this, [this] {
        m_wasConnected = true;
        m_socket->write(framing::messageBytes("Connected", {}));
        Q_EMIT connected();
    });
    connect(m_socket, &QTcpSocket::readyRead, this, &ClientRole::readAll);
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        resetReceiver();
        if (!m_closing && !m_errorReported)
            Q_EMIT closedByServer();
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        // The server closing an open connection reaches Qt as an error too; it is the
        // closed event, which says nothing to the user.
        if (m_closing || (error == QAbstractSocket::RemoteHostClosedError && m_wasConnected))
            return;
        m_errorReported = true;
        const int number = socketCodes::errorNumber(error);
        const QString description = m_socket->errorString();
        // The reaction may ask for a new server and connect again: let the socket finish first.
        QMetaObject::invokeMethod(this, [this, number, description] { Q_EMIT failed(number, description); },
                                  Qt::QueuedConnection);
    });
}

ClientRole::~ClientRole()
{
    // The socket closes as it is destroyed; nothing here may hear of it.
    m_socket->disconnect(this);
}

int ClientRole::state() const
{
    return socketCodes::stateNumber(m_socket->state());
}

QString ClientRole::remoteHost() const
{
    return m_socket->peerName();
}

void ClientRole::connectToServer(const QString &host, quint16 port)
{
    close();
    m_errorReported = false;
    m_wasConnected = false;
    resetReceiver();
    m_socket->connectToHost(host, port);
}

void ClientRole::close()
{
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        return;
    m_closing = true;
    m_socket->flush();
    m_socket->disconnectFromHost();
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
    m_closing = false;
    resetReceiver();
}

void ClientRole::SendClient(const QByteArray &RCommand, const QByteArray &RData)
{
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        close();
        return;
    }
    m_socket->write(framing::messageBytes(RCommand, RData));
}

void ClientRole::resetReceiver()
{
    m_settle.stop();
    m_receiver.clear();
}

void ClientRole::readAll()
{
    m_receiver.append(m_socket->readAll());
    drain();
}

void ClientRole::drain()
{
    // A handler may run a nested event loop (a dialog); the outer loop picks up what
    // arrives meanwhile.
    if (m_draining)
        return;
    m_draining = true;
    m_settle.stop();
    while (std::optional<ClientReceiver::Item> item = m_receiver.next()) {
        handle(*item);
        if (m_socket->state() != QAbstractSocket::ConnectedState)
            break;
    }
    m_draining = false;
    if (m_receiver.overflowed()) {
        // A server that floods the client with what no message is: leave it.
        m_socket->abort();
        return;
    }
    if (const int wait = m_receiver.settleWaitMs(); wait > 0)
        m_settle.start(wait);
}

void ClientRole::handle(const ClientReceiver::Item &item)
{
    switch (item.kind) {
    case ClientReceiver::Item::Kind::FileData:
        Q_EMIT fileData(item.fileData);
        break;
    case ClientReceiver::Item::Kind::Envelope:
        // One slot: a later envelope replaces a waiting one and restarts the wait.
        m_delayed = item.message;
        m_tmrClient->start(item.delayMs);
        break;
    case ClientReceiver::Item::Kind::Message:
        handleResponseClient(item.message);
        break;
    }
}

void ClientRole::tmrClient_Timer()
{
    m_tmrClient->stop();
    const WireMessage message = std::exchange(m_delayed, {});
    handleResponseClient(message);
}

void ClientRole::handleResponseClient(const WireMessage &message)
{
    const QByteArray &word = message.command;
    if (word == "TimerResponse") {
        if (m_socket->isOpen())
            m_socket->write(framing::messageBytes("MirrorTimerResponse", {}));
    } else if (word == "SetMusic") {
        m_receiver.setFileDataExpected(false);
        Q_EMIT setMusic(message.data);
    } else if (word == "SetFileDone") {
        m_receiver.setFileDataExpected(true);
        Q_EMIT setFileDone(message.data);
    } else if (word == "PutFileReady") {
        m_receiver.setFileDataExpected(false);
        Q_EMIT putFileReady(message.data);
    } else if (word == "SkipFile") {
        m_receiver.setFileDataExpected(false);
        Q_EMIT skipFile(message.data);
    } else if (word == "ReStartPutFile") {
        m_receiver.setFileDataExpected(false);
        Q_EMIT reStartPutFile();
    } else if (word == "DoGetFile") {
        Q_EMIT doGetFile();
    } else if (word == "SkipFiles") {
        m_receiver.setFileDataExpected(false);
        Q_EMIT skipFiles();
    } else if (word == "PlayMusic") {
        Q_EMIT playMusic(message.data);
    } else if (word == "StopAllMusic") {
        Q_EMIT stopAllMusic();
    }
}
