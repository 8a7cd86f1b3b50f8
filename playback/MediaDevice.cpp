#include "MediaDevice.h"

#include "MediaError.h"
#include "SilentAudioOutput.h"

#include <QAudioFormat>

#include <algorithm>

namespace {

// Often enough that a sound server's ~150 ms buffer never runs dry.
constexpr int kPumpIntervalMs = 10;
// Far longer than any output buffers.
constexpr int kDrainCapMs = 3000;

} // namespace

MediaDevice::MediaDevice(AudioOutputFactory makeOutput, QObject *parent)
    : QObject(parent), m_makeOutput(std::move(makeOutput))
{
    m_pumpTimer.setInterval(kPumpIntervalMs);
    m_pumpTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_pumpTimer, &QTimer::timeout, this, &MediaDevice::pump);
}

MediaDevice::~MediaDevice() = default;

bool MediaDevice::open(const QString &path)
{
    if (!m_decoder.open(path))
        return false;
    m_bytesPerSample = m_decoder.bytesPerSample();
    const qint64 headBytes = std::min<qint64>(m_decoder.sampleRate(), m_decoder.lengthSamples()) * m_bytesPerSample;
    m_head.resize(headBytes);
    const qint64 got = m_decoder.read(m_head.data(), headBytes);
    if (got <= 0)
        return false;
    m_head.resize(got);
    m_head.squeeze();
    m_aheadFrom = m_head.size();
    m_decoderEnded = got < headBytes;
    m_rewound = true;
    return true;
}

qint64 MediaDevice::unitsToSample(qint64 units) const
{
    const qint64 sample = m_timeFormat == TimeFormat::Frames ? units * m_decoder.samplesPerFrame()
                                                             : units * m_decoder.sampleRate() / 1000;
    return std::min(sample, m_decoder.lengthSamples());
}

qint64 MediaDevice::sampleToUnits(qint64 sample) const
{
    if (m_timeFormat == TimeFormat::Frames)
        return sample / m_decoder.samplesPerFrame();
    return sample * 1000 / m_decoder.sampleRate();
}

qint64 MediaDevice::length() const
{
    const qint64 samples = m_decoder.lengthSamples();
    if (m_timeFormat == TimeFormat::Frames)
        return (samples + m_decoder.samplesPerFrame() - 1) / m_decoder.samplesPerFrame();
    return (samples * 1000 + m_decoder.sampleRate() / 2) / m_decoder.sampleRate();
}

qint64 MediaDevice::position() const
{
    qint64 byte = m_positionByte;
    if (m_output)
        byte = std::min(m_endByte, m_playStartByte + m_output->playedBytes());
    return sampleToUnits(byte / m_bytesPerSample);
}

int MediaDevice::play(std::optional<qint64> from, std::optional<qint64> to)
{
    const qint64 lengthUnits = length();
    const qint64 fromUnits = from.value_or(position());
    const qint64 toUnits = to.value_or(lengthUnits);
    if (fromUnits < 0 || fromUnits > lengthUnits || toUnits < fromUnits || toUnits > lengthUnits)
        return MediaError::OutOfRange;
    stop();

    QAudioFormat format;
    format.setSampleRate(m_decoder.sampleRate());
    format.setChannelCount(m_decoder.channels());
    format.setSampleFormat(QAudioFormat::Int16);
    // No output at all means no sound device: a silent clock keeps time instead. An output
    // that exists but will not start is a failed play, not a silent one.
    std::unique_ptr<AudioOutput> output = m_makeOutput ? m_makeOutput() : nullptr;
    if (!output)
        output = std::make_unique<SilentAudioOutput>();
    if (!output->start(format))
        return MediaError::OutputUnavailable;
    m_output = std::move(output);

    const qint64 startByte = unitsToSample(fromUnits) * m_bytesPerSample;
    m_endByte = unitsToSample(toUnits) * m_bytesPerSample;
    if (startByte >= m_head.size()) {
        m_rewound = false;
        m_ahead.clear();
        m_aheadPos = 0;
        m_aheadFrom = startByte;
        m_decoderEnded = !m_decoder.seekSample(startByte / m_bytesPerSample);
    }
    m_playStartByte = startByte;
    m_nextByte = startByte;
    m_positionByte = startByte;
    m_handed = false;
    m_drainClock.invalidate();
    m_pumpTimer.start();
    // The head is in memory: handing its first samples over is all "play" does right away.
    writeToOutput();
    if (m_handed)
        Q_EMIT firstSamplesHanded();
    return MediaError::Success;
}

void MediaDevice::stop()
{
    if (!m_output)
        return;
    m_positionByte = std::min(m_endByte, m_playStartByte + m_output->playedBytes());
    m_pumpTimer.stop();
    m_output.reset();
    rewindToHeadEnd();
}

void MediaDevice::release()
{
    stop();
    m_decoder.close();
    m_head = QByteArray();
    m_ahead = QByteArray();
}

void MediaDevice::finish()
{
    m_positionByte = m_endByte;
    m_pumpTimer.stop();
    m_output.reset();
    rewindToHeadEnd();
}

void MediaDevice::rewindToHeadEnd()
{
    // Ready for the next play from the start, and no decoded song kept while waiting.
    m_ahead.clear();
    m_aheadPos = 0;
    m_aheadFrom = m_head.size();
    if (m_rewound)
        return;
    m_decoderEnded = !m_decoder.seekSample(m_head.size() / m_bytesPerSample);
    m_rewound = true;
}

qint64 MediaDevice::writeToOutput()
{
    qint64 free = m_output->bytesFree();
    qint64 written = 0;
    while (free > 0 && m_nextByte < m_endByte) {
        const char *data = nullptr;
        qint64 count = 0;
        const bool fromHead = m_nextByte < m_head.size();
        if (fromHead) {
            data = m_head.constData() + m_nextByte;
            count = m_head.size() - m_nextByte;
        } else {
            if (aheadAvailable() == 0)
                decodeAhead(std::max<qint64>(free, 4096));
            if (aheadAvailable() == 0) {
                // The file ended early: truncated, or it vanished while playing.
                m_endByte = m_nextByte;
                break;
            }
            data = m_ahead.constData() + m_aheadPos;
            count = aheadAvailable();
        }
        count = std::min({count, free, m_endByte - m_nextByte});
        const qint64 taken = m_output->write(data, count);
        if (taken <= 0)
            break;
        m_nextByte += taken;
        if (!fromHead) {
            m_aheadPos += taken;
            m_aheadFrom += taken;
        }
        free -= taken;
        written += taken;
    }
    if (written > 0)
        m_handed = true;
    return written;
}

void MediaDevice::decodeAhead(qint64 maxBytes)
{
    if (m_decoderEnded || maxBytes <= 0)
        return;
    m_rewound = false;
    if (m_aheadPos > 0 && m_aheadPos >= m_ahead.size() / 2) {
        m_ahead.remove(0, m_aheadPos);
        m_aheadPos = 0;
    }
    const qsizetype oldSize = m_ahead.size();
    m_ahead.resize(oldSize + maxBytes);
    const qint64 got = m_decoder.read(m_ahead.data() + oldSize, maxBytes);
    m_ahead.resize(oldSize + std::max<qint64>(0, got));
    if (got <= 0)
        m_decoderEnded = true;
}

void MediaDevice::pump()
{
    if (!m_output)
        return;
    // A broken output takes nothing more: the device stops rather than play on for ever.
    if (m_output->failed()) {
        stop();
        return;
    }
    const bool handedBefore = m_handed;
    writeToOutput();
    // Keep about half a second decoded past what the output holds, a slice per tick so no
    // tick takes long.
    const qint64 bytesPerSecond = qint64(m_decoder.sampleRate()) * m_bytesPerSample;
    const qint64 wanted = bytesPerSecond / 2 - aheadAvailable();
    const qint64 stillToDecode = m_endByte - std::max<qint64>(m_nextByte, m_head.size()) - aheadAvailable();
    decodeAhead(std::min({wanted, bytesPerSecond / 8, stillToDecode}));
    if (m_nextByte >= m_endByte) {
        if (!m_drainClock.isValid())
            m_drainClock.start();
        // An output that never reports the end must not keep the device playing for ever.
        if (m_output->drained() || m_drainClock.hasExpired(kDrainCapMs)) {
            finish();
            return;
        }
    }
    if (!handedBefore && m_handed)
        Q_EMIT firstSamplesHanded();
}
