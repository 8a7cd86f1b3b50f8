#pragma once

#include "net/ServerReceiver.h"
#include "net/WireMessage.h"

#include <QObject>
#include <QTimer>

class QTcpSocket;

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
    void write(const QByteArray &bytes);
    // Closes the connection unless it is closed already; stays silent about it.
    void close();

Q_SIGNALS:
    void messageReceived(int index, const WireMessage &message);
    // The client closed the connection, or it broke.
    void closed(int index);
    // A socket error other than the client's own orderly close.
    void failed(int index);

private:
    void readAll();
    void drain();

    int m_index;
    QTcpSocket *m_socket;
    ServerReceiver m_receiver;
    QTimer m_settle;
    bool m_draining = false;
    bool m_closing = false;
};
