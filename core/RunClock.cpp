#include "core/RunClock.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

// Exchanges this close to the quickest round trip are quick; the window keeps them longest.
constexpr qint64 quickExcessNs = 100'000;
// What any computer's crystal is off by at most.
constexpr double maxRate = 1e-3;
// The slope stays at the last one unless a different one opens the band by more than the
// difference times a stiffness. Where the exchanges scatter widely (a busy radio), a few quick
// ways at one end would tilt the line at will: the slope then holds until many seconds of
// exchanges show another. Sharp exchanges show any rate within a second. The scatter is the
// median exchange's distance from the band, known once there are a few.
constexpr int spreadExchanges = 10;
constexpr double stiffnessPerSpread = 3000;
constexpr double leastStiffnessNs = 5e7, mostStiffnessNs = 1.5e9;
// Enough to place the slope to 1e-13, far below a nanosecond over the window.
constexpr int slopeSearchSteps = 60;

// Ready once the slope is the exchanges' own, they span most of a second, and the line's
// uncertainty a second past its newest exchange is this small. The third-closest bound of each
// side to the band says how sharply the quickest ways are pinned: with few or noisy exchanges
// it is far off.
constexpr qint64 readySpanNs = 800'000'000;
constexpr double readyAheadNs = 1e9;
constexpr double readyErrorNs = 45'000;
constexpr int pinningBound = 2;

// Longer round trips or server holds are absurd, and so are stamps outside a monotonic clock's
// range (146 years after boot), which keeps all sums of them far from overflowing.
constexpr qint64 absurdNs = 5'000'000'000;
constexpr qint64 latestNs = qint64(1) << 62;

// An offset further from the line than the exchange's delays and a rate of `maxRate` can
// explain is a step of one of the clocks; this many in a row that agree start a new line.
constexpr qint64 stepSlackNs = 5'000'000;
constexpr int stepExchanges = 3;

} // namespace

RunClock::RunClock() : m_ring(capacity), m_gapsNs(capacity)
{
    m_points.reserve(capacity);
    m_aboveCorners.reserve(capacity);
    m_belowCorners.reserve(capacity);
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
    sample.aboveAtNs = exchange.localSentNs;
    sample.aboveNs = exchange.serverReceivedNs - exchange.localSentNs;
    sample.belowAtNs = exchange.localReceivedNs;
    sample.belowNs = exchange.serverSentNs - exchange.localReceivedNs;

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
    return ready() ? localAtRoughly(serverNs) : std::nullopt;
}

std::optional<qint64> RunClock::localAtRoughly(qint64 serverNs) const
{
    if (!m_fitted || !m_stepSamples.empty())
        return std::nullopt;
    const auto sinceNs = static_cast<long double>(serverNs - (m_anchorLocalNs + m_anchorOffsetNs));
    return m_anchorLocalNs + std::llround(sinceNs / (1.0L + static_cast<long double>(m_rate)));
}

const RunClock::Sample &RunClock::at(int index) const
{
    return m_ring[(m_first + index) % capacity];
}

bool RunClock::isStep(const Sample &sample) const
{
    // A slow way only loosens its bound; a step breaks one.
    const qint64 sinceNs = sample.localNs - m_anchorLocalNs;
    const qint64 expectedNs = m_anchorOffsetNs + std::llround(double(sinceNs) * m_rate);
    const qint64 toleranceNs = stepSlackNs + qint64(maxRate * double(std::abs(sinceNs)));
    return sample.aboveNs < expectedNs - toleranceNs || sample.belowNs > expectedNs + toleranceNs;
}

void RunClock::store(const Sample &sample)
{
    while (m_count > 0 && at(0).localNs < sample.localNs - windowNs &&
           (!at(0).quick || m_quickCount > keptQuick || at(0).localNs < sample.localNs - longestWindowNs))
        dropOldest();
    if (m_count > 0) {
        Sample &newest = m_ring[(m_first + m_count - 1) % capacity];
        if (std::abs(sample.localNs - newest.localNs) < bucketNs) {
            Sample merged = sample.roundTripNs < newest.roundTripNs ? sample : newest;
            const Sample &lowestAbove = sample.aboveNs < newest.aboveNs ? sample : newest;
            const Sample &highestBelow = sample.belowNs > newest.belowNs ? sample : newest;
            merged.aboveAtNs = lowestAbove.aboveAtNs;
            merged.aboveNs = lowestAbove.aboveNs;
            merged.belowAtNs = highestBelow.belowAtNs;
            merged.belowNs = highestBelow.belowNs;
            merged.quick = newest.quick;
            newest = merged;
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

void RunClock::findCorners()
{
    const Sample &newest = at(m_count - 1);
    for (const bool above : {true, false}) {
        // In time order, each bound negated below so that one lower hull serves both sides.
        m_points.clear();
        for (int i = 0; i < m_count; ++i) {
            const Sample &sample = at(i);
            m_points.push_back(
                above ? Point{double(sample.aboveAtNs - newest.localNs), double(sample.aboveNs - newest.offsetNs)}
                      : Point{double(sample.belowAtNs - newest.localNs), -double(sample.belowNs - newest.offsetNs)});
        }
        std::sort(m_points.begin(), m_points.end(), [](const Point &a, const Point &b) { return a.atNs < b.atNs; });
        std::vector<Point> &hull = above ? m_aboveCorners : m_belowCorners;
        hull.clear();
        for (const Point &point : m_points) {
            while (hull.size() >= 2) {
                const Point &a = hull[hull.size() - 2], &b = hull.back();
                const double turn =
                    (b.atNs - a.atNs) * (point.boundNs - a.boundNs) - (b.boundNs - a.boundNs) * (point.atNs - a.atNs);
                if (turn > 0)
                    break;
                hull.pop_back();
            }
            hull.push_back(point);
        }
    }
}

void RunClock::band(double rate, double &upperNs, double &lowerNs) const
{
    upperNs = std::numeric_limits<double>::infinity();
    for (const Point &corner : m_aboveCorners)
        upperNs = std::min(upperNs, corner.boundNs - rate * corner.atNs);
    lowerNs = -std::numeric_limits<double>::infinity();
    for (const Point &corner : m_belowCorners)
        lowerNs = std::max(lowerNs, -corner.boundNs - rate * corner.atNs);
}

void RunClock::fit()
{
    qint64 quickestNs = at(0).roundTripNs;
    for (int i = 1; i < m_count; ++i)
        quickestNs = std::min(quickestNs, at(i).roundTripNs);
    m_quickCount = 0;
    for (int i = 0; i < m_count; ++i) {
        Sample &sample = m_ring[(m_first + i) % capacity];
        sample.quick = sample.roundTripNs - quickestNs <= quickExcessNs;
        m_quickCount += sample.quick ? 1 : 0;
    }

    // The band's width is concave in the slope, and so is it less the pull towards the last
    // slope: a ternary search finds the best.
    findCorners();
    const double lastRate = m_fitted ? m_rate : 0.0;
    const double stiffnessNs = m_count > spreadExchanges
                                   ? std::clamp(m_spreadNs * stiffnessPerSpread, leastStiffnessNs, mostStiffnessNs)
                                   : mostStiffnessNs;
    const auto openness = [&](double rate) {
        double upperNs = 0, lowerNs = 0;
        band(rate, upperNs, lowerNs);
        return upperNs - lowerNs - stiffnessNs * std::abs(rate - lastRate);
    };
    double low = -maxRate, high = maxRate;
    for (int step = 0; step < slopeSearchSteps; ++step) {
        const double left = low + (high - low) / 3, right = high - (high - low) / 3;
        if (openness(left) < openness(right))
            low = left;
        else
            high = right;
    }
    const double rate = (low + high) / 2;
    double upperNs = 0, lowerNs = 0;
    band(rate, upperNs, lowerNs);

    const Sample &newest = at(m_count - 1);
    m_fitted = true;
    m_rate = rate;
    m_anchorLocalNs = newest.localNs;
    m_anchorOffsetNs = newest.offsetNs + std::llround((upperNs + lowerNs) / 2);

    // How sharply each edge is pinned: the gap to the bound that would take over should the
    // closest ones have been a little off; and how widely the bounds scatter.
    double pinnedNs = 0;
    m_spreadNs = 0;
    for (const bool above : {true, false}) {
        for (int i = 0; i < m_count; ++i) {
            const Sample &sample = at(i);
            m_gapsNs[i] = above ? double(sample.aboveNs - newest.offsetNs) -
                                      rate * double(sample.aboveAtNs - newest.localNs) - upperNs
                                : lowerNs - double(sample.belowNs - newest.offsetNs) +
                                      rate * double(sample.belowAtNs - newest.localNs);
        }
        const int nth = std::min(pinningBound, m_count - 1);
        std::nth_element(m_gapsNs.begin(), m_gapsNs.begin() + nth, m_gapsNs.begin() + m_count);
        pinnedNs += m_gapsNs[nth] / 2;
        std::nth_element(m_gapsNs.begin(), m_gapsNs.begin() + m_count / 2, m_gapsNs.begin() + m_count);
        m_spreadNs += m_gapsNs[m_count / 2] / 2;
    }
    // The middle is off by at most half an edge's error.
    const double spanNs = double(newest.localNs - at(0).localNs);
    const double errorNs = pinnedNs / 2 * (1 + readyAheadNs / std::max(spanNs, 1.0));
    if (m_count > spreadExchanges && spanNs >= readySpanNs && errorNs <= readyErrorNs)
        m_ready = true;
}
