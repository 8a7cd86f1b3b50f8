#include "SinkAudioOutput.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>

#include <algorithm>

SinkAudioOutput::SinkAudioOutput() = default;

SinkAudioOutput::~SinkAudioOutput()
{
    if (m_sink)
        m_sink->stop();
}

bool SinkAudioOutput::start(const QAudioFormat &format)
{
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return false;
    m_format = format;
    m_sink = std::make_unique<QAudioSink>(device, format);
    // The server's own buffer size (~150 ms): in Qt 6.4 a size set by hand stalls push mode.
    m_io = m_sink->start();
    if (!m_io || m_sink->error() != QAudio::NoError) {
        m_sink.reset();
        m_io = nullptr;
        return false;
    }
    return true;
}

qint64 SinkAudioOutput::bytesFree()
{
    if (failed())
        return 0;
    return m_sink->bytesFree();
}

qint64 SinkAudioOutput::write(const char *data, qint64 bytes)
{
    if (!m_io)
        return 0;
    const qint64 taken = m_io->write(data, bytes);
    if (taken > 0)
        m_written += taken;
    return std::max<qint64>(0, taken);
}

qint64 SinkAudioOutput::playedBytes()
{
    if (!m_sink)
        return m_written;
    return std::min(m_written, qint64(m_format.bytesForDuration(m_sink->processedUSecs())));
}

bool SinkAudioOutput::flush()
{
    if (!m_sink)
        return false;
    // Dropping the buffer stops the sink; starting it again keeps the sound server's stream,
    // which takes a millisecond or two where a new sink takes tens.
    m_sink->reset();
    m_io = m_sink->start();
    m_written = 0;
    if (!m_io)
        m_sink.reset();
    return true;
}

bool SinkAudioOutput::failed()
{
    // An underrun only means the buffer ran dry for a moment (a busy event loop); the sink
    // takes samples again at the next write.
    return !m_sink || (m_sink->error() != QAudio::NoError && m_sink->error() != QAudio::UnderrunError);
}
