#include "net/ServerRole.h"

#include "net/Framing.h"
#include "net/ReadPump.h"
#include "net/ResponseTime.h"
#include "net/RunClockWords.h"
#include "net/ServerConnection.h"
#include "net/SocketCodes.h"
#include "net/WireScan.h"
#include "core/MonotonicClock.h"
#include "platform/RealtimeSection.h"

#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

ServerRole::ServerRole(const SessionState &session, QObject *parent, Clock clock)
    : QObject(parent), m_session(session), m_listener(new QTcpServer(this)), m_clock(std::move(clock))
{
    m_elapsed.start();
    if (!m_clock)
        m_clock = [this] { return static_cast<double>(m_elapsed.nsecsElapsed()) / 1e9; };
    connect(m_listener, &QTcpServer::newConnection, this, &ServerRole::acceptPending);
    connect(m_listener, &QTcpServer::acceptError, this, [this] { sckServer_ListenError(); });
    // A run's song list and its playing song belong to that run alone.
    connect(&m_session, &SessionState::runActiveChanged, this, [this] {
        m_songListBytes.clear();
        m_playingSong.reset();
    });
}

ServerRole::~ServerRole()
{
    // The connections close as they are destroyed; nothing here may hear of it.
    for (ServerConnection *connection : m_connections) {
        if (connection)
            connection->disconnect(this);
    }
}

bool ServerRole::listen(quint16 port)
{
    closeListening();
    m_port = port;
    if (m_listener->listen(m_listenAddress, port)) {
        // Listening again after an error takes the port really bound, also when 0 was asked.
        m_port = m_listener->serverPort();
        return true;
    }
    m_listenError = m_listener->serverError();
    return false;
}

void ServerRole::closeListening()
{
    if (m_listener->isListening())
        m_listener->close();
}

bool ServerRole::isListening() const
{
    return m_listener->isListening();
}

quint16 ServerRole::listeningPort() const
{
    return m_listener->serverPort();
}

QAbstractSocket::SocketError ServerRole::listenError() const
{
    return m_listenError;
}

void ServerRole::sckServer_ListenError()
{
    // Qt stops accepting after a hard accept error; listening anew resumes it.
    closeListening();
    listenAgain();
}

void ServerRole::listenAgain()
{
    if (m_listener->listen(m_listenAddress, m_port))
        return;
    m_listenError = m_listener->serverError();
    Q_EMIT listenFailed(m_port, m_listener->errorString());
}

int ServerRole::connectionState(int index) const
{
    if (index < 1 || index > lastIndex || !m_connections[index])
        return socketCodes::stateClosed;
    return m_connections[index]->state();
}

const std::optional<ClientInfo> &ServerRole::client(int index) const
{
    static const std::optional<ClientInfo> none;
    return index >= 0 && index <= lastIndex ? Clients[index] : none;
}

bool ServerRole::isReady(int index) const
{
    return connectionState(index) == socketCodes::stateConnected && Clients[index] && Clients[index]->IsConnected &&
           Clients[index]->HasTimerResponse;
}

void ServerRole::acceptPending()
{
    while (QTcpSocket *socket = m_listener->nextPendingConnection()) {
        // A client that comes during a run joins it.
        const int index = m_session.acceptNewClients() || m_session.runActive() ? nextIndex() : 0;
        if (index == 0) {
            // Not taken: closed at once, so the peer learns of it instead of hanging.
            socket->disconnectFromHost();
            socket->deleteLater();
            continue;
        }
        LastClientIndex = index;
        auto *connection = new ServerConnection(
            index, socket, [this](int slot, const QByteArray &path) { return announced(slot, path); }, this);
        connect(connection, &ServerConnection::messageReceived, this, &ServerRole::handleMessage);
        connect(connection, &ServerConnection::closed, this, &ServerRole::connectionClosed);
        // Handled after Qt has finished with the socket's error.
        connect(
            connection, &ServerConnection::failed, this,
            [this, guard = QPointer<ServerConnection>(connection)](int i) { connectionFailed(i, guard.data()); },
            Qt::QueuedConnection);
        m_connections[index] = connection;
        Clients[index] = ClientInfo{};
        Q_EMIT clientAccepted(index);
    }
}

int ServerRole::nextIndex() const
{
    const int next = LastClientIndex + 1;
    if (next >= 1 && next <= lastIndex && !m_connections[next])
        return next;
    // Past the last slot, or the counter points at a live connection: the lowest free slot.
    for (int i = 1; i <= lastIndex; ++i) {
        if (!m_connections[i])
            return i;
    }
    return 0;
}

void ServerRole::handleMessage(int index, const ServerMessage &message)
{
    if (!Clients[index])
        return;
    ClientInfo &client = *Clients[index];
    const bool wasReady = isReady(index);
    switch (message.command) {
    case ServerCommand::MirrorTimerResponse:
        client.HasTimerResponse = true;
        // Without "Connected" no probe went out: there is nothing to measure.
        if (client.IsConnected)
            client.TimerResponse = responseTime::timerResponseMs(client.TempTimerResponse, m_clock());
        break;
    case ServerCommand::Connected:
        client.IsConnected = true;
        client.TempTimerResponse = m_clock();
        m_connections[index]->write(framing::messageBytes("TimerResponse", {}));
        break;
    case ServerCommand::GetFile:
        Q_EMIT getFileReceived(index, message.data);
        break;
    case ServerCommand::SetFile:
        Q_EMIT setFileReceived(index, message.data);
        break;
    case ServerCommand::AllFilesLoaded:
        Q_EMIT allFilesLoadedReceived(index);
        break;
    case ServerCommand::HasNeededFiles:
        Q_EMIT hasNeededFilesReceived(index);
        break;
    case ServerCommand::ClockAsk:
        answerClockAsk(index, message.data);
        break;
    }
    if (!wasReady && isReady(index))
        becameReady(index);
}

void ServerRole::becameReady(int index)
{
    if (m_session.runActive() && !m_songListBytes.isEmpty()) {
        ClientInfo &client = *Clients[index];
        client.SongListOwed = true;
        client.JoinedDuringNs = m_playingSong ? m_playingSong->atNs : 0;
        // After the rest of this read: a clock ask riding behind the probe's answer is answered
        // first, so that answer begins a read of its own at the client, the only kind it trusts.
        QTimer::singleShot(0, this, [this, index, guard = QPointer<ServerConnection>(m_connections[index])] {
            sendLateSongList(index, guard.data());
        });
    }
    Q_EMIT clientReady(index);
}

void ServerRole::sendLateSongList(int index, const ServerConnection *connection)
{
    if (!connection || m_connections[index] != connection || !Clients[index] || !Clients[index]->SongListOwed)
        return;
    ClientInfo &client = *Clients[index];
    client.SongListOwed = false;
    if (!m_session.runActive() || m_songListBytes.isEmpty())
        return;
    if (m_connections[index]->write(m_songListBytes +
                                    (client.KeepsRunClock ? takePlayingSongFor(client) : QByteArray())))
        m_connections[index]->flush();
}

QByteArray ServerRole::takePlayingSongFor(ClientInfo &client)
{
    // A song that started since reached it as "PlayMusic" already.
    const bool owed = !client.SongListOwed && client.JoinedDuringNs != 0 && m_playingSong &&
                      m_playingSong->atNs == client.JoinedDuringNs;
    if (!client.SongListOwed)
        client.JoinedDuringNs = 0;
    return owed ? runClockWords::playAtBytes(*m_playingSong) : QByteArray();
}

void ServerRole::answerClockAsk(int index, const QByteArray &data)
{
    const std::optional<runClockWords::Ask> ask = runClockWords::parseAsk(data);
    if (!ask)
        return;
    ClientInfo &client = *Clients[index];
    const bool firstAsk = !client.KeepsRunClock;
    // Where the ask's own stamp is lost, now: late, so the exchange looks slow and is not trusted.
    const qint64 nowNs = MonotonicClock::nowNs();
    client.KeepsRunClock = true;
    client.OutputLatencyMs = ask->outputLatencyMs;
    if (firstAsk)
        client.AskedClockSinceNs = nowNs;
    const runClockWords::Tell tell{ask->number, m_connections[index]->lastArrivalNs().value_or(nowNs), nowNs};
    // A client that came while a song plays is told when that song began: it can join it
    // where it stands now.
    const QByteArray bytes = runClockWords::tellBytes(tell) + (firstAsk ? takePlayingSongFor(client) : QByteArray());
    if (m_connections[index]->write(bytes))
        m_connections[index]->flush();
}

int ServerRole::runStartDelayMs() const
{
    // What a client's output holds, and a margin for a loaded client to place the song. A
    // client's estimate of our clock wants about a second of exchanges to be sharp on a busy
    // radio: a start that comes sooner after one began to ask waits for it.
    constexpr int marginMs = 70;
    constexpr qint64 clockSettlesNs = 1'000'000'000;
    const qint64 nowNs = MonotonicClock::nowNs();
    int delay = startDelayMs;
    for (int i = 1; i <= lastIndex; ++i) {
        if (!isReady(i) || !Clients[i]->KeepsRunClock)
            continue;
        const qint64 settlingNs = Clients[i]->AskedClockSinceNs + clockSettlesNs - nowNs;
        delay = std::max({delay, Clients[i]->OutputLatencyMs + marginMs, int(settlingNs / 1'000'000)});
    }
    return std::min(delay, runClockWords::maxStartDelayMs);
}

void ServerRole::connectionClosed(int index)
{
    remove(index);
}

void ServerRole::sckServer_Error(int index)
{
    connectionFailed(index, index >= 1 && index <= lastIndex ? m_connections[index] : nullptr);
}

void ServerRole::connectionFailed(int index, ServerConnection *connection)
{
    if (connection && index >= 1 && index <= lastIndex && m_connections[index] == connection &&
        connection->state() != socketCodes::stateClosed) {
        remove(index);
    } else {
        // The broken connection is gone already: clear out every dead one, and let the
        // counter go on from the highest index still held, so a start still sees its
        // clients and the next index is free.
        LastClientIndex = sweep();
    }
    if (!m_listener->isListening())
        listenAgain();
}

int ServerRole::sweep()
{
    int highest = 0;
    for (int i = 1; i <= lastIndex; ++i) {
        if (!m_connections[i])
            continue;
        if (m_connections[i]->state() == socketCodes::stateConnected)
            highest = i;
        else
            remove(i);
    }
    return highest;
}

void ServerRole::dropAllConnections()
{
    for (int i = 1; i <= lastIndex; ++i) {
        if (m_connections[i]) {
            m_connections[i]->close();
            remove(i);
        }
    }
}

void ServerRole::remove(int index)
{
    ServerConnection *connection = m_connections[index];
    Clients[index].reset();
    if (!connection)
        return;
    m_connections[index] = nullptr;
    connection->disconnect(this);
    connection->dispose();
    Q_EMIT clientGone(index);
}

void ServerRole::Send(int Index, const QByteArray &RCommand, const QByteArray &RData)
{
    if (Index < 1 || Index > lastIndex || !m_connections[Index])
        return;
    ServerConnection *connection = m_connections[Index];
    const int state = connection->state();
    if (state != socketCodes::stateConnected) {
        if (state != socketCodes::stateClosed)
            connection->close();
        return;
    }
    connection->write(framing::sendBytes(RCommand, RData));
}

void ServerRole::SendMessageAll(const QByteArray &RCommand, const QByteArray &RData)
{
    noteAnnouncedSongs(RCommand, RData);
    if (sendPlayMusic(RCommand, RData))
        return;
    const QByteArray bytes = framing::messageBytes(RCommand, RData);
    QList<int> ready;
    for (int i = 1; i <= lastIndex; ++i) {
        if (isReady(i) && m_connections[i]->write(bytes))
            ready.append(i);
    }
    handOverTogether(ready, bytes.size() <= momentBytes);
}

bool ServerRole::sendPlayMusic(const QByteArray &RCommand, const QByteArray &RData)
{
    bool isSlot = false;
    const int slot = RData.toInt(&isSlot);
    if (RCommand != "PlayMusic" || !isSlot || RData != QByteArray::number(slot) || slot < 0 ||
        slot > wireScan::lastSlot)
        return false;
    const int delayMs = runStartDelayMs();
    const qint64 atNs = MonotonicClock::nowNs() + qint64(delayMs) * 1000000;
    m_playingSong = runClockWords::PlayAt{slot, atNs, delayMs};
    const QByteArray atBytes = runClockWords::playAtBytes(*m_playingSong);
    const QByteArray plainBytes = delayMs > startDelayMs
                                      ? framing::envelopeBytes(delayMs - startDelayMs, RCommand, RData)
                                      : framing::messageBytes(RCommand, RData);
    QList<int> ready;
    for (int i = 1; i <= lastIndex; ++i) {
        if (isReady(i) && m_connections[i]->write(Clients[i]->KeepsRunClock ? atBytes : plainBytes))
            ready.append(i);
    }
    handOverTogether(ready, true);
    return true;
}

void ServerRole::SendMessageAllByTimer(const QByteArray &RCommand, const QByteArray &RData)
{
    noteAnnouncedSongs(RCommand, RData);
    QList<int> ready;
    QList<int> times;
    for (int i = 1; i <= lastIndex; ++i) {
        if (isReady(i)) {
            ready.append(i);
            times.append(Clients[i]->TimerResponse);
        }
    }
    const QList<int> offsets = responseTime::envelopeOffsets(times);
    QList<int> queued;
    qsizetype longest = 0;
    for (qsizetype k = 0; k < ready.size(); ++k) {
        const QByteArray bytes = framing::envelopeBytes(offsets[k], RCommand, RData);
        longest = std::max(longest, bytes.size());
        if (m_connections[ready[k]]->write(bytes))
            queued.append(ready[k]);
    }
    handOverTogether(queued, longest <= momentBytes);
}

void ServerRole::handOverTogether(const QList<int> &indexes, bool moment)
{
    // Each client counts from the moment the message reaches it, so the writes go out in one
    // run that other processes (the woken clients among them) cannot split.
    std::optional<RealtimeSection> together;
    if (moment)
        together.emplace();
    for (int index : indexes) {
        if (m_connections[index])
            m_connections[index]->flush();
    }
}

qint64 ServerRole::unsentBytes(int index) const
{
    if (index < 1 || index > lastIndex || !m_connections[index])
        return 0;
    return m_connections[index]->pump().unsentBytes();
}

void ServerRole::noteAnnouncedSongs(const QByteArray &command, const QByteArray &data)
{
    if (command != "SetMusic")
        return;
    m_announcedSongs = wireScan::songLines(data);
    m_songListBytes = framing::messageBytes(command, data);
}

bool ServerRole::announced(int slot, const QByteArray &path) const
{
    return slot >= 0 && slot < m_announcedSongs.size() && m_announcedSongs[slot] == path;
}
