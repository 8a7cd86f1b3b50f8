#pragma once

#include "core/RunClock.h"

#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <array>
#include <functional>

// The client's half of the run's clock: asks the server for its clock over the session's own
// connection and keeps the estimate. Only a server that answered the first ask is asked again,
// so a server that does not know the words hears nothing more of them.
class ClientClock : public QObject {
    Q_OBJECT
public:
    // Queues bytes for the server and hands them to the system at once: an ask that waits in
    // our own queue would look like a slow way out.
    using Write = std::function<void(const QByteArray &bytes)>;

    // Asks come quickly at first, so that even on a busy radio some go each way quickly before
    // the first song can start, then at a pace that keeps the estimate sharp and costs the
    // network nothing (some 40 bytes each way).
    static constexpr int firstAskEveryMs = 10;
    static constexpr int firstAsks = 200;
    static constexpr int askEveryMs = 250;

    explicit ClientClock(Write write, QObject *parent = nullptr);

    // How long this client's sound output holds a sample before it is heard, in ms; the
    // server makes the run's start delay cover the slowest client's.
    void setOutputLatency(std::function<int()> latencyMs) { m_latencyMs = std::move(latencyMs); }

    // The bytes of the first ask of a connection, which go out behind "MirrorTimerResponse" in
    // the same write; nothing once asked.
    QByteArray firstAsk();
    // A "ClockTell" arrived at `arrivalNs` (our clock); `ownRead` when it began a read of its
    // own. One that waited behind other bytes carries their stamp, too early: it tells that
    // the server keeps the clock, but nothing of the clock itself.
    void answered(const QByteArray &data, qint64 arrivalNs, bool ownRead);
    // The connection ended: the next one may be another server, with another clock.
    void connectionEnded();

    // True once the server answered an ask: it sends the moments of songs on its clock.
    bool serverKeepsClock() const { return m_serverKeepsClock; }
    const RunClock &clock() const { return m_clock; }

private:
    QByteArray ask();
    void askAgain();

    Write m_write;
    std::function<int()> m_latencyMs;
    QTimer m_timer;
    RunClock m_clock;
    // When each of the last asks went out, by its number modulo their count.
    std::array<qint64, 128> m_sentNs{};
    quint32 m_next = 0;
    int m_asked = 0;
    bool m_serverKeepsClock = false;
};
