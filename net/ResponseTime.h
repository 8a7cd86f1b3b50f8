#pragma once

#include <QList>

// The arithmetic of the response-time probe and the timed broadcast.
namespace responseTime {

// To the nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4); beyond
// the range of int, its nearest end.
int roundHalfToEven(double value);

// The longest delay an envelope may carry: the range of the client's timer.
inline constexpr int maxDelayMs = 65535;

// `TimerResponse`: half the time from sending the probe to its answer, in whole ms.
int timerResponseMs(double sentSeconds, double answeredSeconds);

// The delay of each ready client's envelope: the slowest waits 0, each faster one the
// difference. The maximum starts at 0, so negative times never raise it. Each delay is
// kept within 0 to `maxDelayMs`.
QList<int> envelopeOffsets(const QList<int> &timerResponses);

} // namespace responseTime
