#pragma once

#include <QTcpSocket>
#include <QTest>

// Bounded waits for the loopback tests: generous, so only wrong code makes them fail.
inline constexpr int waitMs = 10000;

// What the peer has received once `count` bytes have come (or the wait ran out).
inline QByteArray readBytes(QTcpSocket &socket, qsizetype count)
{
    QByteArray got;
    (void)QTest::qWaitFor(
        [&] {
            got += socket.readAll();
            return got.size() >= count;
        },
        waitMs);
    return got;
}
