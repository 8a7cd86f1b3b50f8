#pragma once

#include "BlockFileReader.h"

#include <QString>
#include <QtGlobal>

#include <memory>

struct mpg123_handle_struct;

// One MP3 file decoded with libmpg123 into signed 16-bit samples at the file's own rate and
// channel count, with its exact (gapless) length and sample-exact seeking.
class Mp3Decoder {
public:
    Mp3Decoder();
    ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder &) = delete;
    Mp3Decoder &operator=(const Mp3Decoder &) = delete;

    // Opens the file and measures it (every frame header is read once, so the length is exact
    // and the seek index complete). False when the file holds no playable audio.
    bool open(const QString &path);
    void close();
    // Frees the read buffer until the next read or seek: an open song that waits holds little.
    void idle() { m_reader.dropBlock(); }

    int sampleRate() const { return m_rate; }
    int channels() const { return m_channels; }
    int bytesPerSample() const { return 2 * m_channels; }
    // Samples (per channel) the whole file decodes to, encoder delay and padding removed.
    qint64 lengthSamples() const { return m_lengthSamples; }
    // Samples one MPEG audio frame carries: 1152, or 576 for MPEG-2/2.5 Layer III, 384 Layer I.
    int samplesPerFrame() const { return m_samplesPerFrame; }

    // Decodes up to maxBytes (whole samples) into data; 0 at the end of the song (its length),
    // or when the file can no longer be read.
    qint64 read(char *data, qint64 maxBytes);
    // The next read starts at this sample (0 to the length). False, and nothing more to read,
    // when the file cannot be positioned exactly there.
    bool seekSample(qint64 sample);
    // Where the next read starts; never past the length.
    qint64 tellSample() const { return m_position; }

private:
    struct HandleDeleter {
        void operator()(mpg123_handle_struct *handle) const;
    };
    BlockFileReader m_reader; // outlives m_handle, which reads through it
    std::unique_ptr<mpg123_handle_struct, HandleDeleter> m_handle;
    int m_rate = 0;
    int m_channels = 0;
    qint64 m_lengthSamples = 0;
    int m_samplesPerFrame = 1152;
    // A VBRI info frame at the start is no audio: positions count from the frame after it.
    qint64 m_skipSamples = 0;
    // Counted here rather than asked of the library, which in a damaged file may decode past
    // the length it reported.
    qint64 m_position = 0;
    bool m_ended = false;
};
