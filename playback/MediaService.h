#pragma once

#include "MediaCommandService.h"
#include "MediaDevice.h"
#include "OutputMixer.h"

#include <QHash>
#include <QObject>
#include <QStringList>

#include <map>
#include <memory>
#include <optional>
#include <set>

// Tunvero's own command-string media service: opens MP3 songs as devices under aliases
// (case-insensitive), plays, stops, measures and closes them, and answers error codes with a
// text for each. Lives on the GUI thread; an "open" takes a few milliseconds, every other
// command less than one.
//
// Sound goes to one output stream per sample format (rate and channels), made at the first
// open of a song in that format and kept flowing on silence, so a "play" never waits for an
// output to start. Devices playing at the same time are mixed.
//
// Commands: "open <path> [type MPEGVideo] [alias <a>] [parent <n>] [style <n>]",
// "play <a> [from <p>] [to <p>]", "stop <a>|all", "close <a>|all",
// "set <a> time format ms|milliseconds|frames", "status <a> length|position|mode|time format".
class MediaService : public QObject, public MediaCommandService {
    Q_OBJECT
public:
    // Plays through the default sound output (a silent clock when there is none).
    explicit MediaService(QObject *parent = nullptr);
    // Plays through the outputs makeOutput gives (tests, benchmark); nullptr means no sound
    // device, and a silent clock keeps time.
    explicit MediaService(AudioOutputFactory makeOutput, QObject *parent = nullptr);
    ~MediaService() override;

    int sendString(const QString &command, QString *answer) override;
    QString errorString(int code) const override;
    void startNextPlayAt(qint64 monotonicNs, Timeline timeline = {}) override
    {
        m_nextPlayAtNs = monotonicNs;
        m_nextTimeline = std::move(timeline);
    }
    // The longest of the running streams'.
    std::optional<qint64> outputLatencyNs() override;
    // 44.1 kHz stereo: what nearly every song is.
    void prepareOutput() override;

Q_SIGNALS:
    // Reports for an event log; monotonicNs is MonotonicClock::nowNs() (CLOCK_MONOTONIC) at the
    // moment it happened. Cheap when nobody listens.
    // A device opened under alias.
    void deviceOpened(const QString &alias, const QString &path, qint64 monotonicNs);
    // A play's first samples have been handed to the output stream (the benchmark times this).
    void firstSamplesHanded(const QString &alias, qint64 monotonicNs);
    // A play was placed to be heard first at startAtNs; lateNs of its start are skipped
    // because that moment had already passed when it came.
    void playScheduled(const QString &alias, qint64 startAtNs, qint64 lateNs);
    // The output reports that a scheduled play's first sample was heard at heardNs.
    // `firstSample`: which sample of the song that was, 0 unless its beginning came too late.
    void firstSampleHeard(const QString &alias, qint64 startAtNs, qint64 heardNs, qint64 firstSample);
    // A playing device stopped: by command, at its end, by close, or its output broke down.
    void deviceStopped(const QString &alias, qint64 monotonicNs);
    // The device just opened under alias plays on a silent clock: no sound output was found.
    void noSoundOutput(const QString &alias);

private:
    int open(const QString &arguments);
    int play(MediaDevice *device, const QStringList &words, std::optional<qint64> startAtNs, Timeline timeline);
    int set(MediaDevice *device, const QStringList &words);
    int status(MediaDevice *device, const QStringList &words, QString *answer);
    int close(const QString &alias);
    MediaDevice *device(const QString &alias) const;
    OutputMixer *mixerFor(int sampleRate, int channels);

    AudioOutputFactory m_makeOutput;
    QHash<QString, MediaDevice *> m_devices;      // by case-folded alias; children of this object
    std::set<std::pair<int, int>> m_silentMixers; // those whose stream found no sound output
    std::map<std::pair<int, int>, std::unique_ptr<OutputMixer>> m_mixers; // by rate and channels
    std::optional<qint64> m_nextPlayAtNs;
    Timeline m_nextTimeline;
};
