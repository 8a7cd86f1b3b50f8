#include "PulseAudioOutput.h"

#include "core/MonotonicClock.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop.h>
#include <pulse/rtclock.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <utility>

namespace {

constexpr const char *kClientName = "Tunvero";

void wakeLoop(pa_threaded_mainloop *loop)
{
    pa_threaded_mainloop_signal(loop, 0);
}

bool contextGood(pa_context *context)
{
    return context && PA_CONTEXT_IS_GOOD(pa_context_get_state(context));
}

bool streamGood(pa_stream *stream)
{
    return stream && PA_STREAM_IS_GOOD(pa_stream_get_state(stream));
}

// Holds the main loop's lock for a scope.
class LoopLock {
public:
    explicit LoopLock(pa_threaded_mainloop *loop) : m_loop(loop) { pa_threaded_mainloop_lock(m_loop); }
    ~LoopLock() { pa_threaded_mainloop_unlock(m_loop); }
    LoopLock(const LoopLock &) = delete;
    LoopLock &operator=(const LoopLock &) = delete;

private:
    pa_threaded_mainloop *m_loop;
};

const std::array<char, 16384> &zeros()
{
    static const std::array<char, 16384> block{};
    return block;
}

} // namespace

PulseAudioOutput::PulseAudioOutput() = default;

PulseAudioOutput::~PulseAudioOutput()
{
    closeStream();
}

bool PulseAudioOutput::serverAvailable()
{
    static const bool available = [] {
        pa_mainloop *loop = pa_mainloop_new();
        pa_context *context = pa_context_new(pa_mainloop_get_api(loop), kClientName);
        bool ready = false;
        if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
            while (std::chrono::steady_clock::now() < deadline) {
                const pa_context_state_t state = pa_context_get_state(context);
                if (state == PA_CONTEXT_READY) {
                    ready = true;
                    break;
                }
                if (!PA_CONTEXT_IS_GOOD(state))
                    break;
                pa_mainloop_prepare(loop, 50000);
                pa_mainloop_poll(loop);
                pa_mainloop_dispatch(loop);
            }
            pa_context_disconnect(context);
        }
        if (context)
            pa_context_unref(context);
        pa_mainloop_free(loop);
        return ready;
    }();
    return available;
}

bool PulseAudioOutput::start(const QAudioFormat &format)
{
    if (format.sampleFormat() != QAudioFormat::Int16 || format.sampleRate() <= 0 || format.channelCount() <= 0)
        return false;
    m_format = format;
    m_clock.emplace(format.sampleRate(), format.bytesPerFrame());
    m_targetBytes = format.bytesForDuration(qint64(targetLatencyMs) * 1000);
    m_bridgeBelowBytes = format.bytesForDuration(qint64(bridgeBelowMs) * 1000);
    m_loop = pa_threaded_mainloop_new();
    if (!m_loop || pa_threaded_mainloop_start(m_loop) < 0) {
        closeStream();
        return false;
    }
    // The connection and the stream are made on the main loop's thread: the caller's event
    // loop does not wait for the sound server. Until the stream is ready, what is written waits.
    LoopLock lock(m_loop);
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), kClientName);
    if (!m_context)
        return false;
    pa_context_set_state_callback(
        m_context, [](pa_context *, void *self) { static_cast<PulseAudioOutput *>(self)->contextChanged(); }, this);
    return pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
}

void PulseAudioOutput::contextChanged()
{
    if (m_stream || pa_context_get_state(m_context) != PA_CONTEXT_READY)
        return;
    pa_sample_spec samples{};
    samples.format = PA_SAMPLE_S16LE;
    samples.rate = uint32_t(m_format.sampleRate());
    samples.channels = uint8_t(m_format.channelCount());
    m_stream = pa_stream_new(m_context, "Tunvero", &samples, nullptr);
    if (!m_stream)
        return;
    pa_buffer_attr attr{};
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(m_targetBytes);
    // No pre-buffering: the stream plays from the start and never halts on an underrun, so
    // its clock, and with it every byte's moment, runs on evenly.
    attr.prebuf = 0;
    attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(-1);
    const auto flags =
        pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    pa_stream_set_write_callback(
        m_stream, [](pa_stream *, size_t, void *self) { static_cast<PulseAudioOutput *>(self)->bridgeLocked(); }, this);
    pa_stream_set_latency_update_callback(
        m_stream, [](pa_stream *, void *self) { static_cast<PulseAudioOutput *>(self)->reportArrived(); }, this);
    pa_stream_connect_playback(m_stream, nullptr, &attr, flags, nullptr, nullptr);
    m_reportTimer = pa_context_rttime_new(
        m_context, pa_rtclock_now() + reportEveryMs * PA_USEC_PER_MSEC,
        [](pa_mainloop_api *, pa_time_event *timer, const timeval *, void *self) {
            static_cast<PulseAudioOutput *>(self)->askForReport(timer);
        },
        this);
}

void PulseAudioOutput::askForReport(pa_time_event *timer)
{
    if (ready()) {
        if (pa_operation *update = pa_stream_update_timing_info(m_stream, nullptr, nullptr))
            pa_operation_unref(update);
    }
    // The pace wanders by up to half of it either way: a server that moves the stream on a
    // block at a time is then asked at every point of its blocks, not at the few that a steady
    // pace beating against the blocks would keep returning to.
    constexpr qint64 everyUs = reportEveryMs * qint64(PA_USEC_PER_MSEC);
    m_pace = m_pace * 6364136223846793005ULL + 1442695040888963407ULL;
    const qint64 wanderUs = qint64((m_pace >> 33) % quint64(everyUs)) - everyUs / 2;
    pa_context_rttime_restart(m_context, timer, pa_rtclock_now() + pa_usec_t(everyUs + wanderUs));
}

void PulseAudioOutput::reportArrived()
{
    if (const std::optional<qint64> frameZeroNs = frameZeroLocked())
        m_clock->report(*frameZeroNs, MonotonicClock::nowNs());
}

bool PulseAudioOutput::ready()
{
    return m_stream && pa_stream_get_state(m_stream) == PA_STREAM_READY;
}

void PulseAudioOutput::closeStream()
{
    if (!m_loop)
        return;
    {
        LoopLock lock(m_loop);
        if (m_reportTimer) {
            pa_threaded_mainloop_get_api(m_loop)->time_free(m_reportTimer);
            m_reportTimer = nullptr;
        }
        if (m_stream) {
            pa_stream_set_write_callback(m_stream, nullptr, nullptr);
            pa_stream_set_latency_update_callback(m_stream, nullptr, nullptr);
            pa_stream_disconnect(m_stream);
            pa_stream_unref(m_stream);
            m_stream = nullptr;
        }
        if (m_context) {
            pa_context_set_state_callback(m_context, nullptr, nullptr);
            pa_context_disconnect(m_context);
            pa_context_unref(m_context);
            m_context = nullptr;
        }
    }
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
    m_loop = nullptr;
}

bool PulseAudioOutput::failed()
{
    if (!m_loop)
        return true;
    LoopLock lock(m_loop);
    return !contextGood(m_context) || (m_stream && !streamGood(m_stream));
}

qint64 PulseAudioOutput::bytesFree()
{
    if (!m_loop)
        return 0;
    LoopLock lock(m_loop);
    return ready() ? freeLocked() : m_targetBytes - qint64(m_early.size());
}

qint64 PulseAudioOutput::freeLocked()
{
    const size_t asked = pa_stream_writable_size(m_stream);
    const qint64 writable = asked == size_t(-1) ? 0 : qint64(asked);
    // The server's count of what it asked for takes the silence a rewind writes as growing the
    // queue, and stays short by that much: after a stop it would ask for nothing until the
    // dropped part had played (up to the whole target), and a song started meanwhile would wait
    // and begin on an empty stream. A young stream the sink has not begun to read (for up to
    // seconds) asks for nothing either. So what is queued by the clock (before it runs, all
    // that is written) counts too: the server takes more than it asked for.
    const std::optional<StreamTiming> now = timingLocked();
    const qint64 queued = m_written - (now ? now->heardByte : 0);
    const qint64 toTarget = std::clamp<qint64>(m_targetBytes - queued, 0, m_targetBytes);
    return std::max(writable, toTarget - toTarget % m_format.bytesPerFrame());
}

bool PulseAudioOutput::writeLocked(const char *data, qint64 bytes)
{
    const bool silence = data == nullptr;
    qint64 done = 0;
    while (done < bytes) {
        const qint64 piece = silence ? std::min<qint64>(bytes - done, qint64(zeros().size())) : bytes - done;
        const char *from = silence ? zeros().data() : data + done;
        if (pa_stream_write(m_stream, from, size_t(piece), nullptr, m_seek, PA_SEEK_RELATIVE) < 0)
            return false;
        m_seek = 0;
        done += piece;
    }
    return true;
}

qint64 PulseAudioOutput::write(const char *data, qint64 bytes)
{
    return append(data, bytes);
}

qint64 PulseAudioOutput::writeSilence(qint64 bytes)
{
    return append(nullptr, bytes);
}

qint64 PulseAudioOutput::append(const char *data, qint64 bytes)
{
    if (!m_loop || bytes <= 0)
        return 0;
    LoopLock lock(m_loop);
    if (!ready()) {
        // The stream's first bytes wait here while the server makes it (a few milliseconds
        // after the first open), so a play at once is not held up.
        if (!contextGood(m_context) || (m_stream && !streamGood(m_stream)))
            return 0;
        const qint64 taken = std::min(bytes, m_targetBytes - qint64(m_early.size()));
        if (taken <= 0)
            return 0;
        if (data)
            m_early.append(data, taken);
        else
            m_early.append(taken, '\0');
        m_written += taken;
        return taken;
    }
    if (!writeEarlyLocked() || !writeLocked(data, bytes))
        return 0;
    m_written += bytes;
    return bytes;
}

bool PulseAudioOutput::writeEarlyLocked()
{
    const QByteArray early = std::exchange(m_early, QByteArray());
    return early.isEmpty() || writeLocked(early.constData(), early.size());
}

std::optional<StreamTiming> PulseAudioOutput::timingLocked()
{
    if (!ready())
        return std::nullopt;
    if (const std::optional<StreamTiming> steady = m_clock->at(MonotonicClock::nowNs()))
        return steady;
    // A new stream waits for the sink to finish what it had under way (up to seconds for an
    // idle sink); until it plays, its clock is a guess.
    const pa_timing_info *info = pa_stream_get_timing_info(m_stream);
    if (!info || !info->playing)
        return std::nullopt;
    pa_usec_t heardUs = 0;
    if (pa_stream_get_time(m_stream, &heardUs) < 0)
        return std::nullopt;
    const qint64 nowNs = MonotonicClock::nowNs();
    return m_clock->standing(nowNs - qint64(heardUs) * 1000, nowNs);
}

std::optional<StreamTiming> PulseAudioOutput::timing()
{
    if (!m_loop)
        return std::nullopt;
    LoopLock lock(m_loop);
    return timingLocked();
}

std::optional<StreamTiming> PulseAudioOutput::reportedTiming()
{
    if (!m_loop)
        return std::nullopt;
    LoopLock lock(m_loop);
    return ready() ? m_clock->at(MonotonicClock::nowNs()) : std::nullopt;
}

std::optional<StreamTiming> PulseAudioOutput::steadyTiming()
{
    if (!m_loop)
        return std::nullopt;
    LoopLock lock(m_loop);
    return ready() ? m_clock->at(MonotonicClock::nowNs(), StreamClock::settled) : std::nullopt;
}

std::optional<StreamTiming> PulseAudioOutput::freshTiming()
{
    if (!m_loop)
        return std::nullopt;
    LoopLock lock(m_loop);
    if (!ready())
        return std::nullopt;
    if (const std::optional<StreamTiming> steady = m_clock->at(MonotonicClock::nowNs()))
        return steady;
    // A stream too young for its clock: reports now, until it has enough. Should the server
    // not give them, the one that came back quickest, since a server busy between reading its
    // position and stamping the report makes a slow one, and a wrong one.
    std::optional<qint64> best;
    qint64 bestRoundTripNs = 0;
    for (int i = 0; i < StreamClock::enough && ready(); ++i) {
        const qint64 askedNs = MonotonicClock::nowNs();
        const auto done = [](pa_stream *, int, void *loop) { wakeLoop(static_cast<pa_threaded_mainloop *>(loop)); };
        pa_operation *update = pa_stream_update_timing_info(m_stream, done, m_loop);
        while (update && pa_operation_get_state(update) == PA_OPERATION_RUNNING && ready())
            pa_threaded_mainloop_wait(m_loop);
        if (update)
            pa_operation_unref(update);
        const qint64 nowNs = MonotonicClock::nowNs();
        if (const std::optional<StreamTiming> steady = m_clock->at(nowNs))
            return steady;
        const std::optional<qint64> report = frameZeroLocked();
        if (report && (!best || nowNs - askedNs < bestRoundTripNs)) {
            best = report;
            bestRoundTripNs = nowNs - askedNs;
        }
    }
    return best ? m_clock->standing(*best, MonotonicClock::nowNs()) : timingLocked();
}

std::optional<qint64> PulseAudioOutput::frameZeroLocked()
{
    // The report itself, not the interpolation, which eases into a new report over a while.
    const pa_timing_info *info = pa_stream_get_timing_info(m_stream);
    if (!info || !info->playing || info->read_index < 0)
        return std::nullopt;
    // A stream the server calls playing may not be read yet (PipeWire's, for tens of
    // milliseconds): its position stands still while time runs, and such reports would put
    // its first frame milliseconds early. It counts once it has moved.
    if (!m_readFrom)
        m_readFrom = info->read_index;
    if (info->read_index <= *m_readFrom)
        return std::nullopt;
    const std::optional<qint64> reportNs =
        MonotonicClock::fromWall(info->timestamp.tv_sec, qint64(info->timestamp.tv_usec) * 1000);
    if (!reportNs)
        return std::nullopt;
    // The read position less what the sink holds before it is heard, as it stood when the
    // server made the report (before a young stream's first frame is heard, less than none); a
    // server whose clock is not ours stamps it when it was asked, a way's time earlier.
    const qint64 wayNs = info->synchronized_clocks ? 0 : qint64(info->transport_usec) * 1000;
    const qint64 heardNs = frameTime::nsOf(info->read_index / m_format.bytesPerFrame(), m_format.sampleRate()) + wayNs -
                           qint64(info->sink_usec) * 1000;
    return *reportNs - heardNs;
}

qint64 PulseAudioOutput::playedBytes()
{
    if (!m_loop)
        return 0;
    LoopLock lock(m_loop);
    const std::optional<StreamTiming> now = timingLocked();
    return now ? std::clamp<qint64>(now->heardByte, 0, m_written) : 0;
}

void PulseAudioOutput::bridgeLocked()
{
    if (!ready() || !writeEarlyLocked())
        return;
    const qint64 queued = m_targetBytes - freeLocked();
    qint64 silence = m_bridgeBelowBytes - queued;
    silence -= silence % m_format.bytesPerFrame();
    if (silence <= 0 || !writeLocked(nullptr, silence))
        return;
    m_written += silence;
    m_bridged += silence;
}

qint64 PulseAudioOutput::bridgedBytes()
{
    if (!m_loop)
        return 0;
    LoopLock lock(m_loop);
    return m_bridged;
}

bool PulseAudioOutput::rewindTo(qint64 from)
{
    if (!m_loop)
        return false;
    LoopLock lock(m_loop);
    const std::optional<StreamTiming> now = timingLocked();
    if (!now || from < now->heardByte || from > m_written || from % m_format.bytesPerFrame() != 0)
        return false;
    return dropFromLocked(from);
}

bool PulseAudioOutput::dropFromLocked(qint64 from)
{
    // The server's write position, past a rewind not yet written over.
    const qint64 serverAt = m_written - m_seek;
    const qint64 dropped = serverAt - from;
    if (dropped == 0)
        return true;
    // Silence over what is dropped, which the server makes heard at once if its sink already
    // holds it; the next write then goes back to `from`.
    m_seek = -dropped;
    if (!writeLocked(nullptr, dropped))
        return false;
    m_seek = -dropped;
    m_written = from;
    return true;
}

bool PulseAudioOutput::flush()
{
    if (!m_loop)
        return false;
    LoopLock lock(m_loop);
    if (!ready()) {
        // Nothing has reached the server yet.
        m_early.clear();
        m_written = 0;
        return true;
    }
    // Only a stream the sink has not begun to read (an idle sink may take seconds to; no report
    // yet counts as not begun), which has no clock to rewind by: all it holds is unheard, so
    // the counts go back to 0, where the stream begins. Without this a stopped song would keep
    // it full, and the next play wait.
    const pa_timing_info *info = pa_stream_get_timing_info(m_stream);
    if (info && (info->playing || info->read_index != 0))
        return false;
    return dropFromLocked(0);
}
