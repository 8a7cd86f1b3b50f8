#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

// The command-string media service the media procedures talk to: a command text in, an error
// code out (0 = success) and, for queries, an answer text. Tests plug a recording stand-in in here.
class MediaCommandService {
public:
    virtual ~MediaCommandService() = default;
    // answer may be null when the command asks nothing.
    virtual int sendString(const QString &command, QString *answer) = 0;
    virtual QString errorString(int code) const = 0;
    // When each point of a playing song is to be heard: the monotonic moment for the point
    // `songNs` after its first sample.
    using Timeline = std::function<qint64(qint64 songNs)>;

    // The next "play" command's first sample is to be heard at this monotonic moment
    // (MonotonicClock) rather than at once, where the sound output can tell when that is;
    // the song is then held to `timeline` (by default the moment plus the song's own time).
    virtual void startNextPlayAt(qint64 monotonicNs, Timeline timeline = {})
    {
        Q_UNUSED(monotonicNs);
        Q_UNUSED(timeline);
    }
    // How long the sound output holds a sample before it is heard; nothing when it cannot tell.
    virtual std::optional<qint64> outputLatencyNs() { return std::nullopt; }
    // Starts the output stream of the usual song format now, so that it runs (and its clock
    // with it) before a song must be placed on it.
    virtual void prepareOutput() {}
};
