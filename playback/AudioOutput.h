#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

class QAudioFormat;

// Where a stream stands in time: stream byte `heardByte` (a frame's first byte) is heard at
// the monotonic moment `atNs` (MonotonicClock::nowNs()).
struct StreamTiming {
    qint64 heardByte = 0;
    qint64 atNs = 0;
};

// The stream the media service's devices play into: the sound card, or a silent clock. Push
// style, so "play" can hand the first samples at once instead of waiting for the output to ask.
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    // False when the output cannot start; the caller then tries another one.
    virtual bool start(const QAudioFormat &format) = 0;
    // Bytes the output takes now without blocking.
    virtual qint64 bytesFree() = 0;
    virtual qint64 write(const char *data, qint64 bytes) = 0;
    // Silence between songs, which keeps the stream flowing; counts like written bytes.
    virtual qint64 writeSilence(qint64 bytes)
    {
        const QByteArray zeros(bytes, '\0');
        return write(zeros.constData(), bytes);
    }
    // Bytes written so far (silence included) that have been played.
    virtual qint64 playedBytes() = 0;
    // Drops what is written but not yet played, so a stopped song falls silent at once and the
    // next one does not wait behind its tail; the counts then start again from 0. False (and
    // nothing dropped) when the output cannot do that.
    virtual bool flush() { return false; }
    // When the sound server can tell how long until a sample written now is heard: where the
    // stream stands now. Nothing for outputs that cannot tell; songs then start at once.
    virtual std::optional<StreamTiming> timing() { return std::nullopt; }
    // As timing, but only once the output's own clock is settled (not a young stream's guess):
    // what a song is held to.
    virtual std::optional<StreamTiming> steadyTiming() { return timing(); }
    // As timing, from the output's own clock however young, never from a guess while it has
    // none: what a song not begun yet is moved by.
    virtual std::optional<StreamTiming> reportedTiming() { return timing(); }
    // True when timing() will tell, at least once the stream plays.
    virtual bool tellsTiming() const { return false; }
    // As timing, asked of the sound server now rather than interpolated from its last report:
    // slower (a round trip), for placing a song.
    virtual std::optional<StreamTiming> freshTiming() { return timing(); }
    // Drops what is written from stream byte `from` on and has not been heard, so that the next
    // write goes there; the counts stay in step with the stream. False (nothing dropped) when
    // the output cannot do that or `from` is not between the heard and the written bytes.
    virtual bool rewindTo(qint64 from)
    {
        Q_UNUSED(from);
        return false;
    }
    // Silence the output wrote on its own, since it started, to keep the stream flowing while
    // nothing was written (a busy event loop); it moves the next write that much further on.
    virtual qint64 bridgedBytes() { return 0; }
    // True when the output broke down (the sound server went away) and takes nothing more.
    virtual bool failed() { return false; }
};

// Makes the output stream, once per sample format (again only after one broke down).
using AudioOutputFactory = std::function<std::unique_ptr<AudioOutput>()>;
