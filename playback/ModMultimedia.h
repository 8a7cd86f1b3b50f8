#pragma once

#include "platform/MediaShortPath.h"

#include <QString>
#include <QtGlobal>

#include <functional>

class MediaCommandService;

// The media procedures: each builds its command text, sends it to the media service and turns
// the error code into "Success" or the service's error text. Keeps no state of its own.
class ModMultimedia {
public:
    using ShortPathOf = std::function<MediaShortPath::Result(const QString &)>;

    // shortPath gives the short form of a song's path for "open"; by default the platform's
    // media short path.
    explicit ModMultimedia(MediaCommandService &service, ShortPathOf shortPath = {});

    QString MediaOpen(qint32 parent, const QString &alias, const QString &path, const QString &type);
    QString MediaPlay(const QString &alias, const QString &from, const QString &to);
    // The next MediaPlay's first sample is to be heard at this monotonic moment (MonotonicClock),
    // and the song held to `timeline` while it plays (see MediaCommandService).
    void startNextPlayAt(qint64 monotonicNs, std::function<qint64(qint64 songNs)> timeline = {});
    // How long the sound output holds a sample before it is heard, in whole ms; 0 when unknown.
    int outputLatencyMs();
    // The output stream of the usual song format starts now (see MediaCommandService).
    void prepareOutput();
    QString MediaStop(const QString &alias);
    QString MediaClose(const QString &alias);
    QString MediaCloseAll();
    qint32 MediaLengthFrames(const QString &alias);
    qint32 MediaLengthMs(const QString &alias);

private:
    QString answerFor(int code) const;
    qint32 queryLength(const QString &alias, int *code);

    MediaCommandService &m_service;
    ShortPathOf m_shortPath;
};
