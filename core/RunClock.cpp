#include "core/RunClock.h"

#include <algorithm>
#include <cmath>

namespace {

// Two minutes of exchanges: long enough to pin the rate to a fraction of a ppm, short enough
// that a crystal warming up does not bend the line. While quick exchanges are scarce (a long
// transfer delaying every exchange) the window reaches back up to ten minutes to keep
// `keptQuick` of them, and the line from before carries across; a path that stays slower
// than that is taken as it is. Exchanges closer than a bucket share one place (the quicker
// stays), so a caller asking very often cannot push history out.
constexpr int capacity = 1024;
constexpr qint64 windowNs = 120'000'000'000;
constexpr qint64 longestWindowNs = 600'000'000'000;
constexpr int keptQuick = 100;
constexpr qint64 bucketNs = 50'000'000;

// Each exchange is measured against the quickest round trip in the window; those this close
// to it are quick. The line goes through the quick ones, or the `fitExchanges` quickest if
// there are fewer, but never through one further off than `maxExcessNs`: delays on one way
// pull all in the same direction, so a crowd of slightly slow ones must not outweigh a few
// quick ones.
constexpr qint64 quickExcessNs = 100'000;
constexpr int fitExchanges = 10;
constexpr qint64 maxExcessNs = 2'000'000;
// The spread of the quickest exchanges: stamps and the stacks on both sides. Beyond it an
// exchange may be off by half its excess, all of it on one way.
constexpr double floorNs = 10'000;
// What any computer's crystal is off by at most: the line's slope is held to it while only
// exchanges a short time apart are known.
constexpr double maxRate = 1e-3;

// Ready once the exchanges span most of a second and the line's own uncertainty, a second
// past its newest exchange (longer when quick exchanges are scarce), is this small.
constexpr int readyExchanges = 5;
constexpr qint64 readySpanNs = 800'000'000;
constexpr double readyAheadNs = 1e9;
constexpr double readyErrorNs = 45'000;

// Longer round trips or server holds are absurd, and so are stamps outside a monotonic clock's
// range (146 years after boot), which keeps all sums of them far from overflowing.
constexpr qint64 absurdNs = 5'000'000'000;
constexpr qint64 latestNs = qint64(1) << 62;

// An offset further from the line than the exchange's delays and a rate of `maxRate` can
// explain is a step of one of the clocks; this many in a row that agree start a new line.
constexpr qint64 stepSlackNs = 5'000'000;
constexpr int stepExchanges = 3;

} // namespace

RunClock::RunClock() : m_ring(capacity), m_excessNs(capacity), m_weights(capacity), m_sorted(capacity)
{
    m_stepSamples.reserve(stepExchanges);
}

void RunClock::clear()
{
    m_first = 0;
    m_count = 0;
    m_quickCount = 0;
    m_stepSamples.clear();
    m_fitted = false;
    m_ready = false;
    m_anchorLocalNs = 0;
    m_anchorOffsetNs = 0;
    m_rate = 0.0;
}

bool RunClock::add(const Exchange &exchange)
{
    for (const qint64 stampNs :
         {exchange.localSentNs, exchange.serverReceivedNs, exchange.serverSentNs, exchange.localReceivedNs}) {
        if (stampNs < 0 || stampNs >= latestNs)
            return false;
    }
    const qint64 wayNs = exchange.localReceivedNs - exchange.localSentNs;
    const qint64 holdNs = exchange.serverSentNs - exchange.serverReceivedNs;
    if (wayNs < 0 || holdNs < 0 || wayNs > absurdNs || holdNs > wayNs)
        return false;

    Sample sample;
    sample.localNs = exchange.localSentNs + wayNs / 2;
    sample.offsetNs = exchange.serverReceivedNs + holdNs / 2 - sample.localNs;
    sample.roundTripNs = wayNs - holdNs;

    if (!m_fitted || !isStep(sample)) {
        m_stepSamples.clear();
        store(sample);
        fit();
        return true;
    }

    // Off the line: wait for more that agree with this one before giving the line up.
    if (!m_stepSamples.empty()) {
        const Sample &earlier = m_stepSamples.front();
        const qint64 apartNs = std::abs(sample.localNs - earlier.localNs);
        const qint64 toleranceNs =
            (sample.roundTripNs + earlier.roundTripNs) / 2 + stepSlackNs + qint64(maxRate * double(apartNs));
        if (std::abs(sample.offsetNs - earlier.offsetNs) > toleranceNs)
            m_stepSamples.clear();
    }
    m_stepSamples.push_back(sample);
    if (int(m_stepSamples.size()) < stepExchanges)
        return true;

    m_first = 0;
    m_count = 0;
    m_quickCount = 0;
    m_ready = false;
    for (const Sample &stepped : m_stepSamples)
        store(stepped);
    m_stepSamples.clear();
    fit();
    return true;
}

std::optional<qint64> RunClock::serverAt(qint64 localNs) const
{
    if (!ready())
        return std::nullopt;
    const auto sinceNs = static_cast<long double>(localNs - m_anchorLocalNs);
    return localNs + m_anchorOffsetNs + std::llround(sinceNs * static_cast<long double>(m_rate));
}

std::optional<qint64> RunClock::localAt(qint64 serverNs) const
{
    if (!ready())
        return std::nullopt;
    const auto sinceNs = static_cast<long double>(serverNs - (m_anchorLocalNs + m_anchorOffsetNs));
    return m_anchorLocalNs + std::llround(sinceNs / (1.0L + static_cast<long double>(m_rate)));
}

std::optional<qint64> RunClock::localAtRoughly(qint64 serverNs) const
{
    if (ready())
        return localAt(serverNs);
    const Sample *quickest = nullptr;
    for (int i = 0; i < m_count; ++i) {
        if (!quickest || at(i).roundTripNs < quickest->roundTripNs)
            quickest = &at(i);
    }
    if (!quickest)
        return std::nullopt;
    return serverNs - quickest->offsetNs;
}

const RunClock::Sample &RunClock::at(int index) const
{
    return m_ring[(m_first + index) % capacity];
}

bool RunClock::isStep(const Sample &sample) const
{
    const qint64 sinceNs = sample.localNs - m_anchorLocalNs;
    const qint64 expectedNs = m_anchorOffsetNs + std::llround(double(sinceNs) * m_rate);
    const qint64 toleranceNs = sample.roundTripNs / 2 + stepSlackNs + qint64(maxRate * double(std::abs(sinceNs)));
    return std::abs(sample.offsetNs - expectedNs) > toleranceNs;
}

void RunClock::store(const Sample &sample)
{
    while (m_count > 0 && at(0).localNs < sample.localNs - windowNs &&
           (!at(0).quick || m_quickCount > keptQuick || at(0).localNs < sample.localNs - longestWindowNs))
        dropOldest();
    if (m_count > 0) {
        Sample &newest = m_ring[(m_first + m_count - 1) % capacity];
        if (std::abs(sample.localNs - newest.localNs) < bucketNs) {
            if (sample.roundTripNs < newest.roundTripNs)
                newest = sample;
            return;
        }
    }
    if (m_count == capacity)
        dropOldest();
    m_ring[(m_first + m_count) % capacity] = sample;
    ++m_count;
}

void RunClock::dropOldest()
{
    if (at(0).quick)
        --m_quickCount;
    m_first = (m_first + 1) % capacity;
    --m_count;
}

void RunClock::fit()
{
    qint64 quickestNs = at(0).roundTripNs;
    for (int i = 1; i < m_count; ++i)
        quickestNs = std::min(quickestNs, at(i).roundTripNs);
    for (int i = 0; i < m_count; ++i) {
        m_excessNs[i] = double(at(i).roundTripNs - quickestNs);
        m_sorted[i] = m_excessNs[i];
    }
    const int nth = std::min(fitExchanges, m_count) - 1;
    std::nth_element(m_sorted.begin(), m_sorted.begin() + nth, m_sorted.begin() + m_count);
    const double takenExcessNs = std::clamp(m_sorted[nth], double(quickExcessNs), double(maxExcessNs));

    int taken = 0;
    m_quickCount = 0;
    for (int i = 0; i < m_count; ++i) {
        const double excessNs = m_excessNs[i];
        m_weights[i] = excessNs > takenExcessNs ? 0.0 : 1.0 / (floorNs * floorNs + excessNs * excessNs / 4);
        taken += excessNs > takenExcessNs ? 0 : 1;
        Sample &sample = m_ring[(m_first + i) % capacity];
        sample.quick = excessNs <= double(quickExcessNs);
        m_quickCount += sample.quick ? 1 : 0;
    }

    // A weighted line through the offsets, relative to the newest exchange so that the sums
    // hold small numbers whatever the clocks read.
    const Sample &newest = at(m_count - 1);
    double weights = 0, sumX = 0, sumY = 0;
    for (int i = 0; i < m_count; ++i) {
        const double w = m_weights[i];
        weights += w;
        sumX += w * double(at(i).localNs - newest.localNs);
        sumY += w * double(at(i).offsetNs - newest.offsetNs);
    }
    const double meanX = sumX / weights;
    const double meanY = sumY / weights;
    double sumXX = 0, sumXY = 0;
    for (int i = 0; i < m_count; ++i) {
        const double w = m_weights[i];
        const double dx = double(at(i).localNs - newest.localNs) - meanX;
        const double dy = double(at(i).offsetNs - newest.offsetNs) - meanY;
        sumXX += w * dx * dx;
        sumXY += w * dx * dy;
    }
    // The crystal bound enters as a prior on the slope, around the last one: it decides only
    // while the exchanges span too short a time to say anything themselves.
    const double priorWeight = 1.0 / (maxRate * maxRate);
    const double slopeWeight = sumXX + priorWeight;
    const double rate = std::clamp((sumXY + priorWeight * m_rate) / slopeWeight, -maxRate, maxRate);

    m_fitted = true;
    m_rate = rate;
    m_anchorLocalNs = newest.localNs;
    m_anchorOffsetNs = newest.offsetNs + std::llround(meanY - rate * meanX);

    // Quick exchanges may stay away for a while; the scarcer they have been, the further ahead
    // the line must hold.
    const double quickShare = double(m_quickCount) / double(m_count);
    const double aheadNs = readyAheadNs / (quickShare * quickShare) - meanX;
    const double varianceAhead = 1.0 / weights + aheadNs * aheadNs / slopeWeight;
    if (taken >= readyExchanges && newest.localNs - at(0).localNs >= readySpanNs &&
        varianceAhead <= readyErrorNs * readyErrorNs)
        m_ready = true;
}
