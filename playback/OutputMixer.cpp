#include "OutputMixer.h"

#include "core/MonotonicClock.h"
#include "FrameTime.h"
#include "SilentAudioOutput.h"
#include "StartPlacement.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// Often enough that a sound server's ~150 ms buffer never runs dry while a song plays.
constexpr int kPumpIntervalMs = 10;
// Silence queued ahead while nothing plays: enough to ride out a late tick, little enough
// that a song's first samples follow soon after "play".
constexpr int kIdleLeadUs = 40000;
// A rewind keeps clear of what the sound server is about to play.
constexpr int kRewindMarginUs = 2000;

} // namespace

OutputMixer::OutputMixer(AudioOutputFactory makeOutput, const QAudioFormat &format, QObject *parent)
    : QObject(parent), m_makeOutput(std::move(makeOutput)), m_format(format)
{
    m_timer.setInterval(kPumpIntervalMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &OutputMixer::pump);
}

OutputMixer::~OutputMixer() = default;

bool OutputMixer::ensureStarted()
{
    if (m_output)
        return true;
    // No output at all means no sound device: a silent clock keeps time instead. An output
    // that exists but will not start is a failure, tried again at the next play.
    std::unique_ptr<AudioOutput> output = m_makeOutput ? m_makeOutput() : nullptr;
    if (!output)
        output = std::make_unique<SilentAudioOutput>();
    if (!output->start(m_format))
        return false;
    m_output = std::move(output);
    m_pending.clear();
    m_queuedEnd = 0;
    m_bridged = 0;
    m_mostFree = 0;
    m_timer.start();
    pump();
    return true;
}

qsizetype OutputMixer::indexOf(const Source *source) const
{
    for (qsizetype i = 0; i < m_sources.size(); ++i) {
        if (m_sources[i].source == source)
            return i;
    }
    return -1;
}

void OutputMixer::add(Source *source, std::optional<qint64> startAtNs, PlayTimeline timeline)
{
    if (const qsizetype i = indexOf(source); i >= 0)
        m_sources.removeAt(i);
    if (m_output)
        followBridges();
    Entry entry;
    entry.source = source;
    entry.startByte = m_queuedEnd;
    entry.startAtNs = startAtNs;
    entry.addedNs = MonotonicClock::nowNs();
    entry.timeline = std::move(timeline);
    m_sources.append(entry);
    placeWaiting();
}

OutputMixer::Placement OutputMixer::placeOnMoment(qsizetype index, const StreamTiming &now)
{
    const qint64 startAtNs = *m_sources[index].startAtNs;
    const int rate = m_format.sampleRate();
    const qint64 frameBytes = std::max(1, m_format.bytesPerFrame());
    startPlacement::Plan plan = startPlacement::plan(now, startAtNs, m_queuedEnd, rate, int(frameBytes));
    bool alone = m_pending.isEmpty();
    for (qsizetype i = 0; i < m_sources.size(); ++i)
        alone = alone && (i == index || m_sources[i].waiting);
    // Written ahead but not heard yet: when nothing else plays there, the song goes in over
    // that silence instead of losing its first samples.
    if (plan.skippedFrames > 0 && alone) {
        const qint64 rewindTo = std::max(plan.startByte, firstRewindable(now));
        if (rewindTo < m_queuedEnd && m_output->rewindTo(rewindTo)) {
            m_queuedEnd = rewindTo;
            plan = startPlacement::plan(now, startAtNs, m_queuedEnd, rate, int(frameBytes));
        }
    }
    return {plan.startByte, true, frameTime::nsOf(plan.skippedFrames, rate), plan.skippedFrames};
}

void OutputMixer::placeWaiting()
{
    QList<std::pair<Source *, Placement>> placed;
    for (qsizetype i = 0; i < m_sources.size(); ++i) {
        Entry &entry = m_sources[i];
        if (!entry.waiting)
            continue;
        Placement placement{m_queuedEnd, false, 0, 0};
        if (entry.startAtNs && m_output) {
            if (const std::optional<StreamTiming> now = m_output->freshTiming())
                placement = placeOnMoment(i, *now);
            else if (m_output->tellsTiming() && MonotonicClock::nowNs() - entry.addedNs < qint64(clockWaitMs) * 1000000)
                continue;
        }
        entry.startByte = placement.streamByte;
        entry.waiting = false;
        entry.held = placement.scheduled;
        placed.append({entry.source, placement});
    }
    // Told last: a source may stop itself on hearing it.
    for (const auto &[source, placement] : std::as_const(placed)) {
        if (indexOf(source) >= 0)
            source->placed(placement);
    }
}

qint64 OutputMixer::firstRewindable(const StreamTiming &now) const
{
    // A frame's first byte, clear of what the sound server is about to play.
    const qint64 frameBytes = std::max(1, m_format.bytesPerFrame());
    const qint64 byte = now.heardByte + m_format.bytesForDuration(kRewindMarginUs) + frameBytes - 1;
    return byte - byte % frameBytes;
}

void OutputMixer::remove(Source *source, bool early)
{
    if (const qsizetype i = indexOf(source); i >= 0)
        m_sources.removeAt(i);
    for (const Entry &entry : std::as_const(m_sources)) {
        if (!entry.waiting)
            return;
    }
    if (!early || !m_output || m_output->failed())
        return;
    // What it left queued is dropped, so it falls silent at once.
    if (const std::optional<StreamTiming> now = m_output->timing()) {
        const qint64 rewindTo = firstRewindable(*now);
        if (rewindTo < m_queuedEnd - m_pending.size() && m_output->rewindTo(rewindTo)) {
            m_pending.clear();
            m_queuedEnd = rewindTo;
        }
    } else if (m_output->flush()) {
        m_pending.clear();
        m_queuedEnd = 0;
        m_mostFree = 0;
    }
}

std::optional<qint64> OutputMixer::latencyNs()
{
    const std::optional<StreamTiming> now = m_output ? m_output->timing() : std::nullopt;
    if (!now)
        return std::nullopt;
    const qint64 frames = std::max<qint64>(0, m_queuedEnd - now->heardByte) / std::max(1, m_format.bytesPerFrame());
    return frameTime::nsOf(frames, m_format.sampleRate());
}

qint64 OutputMixer::playedBytes()
{
    return m_output ? std::min(m_output->playedBytes(), m_queuedEnd) : 0;
}

std::optional<qint64> OutputMixer::nowNs()
{
    if (!m_output || !m_output->tellsTiming())
        return MonotonicClock::nowNs();
    const std::optional<StreamTiming> now = m_output->timing();
    return now ? std::optional(now->atNs) : std::nullopt;
}

std::optional<qint64> OutputMixer::heardAtNs(qint64 streamByte)
{
    std::optional<StreamTiming> now = m_output ? m_output->timing() : std::nullopt;
    if (!now || now->heardByte < streamByte)
        return std::nullopt;
    // Once past it by the rough reckoning, the moment is reckoned as the song was placed; the
    // rough one runs milliseconds ahead of a young stream, so until the placing clock too has
    // it heard, it is not.
    if (const std::optional<StreamTiming> fresh = m_output->freshTiming()) {
        if (fresh->heardByte < streamByte)
            return std::nullopt;
        now = fresh;
    }
    const qint64 frames = (now->heardByte - streamByte) / std::max(1, m_format.bytesPerFrame());
    return now->atNs - frameTime::nsOf(frames, m_format.sampleRate());
}

void OutputMixer::followBridges()
{
    // Silence the output added by itself went into the stream before what comes next.
    const qint64 bridged = m_output->bridgedBytes();
    m_queuedEnd += bridged - m_bridged;
    m_bridged = bridged;
}

void OutputMixer::writePending()
{
    if (m_pending.isEmpty())
        return;
    const qint64 taken = m_output->write(m_pending.constData(), m_pending.size());
    m_pending.remove(0, std::max<qint64>(0, taken));
}

void OutputMixer::skipPassed(Entry &entry)
{
    // Samples that should already have been written are dropped, so the source plays in step.
    QByteArray scratch;
    while (entry.startByte < m_queuedEnd) {
        const qint64 want = std::min<qint64>(m_queuedEnd - entry.startByte, 65536);
        scratch.resize(want);
        const qint64 got = take(entry, scratch.data(), want);
        entry.startByte = got < want ? m_queuedEnd : entry.startByte + want;
    }
}

qint64 OutputMixer::take(Entry &entry, char *data, qint64 bytes)
{
    const qint64 frameBytes = std::max(1, m_format.bytesPerFrame());
    qint64 done = 0;
    if (entry.correction > 0) {
        // Frames dropped: the song catches up with its timeline.
        QByteArray dropped(entry.correction * frameBytes, '\0');
        const qint64 got = entry.source->fill(dropped.data(), dropped.size());
        entry.sourceFrames += got / frameBytes;
        entry.correction = 0;
        if (got < dropped.size())
            return 0;
    } else if (entry.correction < 0 && bytes >= frameBytes) {
        // Frames inserted: the last one again, so nothing clicks; silence for a jump.
        const qint64 frames = std::min(-entry.correction, bytes / frameBytes);
        for (qint64 i = 0; i < frames; ++i) {
            if (frames == 1 && entry.lastFrame.size() == frameBytes)
                std::memcpy(data + done, entry.lastFrame.constData(), size_t(frameBytes));
            else
                std::memset(data + done, 0, size_t(frameBytes));
            done += frameBytes;
        }
        entry.correction += frames;
    }
    const qint64 got = entry.source->fill(data + done, bytes - done);
    entry.sourceFrames += got / frameBytes;
    done += got;
    if (done >= frameBytes)
        entry.lastFrame = QByteArray(data + done - done % frameBytes - frameBytes, frameBytes);
    return done;
}

void OutputMixer::holdToTimelines()
{
    const std::optional<StreamTiming> steady = m_output->steadyTiming();
    const auto begun = [this](const Entry &entry) { return entry.sourceFrames > 0 || entry.startByte <= m_queuedEnd; };
    // A source not begun is moved at no cost, so the clock need not be settled for it.
    std::optional<StreamTiming> young = steady;
    if (!young && std::any_of(m_sources.cbegin(), m_sources.cend(),
                              [&begun](const Entry &e) { return e.held && !e.waiting && !begun(e); }))
        young = m_output->reportedTiming();
    if (!young)
        return;
    const int rate = m_format.sampleRate();
    const qint64 frameBytes = std::max(1, m_format.bytesPerFrame());
    const qint64 jumpFrames = frameTime::framesIn(qint64(holdJumpUs) * 1000, rate);
    const auto signedNs = [rate](qint64 frames) {
        return frames >= 0 ? frameTime::nsOf(frames, rate) : -frameTime::nsOf(-frames, rate);
    };
    for (Entry &entry : m_sources) {
        // A late entry first skips what has passed.
        if (entry.waiting || !entry.held || entry.correction != 0 || !entry.startAtNs || entry.startByte < m_queuedEnd)
            continue;
        const bool moving = !begun(entry);
        const std::optional<StreamTiming> &now = moving ? young : steady;
        if (!now)
            continue;
        // Where the entry's next frame goes, and the song frame that will be there.
        const qint64 nextByte = std::max(entry.startByte, m_queuedEnd);
        const qint64 heardNs = now->atNs + signedNs((nextByte - now->heardByte) / frameBytes);
        const qint64 songNs = frameTime::nsOf(entry.sourceFrames, rate);
        const qint64 dueNs = entry.timeline ? entry.timeline(songNs) : *entry.startAtNs + songNs;
        const qint64 offNs = heardNs - dueNs;
        const qint64 offFrames = offNs >= 0 ? frameTime::framesIn(offNs, rate) : -frameTime::framesIn(-offNs, rate);
        if (moving) {
            // To the nearest frame, and no further back than what is written: the rest is
            // dropped once it plays.
            const qint64 nearest = frameTime::framesIn(std::abs(offNs) + frameTime::nsPerSecond / rate / 2, rate);
            const qint64 to = std::max(m_queuedEnd, entry.startByte - (offNs < 0 ? -nearest : nearest) * frameBytes);
            if (to != entry.startByte) {
                entry.startByte = to;
                entry.source->moved(to);
            }
            continue;
        }
        // A frame at a time while it drifts; a sixteenth of the way per pass when further off
        // (within a second from a sink's jump); a jump too large to glide at once.
        const qint64 off = std::abs(offFrames);
        const qint64 step = off > jumpFrames ? off : off >= 32 ? off / 16 : off >= holdSlackFrames ? 1 : 0;
        entry.correction = offFrames < 0 ? -step : step;
    }
}

qint64 OutputMixer::mix(qint64 bytes)
{
    QByteArray block(bytes, '\0');
    qint64 produced = 0;
    QList<Entry *> playing;
    for (Entry &entry : m_sources) {
        if (!entry.waiting) {
            skipPassed(entry);
            playing.append(&entry);
        }
    }
    if (playing.size() == 1 && playing.first()->startByte == m_queuedEnd) {
        produced = take(*playing.first(), block.data(), bytes);
    } else {
        // Summed in 32 bits and clipped once: loud songs together distort rather than wrap
        // around. A source that starts later has silence before it.
        std::vector<int> sums(size_t(bytes / 2), 0);
        QByteArray scratch(bytes, '\0');
        for (Entry *entry : std::as_const(playing)) {
            const qint64 offset = entry->startByte - m_queuedEnd;
            if (offset >= bytes) {
                produced = bytes;
                continue;
            }
            const qint64 got = take(*entry, scratch.data(), bytes - offset);
            for (qint64 i = 0; i + 1 < got; i += 2) {
                qint16 sample = 0;
                std::memcpy(&sample, scratch.constData() + i, 2);
                sums[size_t((offset + i) / 2)] += sample;
            }
            produced = std::max(produced, offset + got);
        }
        for (qint64 i = 0; i + 1 < produced; i += 2) {
            const auto sample = qint16(std::clamp(sums[size_t(i / 2)], int(std::numeric_limits<qint16>::min()),
                                                  int(std::numeric_limits<qint16>::max())));
            std::memcpy(block.data() + i, &sample, 2);
        }
    }
    block.resize(produced);
    m_pending += block;
    m_queuedEnd += produced;
    // Sources that played here go on where the stream goes on.
    for (Entry *entry : std::as_const(playing))
        entry->startByte = std::max(entry->startByte, m_queuedEnd);
    return produced;
}

void OutputMixer::pump()
{
    if (!m_output || m_pumping)
        return;
    if (m_output->failed()) {
        fail();
        return;
    }
    m_pumping = true;
    followBridges();
    placeWaiting();
    holdToTimelines();
    writePending();
    if (m_pending.isEmpty()) {
        const qint64 frameBytes = std::max(1, m_format.bytesPerFrame());
        const qint64 free = m_output->bytesFree();
        m_mostFree = std::max(m_mostFree, free);
        qint64 produced = 0;
        if (std::any_of(m_sources.cbegin(), m_sources.cend(), [](const Entry &e) { return !e.waiting; }) &&
            free >= frameBytes)
            produced = mix(free - free % frameBytes);
        writePending();
        if (produced == 0) {
            const qint64 queued = m_mostFree - free;
            qint64 silence = std::min(free, qint64(m_format.bytesForDuration(kIdleLeadUs)) - queued);
            silence -= silence % frameBytes;
            if (silence > 0)
                m_queuedEnd += m_output->writeSilence(silence);
        }
    }
    QList<Source *> sources;
    for (const Entry &entry : std::as_const(m_sources))
        sources.append(entry.source);
    for (Source *source : sources) {
        if (indexOf(source) >= 0)
            source->tick();
    }
    m_pumping = false;
}

void OutputMixer::fail()
{
    // The sources stop while the broken output can still tell what it played; the next play
    // starts a new one.
    const QList<Entry> sources = std::exchange(m_sources, {});
    for (const Entry &entry : sources)
        entry.source->outputFailed();
    m_timer.stop();
    m_output.reset();
    m_pending.clear();
    m_queuedEnd = 0;
}
