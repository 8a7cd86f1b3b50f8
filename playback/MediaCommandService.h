#pragma once

#include <QString>
#include <QtGlobal>

// The command-string media service the media procedures talk to: a command text in, an error
// code out (0 = success) and, for queries, an answer text. Tests plug a recording stand-in in here.
class MediaCommandService {
public:
    virtual ~MediaCommandService() = default;
    // answer may be null when the command asks nothing.
    virtual int sendString(const QString &command, QString *answer) = 0;
    virtual QString errorString(int code) const = 0;
    // The next "play" command's first sample is to be heard at this monotonic moment
    // (MonotonicClock) rather than at once, where the sound output can tell when that is.
    virtual void startNextPlayAt(qint64 monotonicNs) { Q_UNUSED(monotonicNs); }
};
