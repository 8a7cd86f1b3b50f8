#pragma once

#include <QList>

// The arithmetic of the response-time probe and the timed broadcast.
namespace responseTime {

// To the nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
int roundHalfToEven(double value);

// `TimerResponse`: half the time from sending the probe to its answer, in whole ms.
int timerResponseMs(double sentSeconds, double answeredSeconds);

// The delay of each ready client's envelope: the slowest waits 0, each faster one the
// difference. The maximum starts at 0, so negative times never raise it.
QList<int> envelopeOffsets(const QList<int> &timerResponses);

} // namespace responseTime
