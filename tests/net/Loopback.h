#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <functional>

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

// As QTest::qWaitFor, but with the event loop running freely as in the program: qWaitFor
// handles events only every 10 ms, which makes every answer of a quick exchange look late.
inline bool waitPromptly(const std::function<bool()> &done, int ms = waitMs)
{
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (done() || clock.elapsed() > ms)
            loop.quit();
    });
    poll.start(1);
    if (!done())
        loop.exec();
    return done();
}
