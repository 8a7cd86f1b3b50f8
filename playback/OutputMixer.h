#pragma once

#include "AudioOutput.h"

#include <QAudioFormat>
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

// Where a source's first byte went in its output stream.
struct OutputMixerPlacement {
    qint64 streamByte = 0;    // the stream byte of the source's first byte
    bool scheduled = false;   // placed on its moment (the output tells when bytes are heard)
    qint64 lateNs = 0;        // the moment had passed: this much of the source is skipped
    qint64 skippedFrames = 0; // the same in frames: the first frame of it that is heard
};

// When each point of a song is to be heard: the monotonic moment (MonotonicClock) for the
// point `songNs` after its first sample. A song held to it keeps that pace whatever the
// sound card's own clock does.
using PlayTimeline = std::function<qint64(qint64 songNs)>;

// One output stream of one sample format, started once and kept running on silence between
// songs, so that a play only has to hand samples to a stream that already flows. Devices that
// play at the same time are mixed (summed, clipped to 16 bits).
class OutputMixer : public QObject {
    Q_OBJECT
public:
    // What the mixer takes samples from: a playing device.
    class Source {
    public:
        virtual ~Source() = default;
        // Up to bytes of the source's next samples into data; fewer only at its end.
        virtual qint64 fill(char *data, qint64 bytes) = 0;
        // After each hand-over: time to decode ahead and to notice the end.
        virtual void tick() = 0;
        // The stream broke down: the source stops.
        virtual void outputFailed() = 0;
        // Where its first byte went, once that is settled (see add).
        virtual void placed(const OutputMixerPlacement &placement) = 0;
        // Its first byte goes to `streamByte` instead: the stream's clock, better known now than
        // when it was placed, moved it before any of it was written.
        virtual void moved(qint64 streamByte) { Q_UNUSED(streamByte); }
    };

    using Placement = OutputMixerPlacement;

    OutputMixer(AudioOutputFactory makeOutput, const QAudioFormat &format, QObject *parent = nullptr);
    ~OutputMixer() override;

    // Makes and starts the stream unless it runs already. False when it cannot start.
    bool ensureStarted();
    // Adds a source to start at once, or, when `startAtNs` is a moment (MonotonicClock) and the
    // output tells when bytes are heard, to be heard first at that moment: silence comes
    // before it, and when the moment has passed the source's first samples that should
    // already have sounded are skipped, so it plays in step. A stream whose clock does not
    // run yet (just made) is waited for, up to `clockWaitMs`. The source learns where it went
    // through `placed`, before this returns unless it waits. pump() then hands it samples.
    // A placed source is then held to `timeline` (by default: its moment plus the song's own
    // time), a frame at a time, where the output tells when bytes are heard; until its first
    // frame is written it is moved whole instead, so no frame of its beginning is lost.
    void add(Source *source, std::optional<qint64> startAtNs = std::nullopt, PlayTimeline timeline = {});
    static constexpr int clockWaitMs = 3000;
    // Frames a held source may be off before one is inserted or dropped: the stream's clock
    // wavers by about this much from report to report.
    static constexpr int holdSlackFrames = 3;
    // Further off than this (a sink that jumped, a stalled client), the whole difference is
    // made up at once rather than a frame at a time.
    static constexpr int holdJumpUs = 20000;
    // Takes a source out; when it was the last one and stopped early, what it left queued is
    // dropped, so it falls silent at once.
    void remove(Source *source, bool early);
    // Stream bytes (songs and silence) the output has played.
    qint64 playedBytes();
    // How long a sample written now waits before it is heard; nothing when it cannot tell.
    std::optional<qint64> latencyNs();
    // Now, as the stream's timing has it: what a moment given to add is placed against. The
    // monotonic clock for an output that cannot tell; nothing while its clock does not run yet.
    std::optional<qint64> nowNs();
    // When the output reports stream byte `streamByte` was heard; nothing before that, or
    // when it cannot tell.
    std::optional<qint64> heardAtNs(qint64 streamByte);
    // Hands the sources' samples (or silence) to the output as far as it takes them now; the
    // timer calls it too.
    void pump();

private:
    struct Entry {
        Source *source = nullptr;
        qint64 startByte = 0; // the stream byte its next byte takes
        bool waiting = true;  // not placed yet
        std::optional<qint64> startAtNs;
        qint64 addedNs = 0;
        PlayTimeline timeline;
        bool held = false;       // placed on its moment: held to its timeline from then on
        qint64 sourceFrames = 0; // frames taken from the source since its first
        qint64 correction = 0;   // frames to drop (more than 0) or insert (less than 0)
        QByteArray lastFrame;    // the last frame handed on, repeated when one is inserted
    };

    void followBridges();
    void placeWaiting();
    Placement placeOnMoment(qsizetype index, const StreamTiming &now);
    // The first stream byte a rewind may go back to.
    qint64 firstRewindable(const StreamTiming &now) const;
    void writePending();
    qint64 mix(qint64 bytes);
    void skipPassed(Entry &entry);
    // Up to `bytes` of the entry's next samples, with its correction applied.
    qint64 take(Entry &entry, char *data, qint64 bytes);
    void holdToTimelines();
    void fail();
    qsizetype indexOf(const Source *source) const;

    AudioOutputFactory m_makeOutput;
    QAudioFormat m_format;
    std::unique_ptr<AudioOutput> m_output;
    QList<Entry> m_sources;
    QTimer m_timer;
    QByteArray m_pending;   // mixed, not yet taken by the output
    qint64 m_queuedEnd = 0; // stream bytes produced so far, m_pending included
    qint64 m_mostFree = 0;  // the output's buffer size, as its emptiest moment shows it
    bool m_pumping = false;
    qint64 m_bridged = 0; // the output's bridgedBytes() as last seen
};
