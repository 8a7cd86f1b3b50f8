#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

class Dialogs;
class ModMultimedia;
class RunClock;

// The client's side of a run: a new song list closes every song first, "PlayMusic" starts
// the announced song from its beginning, "StopAllMusic" silences every song at once.
//
// A song is heard a fixed delay after its "PlayMusic" arrived, on every client alike: the
// clients' sound outputs hold different amounts ahead of what is heard and their event loops
// are busy for different times, and the delay covers both with room to spare. A server that
// keeps the run's clock names the moment on its own clock instead, so the network's delay
// drops out, and the song is held to that clock while it plays. A moment that has passed (a
// client that joins a run while a song plays) starts the song where the others are, once the
// estimate of that clock is ready and the song is open.
class ClientPlayback : public QObject {
    Q_OBJECT
public:
    static constexpr int lastSlot = 200;
    // From a "PlayMusic"'s arrival to its song's first sample heard. More than a sound
    // output's buffer (80 ms) plus a loaded machine's late handling; short enough that a
    // listener pressing play notices no wait.
    static constexpr int startDelayMs = 150;
    // How often a song waiting to be joined looks whether it can start.
    static constexpr int joinPollMs = 20;

    // `endProgram` ends the program at once; run when the songs cannot be closed.
    ClientPlayback(ModMultimedia &media, Dialogs &dialogs, std::function<void()> endProgram, QObject *parent = nullptr);

    // The estimate of the server's clock, once the server keeps one; it outlives this object.
    void setRunClock(const RunClock *clock) { m_runClock = clock; }

    void setMusic(const QByteArray &data);
    // `arrivalNs`: when the message arrived (MonotonicClock); 0 when unknown, then now.
    void playMusic(const QByteArray &data, qint64 arrivalNs = 0);
    // Song `slot` is to be heard first at `serverAtNs` on the server's clock; while that clock
    // is not known yet, `delayMs` after `arrivalNs`. When that moment has passed, the song waits
    // until the clock is ready and the song open, and then starts at its sample due then; it is
    // given up at its end, at the next message of the run, or with the connection.
    void playMusicAt(int slot, qint64 serverAtNs, int delayMs, qint64 arrivalNs);
    void stopAllMusic();
    // A new connection: a song still waiting to be joined belonged to the old one.
    void connectionStarted() { m_join.reset(); }

    // The server paths of the run's songs, slot by slot, up to the first empty one.
    const QList<QByteArray> &songs() const { return Songs; }

    static QString deviceAlias(int slot);

Q_SIGNALS:
    // Every song is closed: the song list goes on to the file reception.
    void songListArrived(const QByteArray &data);
    // The server path of the song announced last, for the "now playing" label.
    void playingChanged(const QString &serverPath);

private:
    struct Join {
        int slot = 0;
        qint64 serverAtNs = 0;
    };

    void stopEverySong();
    void start(int slot, qint64 localAtNs, std::function<qint64(qint64)> timeline);
    // The song is now the run's song: the others stop, the label names it.
    void announce(int slot);
    void play(int slot, qint64 localAtNs, std::function<qint64(qint64)> timeline);
    void tryJoin();
    // Each point of a song that starts at `serverAtNs` on the server's clock, on ours.
    std::function<qint64(qint64)> timelineOf(qint64 serverAtNs, qint64 startLocalNs) const;

    ModMultimedia &m_media;
    Dialogs &m_dialogs;
    std::function<void()> m_endProgram;
    QList<QByteArray> Songs;
    const RunClock *m_runClock = nullptr;
    std::optional<Join> m_join; // a song whose moment passed, waiting to be joined
    QTimer m_joinTimer;
};
