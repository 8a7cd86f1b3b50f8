#pragma once

#include <QByteArray>
#include <QList>

// The bytes a receiver has taken in and not yet handed out, with the bookkeeping both
// receivers keep alike: where the next message starts, how much was skipped in a row,
// whether the settle time has passed, and whether the peer broke a cap.
struct ReceiveBuffer {
    // Drops what was handed out and adds `more`; nothing once the peer has overflowed.
    void append(const QByteArray &more);
    // The settle time has passed without new bytes: a message may end where the bytes end.
    void settle() { settled = true; }
    void clear();
    // Bytes at `pos` begin none of `tokens`: skip them up to where one may begin. More than
    // `cap` bytes skipped in a row is an overflow.
    void skipUnknown(const QList<QByteArray> &tokens, qsizetype cap);
    // `pending` bytes past `cap` is an overflow.
    void checkCap(qsizetype pending, qsizetype cap);

    QByteArray bytes;
    qsizetype pos = 0;
    qsizetype skipped = 0;
    bool settled = false;
    bool overflowed = false;
    // Positions the search for the next message has looked at, over the receiver's life.
    qsizetype examined = 0;
};
