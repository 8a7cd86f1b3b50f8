#pragma once

#include "playback/AudioOutput.h"

#include <QByteArray>

#include <memory>

// An output for tests that keeps every song byte handed to it (not the silence between songs)
// and plays each one at once, a slice per call, so a whole song passes through in a few dozen
// pump ticks.
class RecordingAudioOutput : public AudioOutput {
public:
    explicit RecordingAudioOutput(std::shared_ptr<QByteArray> sink) : m_sink(std::move(sink)) {}

    bool start(const QAudioFormat &) override { return true; }
    qint64 bytesFree() override { return 32768; }
    qint64 write(const char *data, qint64 bytes) override
    {
        const qint64 taken = std::min(bytes, bytesFree());
        m_sink->append(data, taken);
        m_total += taken;
        return taken;
    }
    qint64 writeSilence(qint64 bytes) override
    {
        m_total += bytes;
        return bytes;
    }
    qint64 playedBytes() override { return m_total; }
    bool flush() override
    {
        m_total = 0;
        return true;
    }

private:
    std::shared_ptr<QByteArray> m_sink;
    qint64 m_total = 0;
};
