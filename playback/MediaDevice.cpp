#include "MediaDevice.h"

#include "FrameTime.h"
#include "MediaError.h"

#include <algorithm>
#include <limits>

namespace {

// Far longer than any output buffers.
constexpr int kDrainCapMs = 3000;
// Decoding ahead per tick stops after this long, so a message waiting behind it is handled
// within a millisecond.
constexpr qint64 kDecodeBudgetNs = 500000;
// A play whose moment has long passed starts this far ahead of now: time for the seek and the
// first decoding, and past the silence the idle stream holds, so no rewind is needed.
constexpr qint64 kJumpLeadNs = 50 * 1000000;

} // namespace

MediaDevice::MediaDevice(QObject *parent) : QObject(parent)
{
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
    m_decoderEnded = got < headBytes;
    m_rewound = true;
    m_decoder.idle();
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

qint64 MediaDevice::playedSongBytes() const
{
    // The stream plays silence before this play's first byte and after its last.
    const qint64 played = m_mixer->playedBytes() - m_streamStart;
    return std::clamp<qint64>(played, 0, m_nextByte - m_playStartByte);
}

qint64 MediaDevice::position() const
{
    const qint64 byte = m_playing ? std::min(m_endByte, m_playStartByte + playedSongBytes()) : m_positionByte;
    return sampleToUnits(byte / m_bytesPerSample);
}

int MediaDevice::play(std::optional<qint64> from, std::optional<qint64> to, std::optional<qint64> startAtNs,
                      PlayTimeline timeline)
{
    const qint64 lengthUnits = length();
    const qint64 fromUnits = from.value_or(position());
    const qint64 toUnits = to.value_or(lengthUnits);
    if (fromUnits < 0 || fromUnits > lengthUnits || toUnits < fromUnits || toUnits > lengthUnits)
        return MediaError::OutOfRange;
    stop();
    if (!m_mixer || !m_mixer->ensureStarted())
        return MediaError::OutputUnavailable;

    qint64 startByte = unitsToSample(fromUnits) * m_bytesPerSample;
    m_endByte = unitsToSample(toUnits) * m_bytesPerSample;
    // Long past (a song joined while the others play it): the decoder seeks straight to the
    // sample due a little ahead, rather than the stream decoding and dropping all that passed.
    std::optional<qint64> placeAtNs = startAtNs;
    m_jumpedFrames = 0;
    const std::optional<qint64> streamNowNs = startAtNs ? m_mixer->nowNs() : std::nullopt;
    if (streamNowNs && *startAtNs < *streamNowNs + kJumpLeadNs) {
        const qint64 aimNs = *streamNowNs + kJumpLeadNs;
        const auto momentOf = [&](qint64 songNs) { return timeline ? timeline(songNs) : *startAtNs + songNs; };
        // The timeline runs at nearly the song's own pace: two steps find its point due at aimNs.
        qint64 dueNs = aimNs - *startAtNs;
        for (int i = 0; i < 2; ++i)
            dueNs -= momentOf(dueNs) - aimNs;
        const qint64 frames = std::min(std::max<qint64>(0, frameTime::framesIn(dueNs, sampleRate()) + 1),
                                       (m_endByte - startByte) / m_bytesPerSample);
        if (startByte + frames * m_bytesPerSample > m_head.size()) {
            m_jumpedFrames = frames;
            startByte += frames * m_bytesPerSample;
            const qint64 jumpedNs = frameTime::nsOf(frames, sampleRate());
            placeAtNs = momentOf(jumpedNs);
            if (timeline)
                timeline = [whole = std::move(timeline), jumpedNs](qint64 songNs) { return whole(jumpedNs + songNs); };
        }
    }
    if (startByte >= m_head.size()) {
        m_rewound = false;
        m_ahead.clear();
        m_aheadPos = 0;
        m_decoderEnded = !m_decoder.seekSample(startByte / m_bytesPerSample);
    }
    m_playStartByte = startByte;
    m_nextByte = startByte;
    m_positionByte = startByte;
    m_handed = false;
    m_handedReported = false;
    m_drainClock.invalidate();
    m_playing = true;
    // Until the mixer has placed it, nothing of it counts as played.
    m_streamStart = std::numeric_limits<qint64>::max() / 2;
    m_startAtNs = startAtNs;
    m_scheduledNs.reset();
    m_skippedFrames = 0;
    m_mixer->add(this, placeAtNs, std::move(timeline));
    // The head is in memory: a play that starts at once has its first samples handed over
    // before this returns.
    m_mixer->pump();
    return MediaError::Success;
}

void MediaDevice::placed(const OutputMixerPlacement &placement)
{
    m_streamStart = placement.streamByte;
    m_skippedFrames = placement.skippedFrames;
    if (placement.scheduled) {
        m_scheduledNs = m_startAtNs;
        Q_EMIT scheduled(*m_startAtNs, frameTime::nsOf(m_jumpedFrames + m_skippedFrames, sampleRate()));
    }
}

void MediaDevice::stop()
{
    if (!m_playing)
        return;
    m_positionByte = std::min(m_endByte, m_playStartByte + playedSongBytes());
    finish(true);
}

void MediaDevice::release()
{
    stop();
    m_decoder.close();
    m_head = QByteArray();
    m_ahead = QByteArray();
}

void MediaDevice::finish(bool early)
{
    m_playing = false;
    m_scheduledNs.reset();
    m_mixer->remove(this, early);
    rewindToHeadEnd();
    Q_EMIT stopped();
}

void MediaDevice::rewindToHeadEnd()
{
    // Ready for the next play from the start, and no decoded song kept while waiting.
    m_ahead = QByteArray();
    m_aheadPos = 0;
    if (!m_rewound) {
        m_decoderEnded = !m_decoder.seekSample(m_head.size() / m_bytesPerSample);
        m_rewound = true;
    }
    m_decoder.idle();
}

qint64 MediaDevice::fill(char *data, qint64 bytes)
{
    qint64 written = 0;
    while (written < bytes && m_nextByte < m_endByte) {
        const char *from = nullptr;
        qint64 count = 0;
        const bool fromHead = m_nextByte < m_head.size();
        if (fromHead) {
            from = m_head.constData() + m_nextByte;
            count = m_head.size() - m_nextByte;
        } else {
            // Normally decoded ahead already; when not, as much as the stream takes now.
            if (aheadAvailable() == 0)
                decodeAhead(std::max<qint64>(bytes - written, 4096), -1);
            if (aheadAvailable() == 0) {
                // The file ended early: truncated, or it vanished while playing.
                m_endByte = m_nextByte;
                break;
            }
            from = m_ahead.constData() + m_aheadPos;
            count = aheadAvailable();
        }
        count = std::min({count, bytes - written, m_endByte - m_nextByte});
        std::copy_n(from, count, data + written);
        m_nextByte += count;
        if (!fromHead)
            m_aheadPos += count;
        written += count;
    }
    if (written > 0)
        m_handed = true;
    return written;
}

void MediaDevice::decodeAhead(qint64 maxBytes, qint64 budgetNs)
{
    if (m_decoderEnded || maxBytes <= 0)
        return;
    m_rewound = false;
    if (m_aheadPos > 0 && m_aheadPos >= m_ahead.size() / 2) {
        m_ahead.remove(0, m_aheadPos);
        m_aheadPos = 0;
    }
    // A frame's samples at a time, so that the budget is checked often.
    const qint64 slice = qint64(m_decoder.samplesPerFrame()) * m_bytesPerSample;
    QElapsedTimer clock;
    clock.start();
    qint64 done = 0;
    while (done < maxBytes && (budgetNs < 0 || clock.nsecsElapsed() < budgetNs)) {
        const qint64 want = std::min(slice, maxBytes - done);
        const qsizetype oldSize = m_ahead.size();
        m_ahead.resize(oldSize + want);
        const qint64 got = m_decoder.read(m_ahead.data() + oldSize, want);
        m_ahead.resize(oldSize + std::max<qint64>(0, got));
        if (got <= 0) {
            m_decoderEnded = true;
            return;
        }
        done += got;
    }
}

void MediaDevice::tick()
{
    if (!m_playing)
        return;
    if (m_handed && !m_handedReported) {
        m_handedReported = true;
        Q_EMIT firstSamplesHanded();
        if (!m_playing)
            return;
    }
    if (m_scheduledNs) {
        // A late play's first heard sample is not its first: its beginning was skipped.
        const qint64 firstHeardByte = m_streamStart + m_skippedFrames * m_bytesPerSample;
        if (const std::optional<qint64> heardNs = m_mixer->heardAtNs(firstHeardByte)) {
            Q_EMIT firstSampleHeard(*std::exchange(m_scheduledNs, std::nullopt), *heardNs,
                                    m_jumpedFrames + m_skippedFrames);
            if (!m_playing)
                return;
        }
    }
    // Keep about half a second decoded past what the stream holds.
    const qint64 bytesPerSecond = qint64(m_decoder.sampleRate()) * m_bytesPerSample;
    const qint64 wanted = bytesPerSecond / 2 - aheadAvailable();
    const qint64 stillToDecode = m_endByte - std::max<qint64>(m_nextByte, m_head.size()) - aheadAvailable();
    decodeAhead(std::min(wanted, stillToDecode), kDecodeBudgetNs);
    if (m_nextByte < m_endByte)
        return;
    if (!m_drainClock.isValid())
        m_drainClock.start();
    // A stream that never reports the end must not keep the device playing for ever.
    if (m_mixer->playedBytes() >= m_streamStart + (m_endByte - m_playStartByte) ||
        m_drainClock.hasExpired(kDrainCapMs)) {
        m_positionByte = m_endByte;
        finish(false);
    }
}
