#pragma once

#include "playback/AudioOutput.h"

#include <QByteArray>

#include <algorithm>
#include <optional>

// An output whose sound server says where it stands: the test sets what is heard and when.
// Keeps the whole stream it was given, so where a song landed can be read off.
class TimedAudioOutput : public AudioOutput {
public:
    bool start(const QAudioFormat &) override { return true; }
    qint64 bytesFree() override { return std::max<qint64>(0, kAhead - (stream.size() - now.heardByte)); }
    qint64 write(const char *data, qint64 bytes) override
    {
        const qint64 taken = std::min(bytes, bytesFree());
        stream.append(data, taken);
        return taken;
    }
    qint64 playedBytes() override { return now.heardByte; }
    std::optional<StreamTiming> timing() override
    {
        return clockRuns ? std::optional(StreamTiming{now.heardByte + roughAheadBytes, now.atNs}) : std::nullopt;
    }
    std::optional<StreamTiming> freshTiming() override { return clockRuns ? std::optional(now) : std::nullopt; }
    bool tellsTiming() const override { return true; }
    bool rewindTo(qint64 from) override
    {
        if (from < now.heardByte || from > stream.size())
            return false;
        stream.truncate(from);
        return true;
    }
    static constexpr qint64 kAhead = 48000 * 4 / 10; // 100 ms at 48 kHz stereo
    QByteArray stream;
    StreamTiming now{0, 0};
    bool clockRuns = true;      // a stream just made has no clock yet
    qint64 roughAheadBytes = 0; // how far the interpolated timing runs ahead of the reports
};
