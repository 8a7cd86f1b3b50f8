#pragma once

#include "Mp3Decoder.h"
#include "OutputMixer.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>

#include <optional>

// One open song of the media service. It keeps its first second decoded while it waits, so
// "play" only has to hand samples already in memory to the stream that already flows; the
// rest is decoded a little ahead, in short slices, while it plays.
//
// Time formats: milliseconds, or frames, where one frame is one MPEG audio frame of the file
// (1152 samples; 576 for MPEG-2/2.5 Layer III; 384 for Layer I), counted over the gapless
// length (rounded up for the length, down for positions).
class MediaDevice : public QObject, private OutputMixer::Source {
    Q_OBJECT
public:
    enum class TimeFormat { Frames, Milliseconds };

    explicit MediaDevice(QObject *parent = nullptr);
    ~MediaDevice() override;

    // Measures the song and decodes its first second. False when it holds no playable audio.
    bool open(const QString &path);
    // The stream of the song's format; set once after open, before any play.
    void setMixer(OutputMixer *mixer) { m_mixer = mixer; }

    int sampleRate() const { return m_decoder.sampleRate(); }
    int channels() const { return m_decoder.channels(); }
    void setTimeFormat(TimeFormat format) { m_timeFormat = format; }
    TimeFormat timeFormat() const { return m_timeFormat; }
    qint64 length() const;
    qint64 position() const;
    bool isPlaying() const { return m_playing; }

    // Plays [from, to) in the current time format; an absent from is the current position, an
    // absent to the end. With `startAtNs` (MonotonicClock), its first sample is heard at that
    // moment where the output can tell, else it starts at once; a moment long past starts at
    // the sample due shortly after the call, sought to directly. Returns a MediaError code.
    // `timeline` holds the playing song to its pace from then on (see OutputMixer::add).
    int play(std::optional<qint64> from, std::optional<qint64> to, std::optional<qint64> startAtNs = std::nullopt,
             PlayTimeline timeline = {});
    void stop();
    // Stops and lets go of the file and the decoded samples; the device is closed for good.
    void release();

Q_SIGNALS:
    // The first samples of a play have been handed to the output.
    void firstSamplesHanded();
    // A play was placed on its moment; lateNs of it are skipped because that moment had passed.
    void scheduled(qint64 startAtNs, qint64 lateNs);
    // The output reports a scheduled play's first sample heard at heardNs: its sample
    // `firstSample` (0 unless the play came too late for its beginning).
    void firstSampleHeard(qint64 startAtNs, qint64 heardNs, qint64 firstSample);
    // A play ended: stopped, played to its end, or its output broke down.
    void stopped();

private:
    qint64 fill(char *data, qint64 bytes) override;
    void tick() override;
    void outputFailed() override { stop(); }
    void placed(const OutputMixerPlacement &placement) override;
    void moved(qint64 streamByte) override { m_streamStart = streamByte; }

    qint64 playedSongBytes() const;
    void decodeAhead(qint64 maxBytes, qint64 budgetNs);
    void finish(bool early);
    void rewindToHeadEnd();
    qint64 unitsToSample(qint64 units) const;
    qint64 sampleToUnits(qint64 sample) const;
    qint64 aheadAvailable() const { return m_ahead.size() - m_aheadPos; }

    Mp3Decoder m_decoder;
    OutputMixer *m_mixer = nullptr;
    TimeFormat m_timeFormat = TimeFormat::Frames;
    int m_bytesPerSample = 4;

    QByteArray m_head;           // the first second, kept for every play from the start
    QByteArray m_ahead;          // decoded past the head while playing; freed on stop
    qsizetype m_aheadPos = 0;    // first byte of m_ahead not yet handed to the output
    bool m_decoderEnded = false; // the file gave no more samples (end, or it vanished)
    bool m_rewound = true;       // decoder sits at the head's end with nothing decoded ahead

    bool m_playing = false;
    qint64 m_streamStart = 0;   // stream byte of the play's first byte
    qint64 m_skippedFrames = 0; // of a late play, the frames skipped before the first heard
    qint64 m_jumpedFrames = 0;  // of a long-late play, the frames sought past before that
    qint64 m_playStartByte = 0;
    qint64 m_nextByte = 0; // next song byte to hand to the output
    qint64 m_endByte = 0;
    qint64 m_positionByte = 0; // where a stopped device stands
    bool m_handed = false;
    bool m_handedReported = false;
    std::optional<qint64> m_startAtNs;   // the moment the play asked for
    std::optional<qint64> m_scheduledNs; // a scheduled play whose first sample is not yet heard
    QElapsedTimer m_drainClock;          // runs once everything is handed over
};
