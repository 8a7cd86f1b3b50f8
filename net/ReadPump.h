#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

class StreamReceiver;

// Moves one connection's bytes from its socket into its receiver and hands the receiver's
// messages to their handler, one at a time, for both roles. A handler may run a nested
// event loop in which the connection closes: the pump stops handing out messages then,
// and says when it is done so the owner can be deleted safely. Also bounds what is
// queued for a peer that does not read.
class ReadPump : public QObject {
    Q_OBJECT
public:
    // Hands the receiver's next item to its handler; false when the receiver has none.
    using HandleNext = std::function<bool()>;

    // Unsent bytes beyond this stop the reading of the peer's messages until it has taken
    // half of them, so a peer that asks without reading the answers costs bounded memory.
    // Well above one 200000-byte chunk with its "DoGetFile".
    static constexpr qint64 pauseAboveUnsentBytes = 2 * 1024 * 1024;
    // A write that would queue beyond this drops the peer instead: broadcasts still go to
    // a peer whose reading is paused.
    static constexpr qint64 maxUnsentBytes = 8 * 1024 * 1024;
    // Qt reads no further ahead than this, so one read holds the event loop briefly and a
    // peer whose reading is paused meets TCP's own flow control.
    static constexpr qint64 readAheadBytes = 256 * 1024;
    // A paused peer that has taken nothing for this long is dropped.
    static constexpr int stalledDropMs = 15000;

    // `socket` and `receiver` belong to the owner, which is this pump's parent.
    ReadPump(QTcpSocket *socket, StreamReceiver &receiver, HandleNext handleNext, QObject *parent);

    // Queues `bytes` for the peer. False, with the connection dropped, when the socket
    // refuses them or they would pass `maxUnsentBytes`; false alone when it is not open.
    bool write(const QByteArray &bytes);
    // Hands what is queued to the system now rather than at the event loop's next pass.
    void flush();
    // The connection ended or starts anew: no settle wait, no pause, no receive stamps.
    void reset();
    // For a connected socket: each read counts from the moment the system received its
    // bytes rather than when this process got to them. Qt then holds one byte at most; the
    // rest is read here with its stamp. Where the system gives no stamps, nothing changes.
    void stampReceives();

    // True while a handler runs: the socket is inside its own read signal then, so it may
    // not be deleted before `drained`.
    bool draining() const { return m_draining; }
    qint64 unsentBytes() const { return m_socket->bytesToWrite(); }
    bool readingPaused() const { return m_paused; }
    void setStalledDropMs(int ms) { m_stalled.setInterval(ms); }

Q_SIGNALS:
    // The pump gave the connection up (a cap broken, a failed write, a stalled peer) and
    // aborted the socket.
    void dropped();
    // The handlers are done for now.
    void drained();

private:
    void readSocket();
    void drain();
    void bytesWritten();
    void drop();

    QTcpSocket *m_socket;
    StreamReceiver &m_receiver;
    HandleNext m_handleNext;
    QTimer m_settle;
    QTimer m_stalled;
    bool m_draining = false;
    bool m_paused = false;
    bool m_stamped = false;
};
