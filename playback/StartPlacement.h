#pragma once

#include "AudioOutput.h"

#include <QtGlobal>

#include <algorithm>

// Where in an output stream a song starts so that its first sample is heard at a chosen
// moment, given where the stream stands now.
namespace startPlacement {

struct Plan {
    qint64 startByte = 0;     // the stream byte heard at the moment (a frame's first byte)
    qint64 silenceFrames = 0; // silence to write before the song, from the written end on
    qint64 skippedFrames = 0; // the song's frames that should already have been written
};

// `timing` says where the stream stands, `writtenEnd` is where the next byte would go.
// Rounded to the nearest frame; moments further than a minute away count as a minute.
inline Plan plan(const StreamTiming &timing, qint64 startAtNs, qint64 writtenEnd, int sampleRate, int frameBytes)
{
    constexpr qint64 nsPerSecond = 1000000000;
    constexpr qint64 capNs = 60 * nsPerSecond;
    const qint64 deltaNs = std::clamp(startAtNs - timing.atNs, -capNs, capNs);
    const qint64 frames = deltaNs >= 0 ? (deltaNs * sampleRate + nsPerSecond / 2) / nsPerSecond
                                       : -((-deltaNs * sampleRate + nsPerSecond / 2) / nsPerSecond);
    Plan p;
    p.startByte = timing.heardByte + frames * frameBytes;
    if (p.startByte >= writtenEnd)
        p.silenceFrames = (p.startByte - writtenEnd) / frameBytes;
    else
        p.skippedFrames = (writtenEnd - p.startByte) / frameBytes;
    return p;
}

} // namespace startPlacement
