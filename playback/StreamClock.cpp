#include "StreamClock.h"

#include <algorithm>

void StreamClock::report(qint64 frameZeroNs, qint64 receivedNs)
{
    m_origins[m_next] = {frameZeroNs, receivedNs};
    m_next = (m_next + 1) % kept;
    m_count = std::min(m_count + 1, kept);
}

std::optional<StreamTiming> StreamClock::at(qint64 nowNs, int atLeast) const
{
    std::array<qint64, kept> recent{};
    int n = 0;
    for (int i = 0; i < m_count; ++i) {
        if (nowNs - m_origins[i].receivedNs <= windowNs)
            recent[n++] = m_origins[i].frameZeroNs;
    }
    if (n < std::max(enough, atLeast))
        return std::nullopt;
    // The middle of the reports' spread, once those further out than one and a half times the
    // middle half's width are left out (a busy server's), and of the rest the outermost few,
    // which a burst of slow answers just inside that reach would otherwise move by milliseconds.
    // For a spread over a block, that is the block's middle; where most reports agree, what
    // they say.
    std::sort(recent.begin(), recent.begin() + n);
    const qint64 low = recent[n / 4];
    const qint64 high = recent[n - 1 - n / 4];
    const qint64 reach = (high - low) * 3 / 2;
    auto first = std::lower_bound(recent.begin(), recent.begin() + n, low - reach);
    auto last = std::upper_bound(recent.begin(), recent.begin() + n, high + reach) - 1;
    const auto outermost = (last - first + 1) / 32;
    first += outermost;
    last -= outermost;
    return standing(*first + (*last - *first) / 2, nowNs);
}

StreamTiming StreamClock::standing(qint64 frameZeroNs, qint64 nowNs) const
{
    if (nowNs < frameZeroNs)
        return {0, frameZeroNs};
    const qint64 frame = frameTime::framesIn(nowNs - frameZeroNs, m_rate);
    return {frame * m_frameBytes, frameZeroNs + frameTime::nsOf(frame, m_rate)};
}
