#pragma once

#include "net/ClientClock.h"
#include "net/ClientReceiver.h"
#include "net/PeerResetProbe.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class QTcpSocket;
class QTimer;
class ReadPump;

// The client's side of the network: its one connection to a server, the greeting, the
// answer to the response-time probe, the delayed envelope held in `tmrClient`, and a
// signal for each message the server sends.
class ClientRole : public QObject {
    Q_OBJECT
public:
    // `tmrClient` holds the one delayed message; the window owns it.
    explicit ClientRole(QTimer *tmrClient, QObject *parent = nullptr);
    ~ClientRole() override;

    // 0 closed, 7 connected, the other Winsock states in between.
    int state() const;
    // The host name as the user typed it.
    QString remoteHost() const;

    // Starts connecting; the outcome comes as `connected` or `failed`.
    void connectToServer(const QString &host, quint16 port);
    // Closes the connection unless it is closed already. Says nothing to the server.
    void close();

    // To the server; the CR LF always. A connection that is not connected is closed
    // instead; one that refuses the bytes is dropped.
    void SendClient(const QByteArray &RCommand, const QByteArray &RData);

    // Bytes that begin no message are song data of a song of `songBytes` bytes, cut into
    // chunks by count. The file transfer owns this: it switches it on while it fetches a song
    // and off again. The end of a connection switches it off.
    void expectFileData(qint64 songBytes) { m_receiver.expectFileData(songBytes); }
    void endFileData() { m_receiver.endFileData(); }
    void chunkAsked() { m_receiver.chunkAsked(); }

    // The song paths of the last "SetMusic" of this connection, slot by slot.
    const QList<QByteArray> &announcedSongs() const { return m_receiver.announcedSongs(); }

    // The delayed message waiting in `tmrClient`, if any.
    const std::optional<ClientMessage> &delayedMessage() const { return m_delayed; }

    ReadPump &pump() { return *m_pump; }

    // The server's clock, when the server keeps one for the run.
    ClientClock &runClock() { return *m_clock; }

Q_SIGNALS:
    // The connection opened and the greeting "Connected" has gone out.
    void connected();
    // The server closed the connection in order (or this side gave it up).
    void closedByServer();
    // A connection error, as its Winsock number and Qt's description; a reset by the
    // server comes as 10054. Comes after the socket has finished with it.
    void failed(int number, const QString &description);

    void setMusic(const QByteArray &data);
    // `arrivalNs`: when it took effect on arrival (ReceiveBuffer::nowNs()), its envelope's
    // delay included, however late the event loop got to it.
    void playMusic(const QByteArray &data, qint64 arrivalNs);
    // A server that keeps the run's clock names the moment, on its clock, at which song
    // `slot` is to be heard first, and the delay it gave after sending.
    void playMusicAt(int slot, qint64 serverAtNs, int delayMs, qint64 arrivalNs);
    void stopAllMusic();
    void setFileDone(const QByteArray &data);
    void putFileReady(const QByteArray &data);
    void skipFile(const QByteArray &data);
    void reStartPutFile();
    void doGetFile();
    void skipFiles();
    // A piece of a chunk of song bytes; a chunk may come in several pieces.
    void fileData(const QByteArray &piece);

private:
    bool handleNext();
    void socketError(int error);
    // The client's dispatcher of one message, also run when a delayed message is due.
    void handleResponseClient(const ClientMessage &message, qint64 arrivalNs);
    void tmrClient_Timer();
    // The connection ended or starts anew: nothing of the old one may act on the next.
    void connectionEnded();

    QTcpSocket *m_socket;
    QTimer *m_tmrClient;
    ClientReceiver m_receiver;
    ReadPump *m_pump;
    PeerResetProbe m_resetProbe;
    ClientClock *m_clock;
    std::optional<ClientMessage> m_delayed;
    qint64 m_delayedDueNs = 0;
    bool m_closing = false;
    bool m_errorReported = false;
    bool m_wasConnected = false;
};
