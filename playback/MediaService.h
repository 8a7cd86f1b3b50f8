#pragma once

#include "MediaCommandService.h"
#include "MediaDevice.h"

#include <QHash>
#include <QObject>
#include <QStringList>

// Tunvero's own command-string media service: opens MP3 songs as devices under aliases
// (case-insensitive), plays, stops, measures and closes them, and answers error codes with a
// text for each. Lives on the GUI thread; nothing here blocks for longer than a song's opening.
//
// Commands: "open <path> [type MPEGVideo] [alias <a>] [parent <n>] [style <n>]",
// "play <a> [from <p>] [to <p>]", "stop <a>|all", "close <a>|all",
// "set <a> time format ms|milliseconds|frames", "status <a> length|position|mode|time format".
class MediaService : public QObject, public MediaCommandService
{
    Q_OBJECT
public:
    // Plays through the default sound output (a silent clock when there is none).
    explicit MediaService(QObject *parent = nullptr);
    // Plays through the outputs makeOutput gives (tests, benchmark).
    explicit MediaService(AudioOutputFactory makeOutput, QObject *parent = nullptr);
    ~MediaService() override;

    int sendString(const QString &command, QString *answer) override;
    QString errorString(int code) const override;

Q_SIGNALS:
    // A play command's first samples have reached the output (the benchmark times this).
    void firstSamplesHanded(const QString &alias);

private:
    int open(const QString &arguments);
    int play(MediaDevice *device, const QStringList &words);
    int set(MediaDevice *device, const QStringList &words);
    int status(MediaDevice *device, const QStringList &words, QString *answer);
    int close(const QString &alias);
    MediaDevice *device(const QString &alias) const;

    AudioOutputFactory m_makeOutput;
    QHash<QString, MediaDevice *> m_devices; // by case-folded alias; children of this object
};
