#include "SilentAudioOutput.h"

#include <QAudioFormat>

#include <algorithm>

bool SilentAudioOutput::start(const QAudioFormat &format)
{
    m_bytesPerSecond = qint64(format.bytesForDuration(1000000));
    if (m_bytesPerSecond <= 0)
        return false;
    // About what a sound server buffers, so both outputs take samples at a similar rhythm.
    m_capacity = m_bytesPerSecond / 8;
    m_clock.start();
    m_originNs = 0;
    return true;
}

void SilentAudioOutput::advance()
{
    const qint64 now = m_clock.nsecsElapsed();
    const qint64 due = (now - m_originNs) * m_bytesPerSecond / 1000000000;
    if (due <= m_written) {
        m_played = due;
        return;
    }
    // Ran dry: an empty buffer does not bank time, the clock goes on from the last byte.
    m_played = m_written;
    m_originNs = now - m_written * 1000000000 / m_bytesPerSecond;
}

qint64 SilentAudioOutput::bytesFree()
{
    advance();
    return std::max<qint64>(0, m_capacity - (m_written - m_played));
}

qint64 SilentAudioOutput::write(const char *, qint64 bytes)
{
    const qint64 taken = std::min(bytes, bytesFree());
    m_written += taken;
    return taken;
}

qint64 SilentAudioOutput::playedBytes()
{
    advance();
    return m_played;
}

bool SilentAudioOutput::flush()
{
    m_clock.start();
    m_originNs = 0;
    m_written = 0;
    m_played = 0;
    return true;
}
