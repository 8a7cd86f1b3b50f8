#pragma once

#include "net/ServerReceiver.h"

#include <QObject>

class QTcpSocket;
class ReadPump;

// One accepted connection of the server: its socket and the receiver that cuts the
// client's byte stream into messages.
class ServerConnection : public QObject {
    Q_OBJECT
public:
    ServerConnection(int index, QTcpSocket *socket, ServerReceiver::AnnouncedSong announced, QObject *parent);
    ~ServerConnection() override;

    int index() const { return m_index; }
    // 0 closed, 7 connected.
    int state() const;
    // False when the bytes could not be queued; a connection that refuses them is dropped.
    bool write(const QByteArray &bytes);
    // Hands what is queued to the system now.
    void flush();
    // Closes the connection unless it is closed already; stays silent about it.
    void close();
    // Closes and deletes the connection; the deletion waits until no handler of its
    // messages runs, since the socket may be inside its own read signal then.
    void dispose();

    ReadPump &pump() { return *m_pump; }
    // When the message being handled arrived (the system's receive stamp where it gives one),
    // where its read held nothing before it.
    std::optional<qint64> lastArrivalNs() const { return m_receiver.lastArrivalNs(); }

Q_SIGNALS:
    void messageReceived(int index, const ServerMessage &message);
    // The client closed the connection, it broke, or it was dropped.
    void closed(int index);
    // A socket error other than the client's own orderly close.
    void failed(int index);

private:
    int m_index;
    QTcpSocket *m_socket;
    ServerReceiver m_receiver;
    ReadPump *m_pump;
    bool m_closing = false;
    bool m_disposeWhenDrained = false;
};
