#pragma once

#include "AudioOutput.h"

#include <QElapsedTimer>

// An output without a sound card: takes samples at the pace a sound card would, so a device
// keeps time (position, end of song) on a machine without audio.
class SilentAudioOutput : public AudioOutput {
public:
    bool start(const QAudioFormat &format) override;
    qint64 bytesFree() override;
    qint64 write(const char *data, qint64 bytes) override;
    qint64 playedBytes() override;
    bool flush() override;

private:
    void advance();

    QElapsedTimer m_clock;
    qint64 m_originNs = 0;
    qint64 m_bytesPerSecond = 0;
    qint64 m_capacity = 0;
    qint64 m_written = 0;
    qint64 m_played = 0;
};
