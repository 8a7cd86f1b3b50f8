#include "net/ResponseTime.h"

#include <algorithm>
#include <cmath>

namespace responseTime {

int roundHalfToEven(double value)
{
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
    for (const int t : timerResponses)
        offsets.append(slowest - t);
    return offsets;
}

} // namespace responseTime
