#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class Dialogs;
class ModMultimedia;

// The client's side of a run: a new song list closes every song first, "PlayMusic" starts
// the announced song from its beginning, "StopAllMusic" silences every song at once.
//
// A song is heard a fixed delay after its "PlayMusic" arrived, on every client alike: the
// clients' sound outputs hold different amounts ahead of what is heard and their event loops
// are busy for different times, and the delay covers both with room to spare.
class ClientPlayback : public QObject {
    Q_OBJECT
public:
    static constexpr int lastSlot = 200;
    // From a "PlayMusic"'s arrival to its song's first sample heard. More than a sound
    // output's buffer (80 ms) plus a loaded machine's late handling; short enough that a
    // listener pressing play notices no wait.
    static constexpr int startDelayMs = 150;

    // `endProgram` ends the program at once; run when the songs cannot be closed.
    ClientPlayback(ModMultimedia &media, Dialogs &dialogs, std::function<void()> endProgram, QObject *parent = nullptr);

    void setMusic(const QByteArray &data);
    // `arrivalNs`: when the message arrived (MonotonicClock); 0 when unknown, then now.
    void playMusic(const QByteArray &data, qint64 arrivalNs = 0);
    void stopAllMusic();

    // The server paths of the run's songs, slot by slot, up to the first empty one.
    const QList<QByteArray> &songs() const { return Songs; }

    static QString deviceAlias(int slot);

Q_SIGNALS:
    // Every song is closed: the song list goes on to the file reception.
    void songListArrived(const QByteArray &data);
    // The server path of the song announced last, for the "now playing" label.
    void playingChanged(const QString &serverPath);

private:
    void stopEverySong();

    ModMultimedia &m_media;
    Dialogs &m_dialogs;
    std::function<void()> m_endProgram;
    QList<QByteArray> Songs;
};
