#pragma once

#include "net/ClientReceiver.h"
#include "net/WireMessage.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class QTcpSocket;

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

    // To the server; the CR LF always. A connection that is not connected is closed instead.
    void SendClient(const QByteArray &RCommand, const QByteArray &RData);

    // The file transfer switches file data on while it fetches a song. The role does it
    // too: on after "SetFileDone", off after "PutFileReady", "SkipFile", "SkipFiles",
    // "ReStartPutFile", "SetMusic" and when the connection ends.
    void setFileDataExpected(bool expected) { m_receiver.setFileDataExpected(expected); }

    // The delayed message waiting in `tmrClient`, if any.
    const WireMessage &delayedMessage() const { return m_delayed; }

Q_SIGNALS:
    // The connection opened and the greeting "Connected" has gone out.
    void connected();
    // The server closed the connection.
    void closedByServer();
    // A connection error, as its Winsock number and Qt's description. Comes after the
    // socket has finished with it.
    void failed(int number, const QString &description);

    void setMusic(const QByteArray &data);
    void playMusic(const QByteArray &data);
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
    void readAll();
    void drain();
    void handle(const ClientReceiver::Item &item);
    // The client's dispatcher of one message, also run when a delayed message is due.
    void handleResponseClient(const WireMessage &message);
    void tmrClient_Timer();
    void resetReceiver();

    QTcpSocket *m_socket;
    QTimer *m_tmrClient;
    QTimer m_settle;
    ClientReceiver m_receiver;
    WireMessage m_delayed;
    bool m_closing = false;
    bool m_errorReported = false;
    bool m_wasConnected = false;
    bool m_draining = false;
};
