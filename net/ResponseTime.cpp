#include "net/ResponseTime.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace responseTime {

int roundHalfToEven(double value)
{
    // Out of range, or no number at all: the nearest value an int holds.
    if (std::isnan(value))
        return 0;
    if (value >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    const double below = std::floor(value);
    const double rest = value - below;
    double rounded = below;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(below, 2.0) != 0.0))
        rounded = below + 1;
    return static_cast<int>(rounded);
}

int timerResponseMs(double sentSeconds, double answeredSeconds)
{
    return roundHalfToEven((answeredSeconds - sentSeconds) * 1000.0 / 2.0);
}

QList<int> envelopeOffsets(const QList<int> &timerResponses)
{
    int slowest = 0;
    for (const int t : timerResponses)
        slowest = std::max(slowest, t);
    QList<int> offsets;
    offsets.reserve(timerResponses.size());
    // A client drops an envelope delayed beyond its timer's range: one bad record must
    // not cost the others their message.
    for (const int t : timerResponses)
        offsets.append(static_cast<int>(std::clamp<qint64>(qint64(slowest) - t, 0, maxDelayMs)));
    return offsets;
}

} // namespace responseTime
