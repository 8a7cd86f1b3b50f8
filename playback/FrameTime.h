#pragma once

#include <QtGlobal>

// Frames and nanoseconds of a stream, exact (rounded down) however long it has run: a shop's
// stream that plays for days would overflow the plain product.
namespace frameTime {

constexpr qint64 nsPerSecond = 1000000000;

constexpr qint64 framesIn(qint64 ns, qint64 rate)
{
    return ns / nsPerSecond * rate + ns % nsPerSecond * rate / nsPerSecond;
}

constexpr qint64 nsOf(qint64 frames, qint64 rate)
{
    return frames / rate * nsPerSecond + frames % rate * nsPerSecond / rate;
}

} // namespace frameTime
