#pragma once

#include "AudioOutput.h"
#include "Mp3Decoder.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

// One open song of the media service. It keeps its first second decoded and no output at all
// while it waits, so "play" only has to start an output and hand it samples already in memory;
// the rest is decoded a little ahead of the output while it plays.
//
// Time formats: milliseconds, or frames, where one frame is one MPEG audio frame of the file
// (1152 samples; 576 for MPEG-2/2.5 Layer III; 384 for Layer I), counted over the gapless
// length (rounded up for the length, down for positions).
class MediaDevice : public QObject {
    Q_OBJECT
public:
    enum class TimeFormat { Frames, Milliseconds };

    // Each play goes to a new output from makeOutput, or to a silent clock when makeOutput
    // gives none (no sound device).
    explicit MediaDevice(AudioOutputFactory makeOutput, QObject *parent = nullptr);
    ~MediaDevice() override;

    // Measures the song and decodes its first second. False when it holds no playable audio.
    bool open(const QString &path);

    void setTimeFormat(TimeFormat format) { m_timeFormat = format; }
    TimeFormat timeFormat() const { return m_timeFormat; }
    qint64 length() const;
    qint64 position() const;
    bool isPlaying() const { return m_output != nullptr; }

    // Plays [from, to) in the current time format; an absent from is the current position, an
    // absent to the end. Returns a MediaError code.
    int play(std::optional<qint64> from, std::optional<qint64> to);
    void stop();
    // Stops and lets go of the file and the decoded samples; the device is closed for good.
    void release();

Q_SIGNALS:
    // The first samples of a play have been handed to the output.
    void firstSamplesHanded();

private:
    void pump();
    qint64 writeToOutput();
    void decodeAhead(qint64 maxBytes);
    void finish();
    void rewindToHeadEnd();
    qint64 unitsToSample(qint64 units) const;
    qint64 sampleToUnits(qint64 sample) const;
    qint64 aheadAvailable() const { return m_ahead.size() - m_aheadPos; }

    AudioOutputFactory m_makeOutput;
    Mp3Decoder m_decoder;
    TimeFormat m_timeFormat = TimeFormat::Frames;
    int m_bytesPerSample = 4;

    QByteArray m_head;           // the first second, kept for every play from the start
    QByteArray m_ahead;          // decoded past the head while playing; freed on stop
    qsizetype m_aheadPos = 0;    // first byte of m_ahead not yet handed to the output
    qint64 m_aheadFrom = 0;      // song byte of m_ahead[m_aheadPos]
    bool m_decoderEnded = false; // the file gave no more samples (end, or it vanished)
    bool m_rewound = true;       // decoder sits at the head's end with nothing decoded ahead

    std::unique_ptr<AudioOutput> m_output; // only while playing
    QTimer m_pumpTimer;
    qint64 m_playStartByte = 0;
    qint64 m_nextByte = 0; // next song byte to hand to the output
    qint64 m_endByte = 0;
    qint64 m_positionByte = 0; // where a stopped device stands
    bool m_handed = false;
    QElapsedTimer m_drainClock; // runs once everything is handed over
};
