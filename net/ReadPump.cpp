#include "net/ReadPump.h"

#include "net/ReceiveBuffer.h"
#include "net/StampedRead.h"
#include "net/StreamReceiver.h"

ReadPump::ReadPump(QTcpSocket *socket, StreamReceiver &receiver, HandleNext handleNext, QObject *parent)
    : QObject(parent), m_socket(socket), m_receiver(receiver), m_handleNext(std::move(handleNext))
{
    m_socket->setReadBufferSize(readAheadBytes);
    m_settle.setSingleShot(true);
    // The settle wait decides when a "PlayMusic" takes effect.
    m_settle.setTimerType(Qt::PreciseTimer);
    connect(&m_settle, &QTimer::timeout, this, [this] {
        m_receiver.settle();
        drain();
    });
    m_stalled.setSingleShot(true);
    m_stalled.setInterval(stalledDropMs);
    connect(&m_stalled, &QTimer::timeout, this, &ReadPump::drop);
    connect(m_socket, &QTcpSocket::readyRead, this, &ReadPump::readSocket);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &ReadPump::bytesWritten);
}

bool ReadPump::write(const QByteArray &bytes)
{
    if (!m_socket->isOpen())
        return false;
    if (m_socket->bytesToWrite() + bytes.size() > maxUnsentBytes || m_socket->write(bytes) != bytes.size()) {
        drop();
        return false;
    }
    return true;
}

void ReadPump::flush()
{
    if (m_socket->isOpen())
        m_socket->flush();
}

void ReadPump::stampReceives()
{
    if (!stampedRead::enable(m_socket->socketDescriptor()))
        return;
    m_stamped = true;
    m_socket->setReadBufferSize(1);
}

void ReadPump::reset()
{
    if (m_stamped) {
        m_stamped = false;
        m_socket->setReadBufferSize(readAheadBytes);
    }
    m_settle.stop();
    m_stalled.stop();
    m_paused = false;
}

void ReadPump::readSocket()
{
    if (m_paused)
        return;
    // The clock is read first: waits count from the moment the bytes were read.
    qint64 readAtNs = ReceiveBuffer::nowNs();
    QByteArray bytes = m_socket->readAll();
    if (m_stamped) {
        // What Qt holds came first; the rest waits in the system, stamped.
        stampedRead::Result more = stampedRead::read(m_socket->socketDescriptor(), readAheadBytes);
        bytes += more.bytes;
        if (more.receivedAtNs > 0)
            readAtNs = std::min(readAtNs, more.receivedAtNs);
    }
    m_receiver.append(bytes, readAtNs);
    drain();
}

void ReadPump::drain()
{
    // A handler may run a nested event loop (a dialog); the outer loop picks up what
    // arrives meanwhile.
    if (m_draining)
        return;
    m_draining = true;
    m_settle.stop();
    // Should the owner be deleted all the same, nothing here touches it afterwards.
    const QPointer<ReadPump> alive(this);
    const HandleNext handleNext = m_handleNext;
    while (!m_paused && m_socket->state() == QAbstractSocket::ConnectedState && handleNext()) {
        if (!alive)
            return;
        if (m_socket->bytesToWrite() > pauseAboveUnsentBytes) {
            m_paused = true;
            m_stalled.start();
        }
    }
    if (!alive)
        return;
    m_draining = false;
    if (m_receiver.overflowed())
        drop();
    else if (const int wait = m_receiver.settleWaitMs(); wait > 0 && !m_paused)
        m_settle.start(wait);
    Q_EMIT drained();
}

void ReadPump::bytesWritten()
{
    if (!m_paused) {
        m_stalled.stop();
        return;
    }
    if (m_socket->bytesToWrite() > pauseAboveUnsentBytes / 2) {
        m_stalled.start();
        return;
    }
    m_paused = false;
    m_stalled.stop();
    drain();
    if (!m_paused && m_socket->bytesAvailable() > 0)
        readSocket();
}

void ReadPump::drop()
{
    reset();
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        return;
    Q_EMIT dropped();
    m_socket->abort();
}
