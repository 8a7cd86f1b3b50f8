#pragma once

#include "AudioOutput.h"

#include <QAudioFormat>

#include <memory>

class QAudioSink;
class QIODevice;

// The default sound output through Qt Multimedia: one stream, kept open for many songs.
class SinkAudioOutput : public AudioOutput {
public:
    SinkAudioOutput();
    ~SinkAudioOutput() override;

    bool start(const QAudioFormat &format) override;
    qint64 bytesFree() override;
    qint64 write(const char *data, qint64 bytes) override;
    qint64 playedBytes() override;
    bool flush() override;
    bool failed() override;

private:
    std::unique_ptr<QAudioSink> m_sink;
    QIODevice *m_io = nullptr; // owned by m_sink
    QAudioFormat m_format;
    qint64 m_written = 0;
};
