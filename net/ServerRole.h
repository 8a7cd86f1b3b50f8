#pragma once

#include "core/SessionState.h"
#include "net/ClientInfo.h"
#include "net/RunClockWords.h"
#include "net/ServerReceiver.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>

#include <array>
#include <functional>
#include <optional>

class QTcpServer;
class ServerConnection;

// The server's side of the network: the listening socket, the connections by index 1 to
// 200 with their `ClientInfo` records, the greeting and response-time probe, and the
// senders. Index 0 is the listening socket and never holds a client.
class ServerRole : public QObject {
    Q_OBJECT
public:
    static constexpr int lastIndex = 200;

    // Seconds on a monotonic clock; handed in so the probe can be tested.
    using Clock = std::function<double()>;

    // Connection requests are accepted while `session` accepts new clients or a run is active.
    explicit ServerRole(const SessionState &session, QObject *parent = nullptr, Clock clock = {});
    ~ServerRole() override;

    // Where to listen; every interface unless told otherwise (tests use 127.0.0.1).
    void setListenAddress(const QHostAddress &address) { m_listenAddress = address; }

    // Closes the listening socket if open and listens on `port`. False when it cannot;
    // `listenError` then says why.
    bool listen(quint16 port);
    void closeListening();
    bool isListening() const;
    quint16 listeningPort() const;
    QAbstractSocket::SocketError listenError() const;

    // The highest connection index handed out; the next connection gets the one after it.
    int lastClientIndex() const { return LastClientIndex; }
    void setLastClientIndex(int index) { LastClientIndex = index; }
    // The record of connection `index`; empty when no connection holds the index.
    const std::optional<ClientInfo> &client(int index) const;

    // 0 closed (or no connection at the index), 7 connected.
    int connectionState(int index) const;

    // Drops every connection that is not connected and removes its record. Answers the
    // highest index still connected, 0 when no client is.
    int sweep();
    // Closes every connection and removes every record.
    void dropAllConnections();

    // To one connection; the CR LF only when there is data. A connection that is not
    // connected is closed instead.
    void Send(int Index, const QByteArray &RCommand, const QByteArray &RData);
    // To every ready client in ascending index order; the CR LF always.
    void SendMessageAll(const QByteArray &RCommand, const QByteArray &RData);
    // To every ready client inside a delayed envelope, so the message takes effect at
    // about the same moment on all of them.
    void SendMessageAllByTimer(const QByteArray &RCommand, const QByteArray &RData);

    // Connected, greeted and measured.
    bool isReady(int index) const;

    // From a "PlayMusic" leaving to its song's first sample heard. Clients that keep the run's
    // clock are told the moment; the others count it from the message's arrival, and when the
    // run's delay is longer than theirs, their message leaves inside an envelope that makes up
    // the difference.
    static constexpr int startDelayMs = 150;
    // The run's start delay: the clients' own delay, or longer where a client's sound output
    // holds more than fits in it, up to runClockWords::maxStartDelayMs.
    int runStartDelayMs() const;

    // The listening socket failed: it listens again on the same port, or says it cannot.
    void sckServer_ListenError();
    // Connection `index` failed: it is dropped when still open; when it is gone already,
    // every dead connection is cleared out and the counter goes on from the highest index
    // still held. The listening socket listens again if it stopped.
    void sckServer_Error(int index);

    // The song paths of the last "SetMusic" broadcast, slot by slot.
    const QList<QByteArray> &announcedSongs() const { return m_announcedSongs; }
    // Bytes queued for connection `index` that it has not taken yet.
    qint64 unsentBytes(int index) const;

    // The last song started during the run, as its start told the clients that keep the run's
    // clock; empty once the song is over or the run has stopped.
    const std::optional<runClockWords::PlayAt> &playingSong() const { return m_playingSong; }
    // The song that started last is over: a client that comes now waits for the next one.
    void forgetPlayingSong() { m_playingSong.reset(); }

Q_SIGNALS:
    void clientAccepted(int index);
    void clientGone(int index);
    // Connection `index` answered the probe: from now on it receives broadcasts.
    void clientReady(int index);
    // Client messages the file transfer handles; `data` is exactly as received.
    void getFileReceived(int index, const QByteArray &data);
    void setFileReceived(int index, const QByteArray &data);
    void allFilesLoadedReceived(int index);
    void hasNeededFilesReceived(int index);
    // Listening again after an error failed: no newcomer can connect until the role is
    // switched on anew.
    void listenFailed(quint16 port, const QString &reason);

private:
    // Messages up to this long carry a moment ("PlayMusic", "StopAllMusic", in an envelope or
    // not); a song list is bulk, and copying it may take long enough to matter to others.
    static constexpr qsizetype momentBytes = 64;

    void acceptPending();
    int nextIndex() const;
    void handleMessage(int index, const ServerMessage &message);
    void listenAgain();
    void connectionClosed(int index);
    void connectionFailed(int index, ServerConnection *connection);
    void remove(int index);
    void answerClockAsk(int index, const QByteArray &data);
    // A client ready while the run is active has missed its song list: it gets it, and is
    // told of the playing song once it keeps the run's clock.
    void becameReady(int index);
    void sendLateSongList(int index, const ServerConnection *connection);
    // The start of the playing song when `client` came during it and may be told of it now;
    // told once.
    QByteArray takePlayingSongFor(ClientInfo &client);
    // "PlayMusic" to every ready client: with its moment on our clock to those that keep the
    // run's clock. False when `RCommand` is another message.
    bool sendPlayMusic(const QByteArray &RCommand, const QByteArray &RData);
    void noteAnnouncedSongs(const QByteArray &command, const QByteArray &data);
    bool announced(int slot, const QByteArray &path) const;
    // What is queued for these connections goes to the system now; for a moment (a message
    // that starts or stops songs), in one run that no other process comes into.
    void handOverTogether(const QList<int> &indexes, bool moment);

    const SessionState &m_session;
    int LastClientIndex = 0;
    // The record of connection i at i.
    std::array<std::optional<ClientInfo>, lastIndex + 1> Clients;
    QTcpServer *m_listener;
    QHostAddress m_listenAddress = QHostAddress::Any;
    quint16 m_port = 0;
    QAbstractSocket::SocketError m_listenError = QAbstractSocket::UnknownSocketError;
    std::array<ServerConnection *, lastIndex + 1> m_connections{};
    QElapsedTimer m_elapsed;
    Clock m_clock;
    // Paths of the last "SetMusic" sent: tells the receivers where a slot number ends.
    QList<QByteArray> m_announcedSongs;
    // The run's "SetMusic" as it went out, for clients that come during the run.
    QByteArray m_songListBytes;
    std::optional<runClockWords::PlayAt> m_playingSong;
};
