#pragma once

#include "AudioOutput.h"
#include "FrameTime.h"

#include <QtGlobal>

#include <array>
#include <optional>

// A running stream's clock, from the sound server's timing reports. Each report tells when the
// stream's first frame was heard; while the stream runs that moment stays put, so the middle of
// the recent reports is the stream's clock, whatever a few reports from a busy server got wrong.
// A server that moves the stream on a block at a time (PipeWire) scatters the reports evenly
// over a block's time, and the middle of that spread, not its median, is steady: a few
// reports that happened to fall early in their blocks would move a median by milliseconds.
class StreamClock {
public:
    static constexpr int kept = 128;
    // Older reports are left out, so a sound card whose clock runs a little apart from ours
    // moves the estimate by no more than it drifts in about a second.
    static constexpr qint64 windowNs = 2 * frameTime::nsPerSecond;
    // Fewer reports leave the median to chance.
    static constexpr int enough = 5;

    StreamClock(int sampleRate, int frameBytes) : m_rate(sampleRate), m_frameBytes(frameBytes) {}

    // A report, received at `receivedNs`, that the stream's first frame is heard at frameZeroNs.
    void report(qint64 frameZeroNs, qint64 receivedNs);
    // Where the stream stands at nowNs, from the reports of the last windowNs; nothing while
    // fewer than `enough` of them came.
    // `atLeast` asks for more of them: holding a playing song to the clock wants a median that a
    // few odd reports of a young stream do not move.
    std::optional<StreamTiming> at(qint64 nowNs, int atLeast = enough) const;
    // Reports a held song waits for: a quarter of those kept.
    static constexpr int settled = 32;
    // Where a stream whose first frame is heard at frameZeroNs stands at nowNs: the frame heard
    // then, or the first frame and its moment to come.
    StreamTiming standing(qint64 frameZeroNs, qint64 nowNs) const;

private:
    struct Origin {
        qint64 frameZeroNs = 0;
        qint64 receivedNs = 0;
    };
    int m_rate;
    int m_frameBytes;
    std::array<Origin, kept> m_origins{};
    int m_count = 0;
    int m_next = 0;
};
