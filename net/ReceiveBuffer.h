#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

// The bytes a receiver has taken in and not yet handed out, with the bookkeeping both
// receivers keep alike: where the next message starts, how much was skipped in a row,
// whether the settle time has passed, whether the peer broke a cap, and when each byte was
// read.
struct ReceiveBuffer {
    // A monotonic clock reading in nanoseconds, as taken at a read.
    static qint64 nowNs();

    // Drops what was handed out and adds `more`, read at `readAtNs`; nothing once the peer
    // has overflowed.
    void append(const QByteArray &more, qint64 readAtNs);
    // When the byte at `index` of `bytes` was read.
    qint64 readAtNs(qsizetype index) const;
    // True when the byte at `index` was the first of its read: the read's stamp is then its own,
    // not that of bytes that came before it and waited.
    bool startsRead(qsizetype index) const;
    // The settle time has passed without new bytes: a message may end where the bytes end.
    void settle() { settled = true; }
    void clear();
    // Bytes at `pos` begin none of `tokens`: skip them up to where one may begin. More than
    // `cap` bytes skipped in a row is an overflow.
    void skipUnknown(const QList<QByteArray> &tokens, qsizetype cap);
    // `pending` bytes past `cap` is an overflow.
    void checkCap(qsizetype pending, qsizetype cap);
    // The first `what` at or after `from`, or -1. The positions passed count as examined.
    qsizetype find(QByteArrayView what, qsizetype from);
    // `length` bytes from `from`; copying them counts as examining them.
    QByteArray copy(qsizetype from, qsizetype length);

    QByteArray bytes;
    qsizetype pos = 0;
    qsizetype skipped = 0;
    bool settled = false;
    bool overflowed = false;
    // The reads still holding bytes here: where each ends, counted over the buffer's life,
    // and when it was read. Only the newest few are kept; older bytes count as read then.
    struct Read {
        qsizetype start = 0;
        qsizetype end = 0;
        qint64 atNs = 0;
    };
    static constexpr qsizetype keptReads = 64;
    QList<Read> reads;
    qsizetype dropped = 0; // bytes handed out and removed over the buffer's life
    // Work spent on received bytes over the receiver's life: positions searched, bytes
    // copied or compared. Whatever a receiver does per read goes here, so that a test can
    // see it grow with the bytes and not with their square.
    qsizetype examined = 0;
};
