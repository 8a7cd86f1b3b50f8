#pragma once

#include <QtGlobal>

#include <chrono>

// Timestamps for the media service's reports: nanoseconds of std::chrono::steady_clock, which
// on Linux reads CLOCK_MONOTONIC (the clock QElapsedTimer uses too), so they line up with other
// monotonic timestamps of the process and of other processes on the machine.
namespace MonotonicClock {

inline qint64 nowNs()
{
    return qint64(
        std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count());
}

} // namespace MonotonicClock
