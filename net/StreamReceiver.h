#pragma once

#include <QByteArray>

// What the read pump needs of a receiver that cuts one connection's byte stream.
class StreamReceiver {
public:
    virtual ~StreamReceiver() = default;

    // `bytes` as read at `readAtNs`, a monotonic clock reading in nanoseconds.
    virtual void append(const QByteArray &bytes, qint64 readAtNs) = 0;
    // After the receiver gave nothing more: the time to wait, from now, before `settle`; 0
    // when nothing waits.
    virtual int settleWaitMs() const = 0;
    // The settle time has passed without new bytes: a message may end where the bytes end.
    virtual void settle() = 0;
    // The peer broke a cap; the connection is dropped.
    virtual bool overflowed() const = 0;
};
