#include "net/ClientRole.h"

#include "net/Framing.h"
#include "net/ReadPump.h"
#include "net/RunClockWords.h"
#include "net/SocketCodes.h"

#include <QTcpSocket>
#include <QTimer>

ClientRole::ClientRole(QTimer *tmrClient, QObject *parent)
    : QObject(parent), m_socket(new QTcpSocket(this)), m_tmrClient(tmrClient)
{
    m_tmrClient->setSingleShot(true);
    m_tmrClient->setTimerType(Qt::PreciseTimer);
    connect(m_tmrClient, &QTimer::timeout, this, &ClientRole::tmrClient_Timer);
    m_pump = new ReadPump(
        m_socket, m_receiver, [this] { return handleNext(); }, this);
    m_clock = new ClientClock(
        [this](const QByteArray &bytes) {
            if (m_socket->state() == QAbstractSocket::ConnectedState && m_pump->write(bytes))
                m_pump->flush();
        },
        this);

    connect(m_socket, &QTcpSocket::connected, this, [this] {
        m_wasConnected = true;
        m_resetProbe.watch(m_socket->socketDescriptor());
        m_pump->stampReceives();
        m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_pump->write(framing::messageBytes("Connected", {}));
        Q_EMIT connected();
    });
    connect(m_socket, &QTcpSocket::disconnected, this, [this] {
        connectionEnded();
        if (!m_closing && !m_errorReported)
            Q_EMIT closedByServer();
    });
    connect(m_socket, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) { socketError(error); });
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
    connectionEnded();
    m_socket->connectToHost(host, port);
}

void ClientRole::close()
{
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        return;
    m_closing = true;
    m_resetProbe.release();
    m_socket->flush();
    m_socket->disconnectFromHost();
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->abort();
    m_closing = false;
    connectionEnded();
}

void ClientRole::SendClient(const QByteArray &RCommand, const QByteArray &RData)
{
    if (m_socket->state() != QAbstractSocket::ConnectedState) {
        close();
        return;
    }
    m_pump->write(framing::messageBytes(RCommand, RData));
}

void ClientRole::connectionEnded()
{
    m_resetProbe.release();
    m_pump->reset();
    m_receiver.clear();
    // A message delayed by this server is no business of the next one.
    m_tmrClient->stop();
    m_delayed.reset();
    m_clock->connectionEnded();
}

void ClientRole::socketError(int error)
{
    if (m_closing)
        return;
    int number = socketCodes::errorNumber(static_cast<QAbstractSocket::SocketError>(error));
    if (error == QAbstractSocket::RemoteHostClosedError && m_wasConnected) {
        // Qt reports the server's orderly close and its reset alike; only a reset is an error.
        // The orderly close is the closed event, which says nothing to the user.
        if (!m_resetProbe.wasReset())
            return;
        number = socketCodes::connectionReset;
    }
    m_resetProbe.release();
    m_errorReported = true;
    const QString description = m_socket->errorString();
    // The reaction may ask for a new server and connect again: let the socket finish first.
    QMetaObject::invokeMethod(
        this, [this, number, description] { Q_EMIT failed(number, description); }, Qt::QueuedConnection);
}

bool ClientRole::handleNext()
{
    const std::optional<ClientReceiver::Item> item = m_receiver.next();
    if (!item)
        return false;
    switch (item->kind) {
    case ClientReceiver::Item::Kind::FileData:
        Q_EMIT fileData(item->fileData);
        break;
    case ClientReceiver::Item::Kind::Envelope:
        // One slot: a later envelope replaces a waiting one and restarts the wait.
        m_delayed = item->message;
        m_delayedDueNs = item->arrivalNs + qint64(item->delayMs) * 1000000;
        m_tmrClient->start(item->delayMs);
        break;
    case ClientReceiver::Item::Kind::Message:
        if (item->message.command == ClientCommand::ClockTell) {
            m_clock->answered(item->message.data, item->arrivalNs, item->startsRead);
            break;
        }
        handleResponseClient(item->message, item->arrivalNs);
        break;
    }
    return true;
}

void ClientRole::tmrClient_Timer()
{
    m_tmrClient->stop();
    if (const std::optional<ClientMessage> message = std::exchange(m_delayed, std::nullopt))
        handleResponseClient(*message, m_delayedDueNs);
}

void ClientRole::handleResponseClient(const ClientMessage &message, qint64 arrivalNs)
{
    switch (message.command) {
    case ClientCommand::TimerResponse:
        // The first ask for the run's clock rides in the same write: a server that does not
        // know the word takes it for the answer's unused data, or for an unknown message of
        // its own, and ignores it either way.
        m_pump->write(framing::messageBytes("MirrorTimerResponse", {}) + m_clock->firstAsk());
        m_pump->flush();
        break;
    case ClientCommand::SetMusic:
        Q_EMIT setMusic(message.data);
        break;
    case ClientCommand::SetFileDone:
        Q_EMIT setFileDone(message.data);
        break;
    case ClientCommand::PutFileReady:
        Q_EMIT putFileReady(message.data);
        break;
    case ClientCommand::SkipFile:
        Q_EMIT skipFile(message.data);
        break;
    case ClientCommand::ReStartPutFile:
        Q_EMIT reStartPutFile();
        break;
    case ClientCommand::DoGetFile:
        Q_EMIT doGetFile();
        break;
    case ClientCommand::SkipFiles:
        Q_EMIT skipFiles();
        break;
    case ClientCommand::PlayMusic:
        Q_EMIT playMusic(message.data, arrivalNs);
        break;
    case ClientCommand::StopAllMusic:
        Q_EMIT stopAllMusic();
        break;
    case ClientCommand::ClockTell:
        break; // only straight from the wire, never delayed in an envelope
    case ClientCommand::PlayMusicAt:
        // Only a server we asked sends it; anything else is no moment.
        if (const auto play = runClockWords::parsePlayAt(message.data); play && m_clock->serverKeepsClock())
            Q_EMIT playMusicAt(play->slot, play->atNs, play->delayMs, arrivalNs);
        break;
    }
}
