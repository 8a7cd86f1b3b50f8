#pragma once

#include <QtGlobal>

#include <chrono>
#include <ctime>
#include <optional>

// The one clock of every moment the program compares: nanoseconds of std::chrono::steady_clock,
// which on Linux reads CLOCK_MONOTONIC (the clock QElapsedTimer and QDeadlineTimer use too), so
// a moment the network stamps lines up with one the sound output reports, and with monotonic
// timestamps of other processes on the machine.
namespace MonotonicClock {

inline qint64 nowNs()
{
    return qint64(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

// The moment a wall-clock stamp (the system's receive stamps, a sound server's reports) stands
// for, on this clock. Nothing for a stamp ahead of now or more than a second old: the wall
// clock was set meanwhile.
inline std::optional<qint64> fromWall(qint64 wallSeconds, qint64 wallNs)
{
    timespec wall{};
    clock_gettime(CLOCK_REALTIME, &wall);
    const qint64 now = nowNs();
    const qint64 agoNs = (qint64(wall.tv_sec) - wallSeconds) * 1000000000 + (qint64(wall.tv_nsec) - wallNs);
    if (agoNs < 0 || agoNs > 1000000000)
        return std::nullopt;
    return now - agoNs;
}

} // namespace MonotonicClock
