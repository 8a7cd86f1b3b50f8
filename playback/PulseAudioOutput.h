#pragma once

#include "AudioOutput.h"
#include "StreamClock.h"

#include <QAudioFormat>
#include <QByteArray>

#include <optional>

struct pa_context;
struct pa_stream;
struct pa_threaded_mainloop;
struct pa_time_event;

// The sound output through a PulseAudio server (PipeWire's too), which reports how long until
// a sample written now is heard, so a song can be placed to start at a chosen moment. One
// stream, kept open for many songs, that never stops on an underrun: its clock runs on, and
// stream bytes keep their moments.
class PulseAudioOutput : public AudioOutput {
public:
    // What the output keeps queued ahead of what is heard. Well below a scheduled start's
    // delay, so a song placed on its moment never finds the stream already written there.
    static constexpr int targetLatencyMs = 80;
    // When a busy event loop leaves less than this queued, the output's own thread adds
    // silence: a stream that ran dry would stop its clock and put every later byte late.
    static constexpr int bridgeBelowMs = 30;
    // How often the output asks the server where the stream stands, for its clock; on average.
    // Often: a server that moves the stream on a block at a time (PipeWire, about 12 ms) gives
    // answers spread over a block, and the middle of the spread is sure only from many of them.
    static constexpr int reportEveryMs = 10;

    PulseAudioOutput();
    ~PulseAudioOutput() override;
    PulseAudioOutput(const PulseAudioOutput &) = delete;
    PulseAudioOutput &operator=(const PulseAudioOutput &) = delete;

    // True when a PulseAudio server answers (asked once a process, within a second).
    static bool serverAvailable();

    bool start(const QAudioFormat &format) override;
    qint64 bytesFree() override;
    qint64 write(const char *data, qint64 bytes) override;
    qint64 writeSilence(qint64 bytes) override;
    qint64 playedBytes() override;
    bool failed() override;
    std::optional<StreamTiming> timing() override;
    std::optional<StreamTiming> freshTiming() override;
    std::optional<StreamTiming> steadyTiming() override;
    std::optional<StreamTiming> reportedTiming() override;
    bool tellsTiming() const override { return true; }
    bool rewindTo(qint64 from) override;
    bool flush() override;
    qint64 bridgedBytes() override;

private:
    // Under the main loop's lock.
    std::optional<StreamTiming> timingLocked();
    // The moment the stream's first frame is heard, from the last report as it came.
    std::optional<qint64> frameZeroLocked();
    void reportArrived();                    // on the main loop's thread
    void askForReport(pa_time_event *timer); // on the main loop's thread
    // data nullptr: silence.
    bool writeLocked(const char *data, qint64 bytes);
    // What is written from stream byte `from` on is dropped; the next write goes there.
    bool dropFromLocked(qint64 from);
    qint64 append(const char *data, qint64 bytes);
    bool writeEarlyLocked(); // what waited for the stream to be ready
    void closeStream();
    void contextChanged(); // on the main loop's thread
    bool ready();          // under the lock: the stream takes bytes
    qint64 freeLocked();   // under the lock, when ready
    void bridgeLocked();   // on the main loop's thread, when the server asks for more

    pa_threaded_mainloop *m_loop = nullptr;
    pa_context *m_context = nullptr;
    pa_stream *m_stream = nullptr;
    pa_time_event *m_reportTimer = nullptr;
    std::optional<StreamClock> m_clock; // made with the stream's format
    QAudioFormat m_format;
    qint64 m_written = 0; // the stream's write position: where the next byte goes
    QByteArray m_early;   // the stream's first bytes, written to m_written before it was ready
    qint64 m_seek = 0;    // to apply at the next write, after a rewind
    qint64 m_bridged = 0; // silence written by bridgeLocked
    qint64 m_targetBytes = 0;
    qint64 m_bridgeBelowBytes = 0;
    // The read position of the first report: until it moves on, the stream is not read yet.
    std::optional<qint64> m_readFrom;
    // Draws the report timer's wander.
    quint64 m_pace = 1;
};
