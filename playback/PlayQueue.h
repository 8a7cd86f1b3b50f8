#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

#include <array>
#include <functional>

class Dialogs;
class ModMultimedia;
class PlayListTicks;
class QTimer;

// The server's play queue during a run: measures its songs on its own copies, announces each
// with "PlayMusic", decides by a monotonic clock when a song is over, and starts again from
// the top after the last. Also keeps the play list's ticks, which belong to the program.
class PlayQueue : public QObject {
    Q_OBJECT
public:
    static constexpr int lastSlot = 200;
    // Between the measured end of a song and the announcement of the next one.
    static constexpr qint64 gapMs = 3000;

    // Milliseconds on a monotonic clock; handed in so the queue can be tested.
    using Clock = std::function<qint64()>;
    using SendAll = std::function<void(const QByteArray &command, const QByteArray &data)>;

    // `tmrStopMusic` is the window's 500 ms end-of-song timer; the queue starts and stops it.
    PlayQueue(ModMultimedia &media, Dialogs &dialogs, PlayListTicks &ticks, QTimer *tmrStopMusic, SendAll sendAll,
              Clock clock = {}, QObject *parent = nullptr);

    // The full paths of the run's songs, slot by slot (at most 201).
    void setSongs(const QStringList &fullPaths);
    const QStringList &songs() const { return m_songs; }

    // The play button: playback from the top of the list.
    void cmdStartPlay_Click();
    // The end-of-song check.
    void tmrStopMusic_Timer();
    // The end of a run: no further checks.
    void stop();

    // The length in milliseconds of the first song from `FileID` on that can be opened and
    // measured; `FileID` moves past the ones that cannot. 0 when there is none, with `FileID`
    // at the last position tried (unchanged when it was outside the list).
    qint64 GetMusicLength(int &FileID);

    // Ticks entries 0 to n and unticks the rest; -1 unticks all. Other numbers do nothing.
    void setPlayingNumber(int n);
    // The list reports a changed tick: every tick goes back to what the program set.
    void lstFilesPlay_ItemCheck();

    int playIndex() const { return PlayIndex; }
    // The length of the song announced last; 0 when none could be measured.
    qint64 songMs() const { return m_songMs; }
    bool tickState(int row) const { return row >= 0 && row <= lastSlot && TickState[row]; }

Q_SIGNALS:
    // The song announced last has played its measured length: nothing of it is left to join.
    void songEnded();

private:
    void measureFromHere();
    void announce();

    ModMultimedia &m_media;
    Dialogs &m_dialogs;
    PlayListTicks &m_ticks;
    QTimer *m_tmrStopMusic;
    SendAll m_sendAll;
    Clock m_clock;
    QElapsedTimer m_elapsed;

    QStringList m_songs;
    int PlayIndex = 0;
    qint64 m_songMs = 0;
    qint64 SongStart = 0;
    bool m_toldEnded = false;
    std::array<bool, lastSlot + 1> TickState{};
};
