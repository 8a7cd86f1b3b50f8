#pragma once

#include <QtGlobal>

#include <functional>
#include <memory>

class QAudioFormat;

// Where a playing device hands its samples: the sound card, or a silent clock. Push style, so
// "play" can hand the first samples at once instead of waiting for the output to ask.
class AudioOutput
{
public:
    virtual ~AudioOutput() = default;
    // False when the output cannot start; the caller then tries another one.
    virtual bool start(const QAudioFormat &format) = 0;
    // Bytes the output takes now without blocking.
    virtual qint64 bytesFree() = 0;
    virtual qint64 write(const char *data, qint64 bytes) = 0;
    // Bytes written so far that have been played.
    virtual qint64 playedBytes() = 0;
    // True once everything written has been played.
    virtual bool drained() = 0;
    // True when the output broke down (the sound server went away) and takes nothing more.
    virtual bool failed() { return false; }
};

// Makes the output a device plays through, one per play.
using AudioOutputFactory = std::function<std::unique_ptr<AudioOutput>()>;
