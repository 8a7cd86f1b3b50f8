#include "OutputMixer.h"

#include "SilentAudioOutput.h"

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
    m_mostFree = 0;
    m_timer.start();
    pump();
    return true;
}

qint64 OutputMixer::add(Source *source)
{
    if (!m_sources.contains(source))
        m_sources.append(source);
    return m_queuedEnd;
}

void OutputMixer::remove(Source *source, bool early)
{
    m_sources.removeAll(source);
    if (early && m_sources.isEmpty() && m_output && !m_output->failed() && m_output->flush()) {
        m_pending.clear();
        m_queuedEnd = 0;
        m_mostFree = 0;
    }
}

qint64 OutputMixer::playedBytes()
{
    return m_output ? std::min(m_output->playedBytes(), m_queuedEnd) : 0;
}

void OutputMixer::writePending()
{
    if (m_pending.isEmpty())
        return;
    const qint64 taken = m_output->write(m_pending.constData(), m_pending.size());
    m_pending.remove(0, std::max<qint64>(0, taken));
}

qint64 OutputMixer::mix(qint64 bytes)
{
    QByteArray block(bytes, '\0');
    if (m_sources.size() == 1) {
        block.resize(m_sources.first()->fill(block.data(), bytes));
    } else {
        // Summed in 32 bits and clipped once: loud songs together distort rather than wrap around.
        std::vector<int> sums(size_t(bytes / 2), 0);
        qint64 produced = 0;
        for (Source *source : std::as_const(m_sources)) {
            const qint64 got = source->fill(block.data(), bytes);
            for (qint64 i = 0; i + 1 < got; i += 2) {
                qint16 sample = 0;
                std::memcpy(&sample, block.constData() + i, 2);
                sums[size_t(i / 2)] += sample;
            }
            produced = std::max(produced, got);
        }
        block.resize(produced);
        for (qint64 i = 0; i + 1 < produced; i += 2) {
            const auto sample = qint16(std::clamp(sums[size_t(i / 2)], int(std::numeric_limits<qint16>::min()),
                                                  int(std::numeric_limits<qint16>::max())));
            std::memcpy(block.data() + i, &sample, 2);
        }
    }
    m_pending += block;
    m_queuedEnd += block.size();
    return block.size();
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
    writePending();
    if (m_pending.isEmpty()) {
        const qint64 frameBytes = std::max(1, m_format.bytesPerFrame());
        const qint64 free = m_output->bytesFree();
        m_mostFree = std::max(m_mostFree, free);
        qint64 produced = 0;
        if (!m_sources.isEmpty() && free >= frameBytes)
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
    const QList<Source *> sources = m_sources;
    for (Source *source : sources) {
        if (m_sources.contains(source))
            source->tick();
    }
    m_pumping = false;
}

void OutputMixer::fail()
{
    // The sources stop while the broken output can still tell what it played; the next play
    // starts a new one.
    const QList<Source *> sources = m_sources;
    m_sources.clear();
    for (Source *source : sources)
        source->outputFailed();
    m_timer.stop();
    m_output.reset();
    m_pending.clear();
    m_queuedEnd = 0;
}
