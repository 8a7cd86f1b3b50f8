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
    std::nth_element(recent.begin(), recent.begin() + n / 2, recent.begin() + n);
    return standing(recent[n / 2], nowNs);
}

StreamTiming StreamClock::standing(qint64 frameZeroNs, qint64 nowNs) const
{
    if (nowNs < frameZeroNs)
        return {0, frameZeroNs};
    const qint64 frame = frameTime::framesIn(nowNs - frameZeroNs, m_rate);
    return {frame * m_frameBytes, frameZeroNs + frameTime::nsOf(frame, m_rate)};
}
