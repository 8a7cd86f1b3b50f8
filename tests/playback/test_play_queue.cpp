// The server's play queue on a fake clock: the order of announcements, songs passed by, the
// gap after each song, the repeat from the top, its failures, and the ticks of the play list.
#include "playback/MediaCommandService.h"
#include "platform/MediaShortPath.h"
#include "playback/ModMultimedia.h"
#include "playback/PlayListTicks.h"
#include "playback/PlayQueue.h"
#include "tests/support/ScriptedDialogs.h"

#include <QHash>
#include <QSignalSpy>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace {

// A media service holding songs by path: a song opens when it is on the shelf, and answers
// its length (-1 for a failing length query). Knows which aliases are open.
class ShelfMediaService : public MediaCommandService {
public:
    QHash<QString, int> lengths;
    QHash<QString, QString> open; // alias to path

    int sendString(const QString &command, QString *answer) override
    {
        const QStringList w = command.trimmed().split(QLatin1Char(' '));
        if (w.at(0) == QStringLiteral("open")) {
            if (!lengths.contains(w.at(1)) || open.contains(w.at(5)))
                return 275;
            open.insert(w.at(5), w.at(1));
            return 0;
        }
        if (w.at(0) == QStringLiteral("Close"))
            return open.remove(w.at(1)) ? 0 : 263;
        if (!open.contains(w.at(1)))
            return 263;
        if (w.at(0) == QStringLiteral("status")) {
            const int length = lengths.value(open.value(w.at(1)));
            if (length < 0)
                return 346;
            *answer = QString::number(length);
        }
        return 0;
    }
    QString errorString(int code) const override { return QStringLiteral("Fel %1").arg(code); }
};

// Ticks that report each change at once, as the list does, nested in the change.
class ReportingTicks : public PlayListTicks {
public:
    explicit ReportingTicks(int n) : ticks(n, false) {}
    PlayQueue *queue = nullptr;
    std::vector<bool> ticks;
    int current = -1;

    int count() const override { return int(ticks.size()); }
    bool isTicked(int row) const override { return ticks.at(row); }
    void setTicked(int row, bool ticked) override
    {
        if (ticks.at(row) == ticked)
            return;
        ticks.at(row) = ticked;
        queue->lstFilesPlay_ItemCheck();
    }
    void setCurrent(int row) override { current = row; }
};

QString song(int i)
{
    return QStringLiteral("/m/%1.mp3").arg(i);
}

class PlayQueueTest : public ::testing::Test {
protected:
    // A play list of `n` songs; song i lasts (i + 1) seconds unless set otherwise.
    void songs(int n)
    {
        ticks = ReportingTicks(n);
        ticks.queue = &queue;
        QStringList paths;
        for (int i = 0; i < n; ++i) {
            paths.append(song(i));
            shelf.lengths.insert(song(i), (i + 1) * 1000);
        }
        queue.setSongs(paths);
    }
    // Ticks until the next announcement, or `maxTicks` ticks of 500 ms.
    QByteArray nextAnnounced(int maxTicks = 400)
    {
        const std::size_t before = sent.size();
        for (int i = 0; i < maxTicks && sent.size() == before; ++i) {
            now += 500;
            queue.tmrStopMusic_Timer();
        }
        return sent.size() > before ? sent.back() : QByteArray("nothing");
    }
    std::vector<QByteArray> announcements(int count)
    {
        std::vector<QByteArray> got;
        for (int i = 0; i < count; ++i)
            got.push_back(nextAnnounced());
        return got;
    }

    qint64 now = 1'000'000;
    std::vector<QByteArray> sent;
    ShelfMediaService shelf;
    ModMultimedia media{shelf, [](const QString &path) {
                            return MediaShortPath::Result{MediaShortPath::Result::Outcome::Made, path};
                        }};
    ScriptedDialogs dialogs;
    ReportingTicks ticks{0};
    QTimer tmrStopMusic;
    PlayQueue queue{media,
                    dialogs,
                    ticks,
                    &tmrStopMusic,
                    [this](const QByteArray &command, const QByteArray &data) {
                        EXPECT_EQ(command, QByteArray("PlayMusic"));
                        sent.push_back(data);
                    },
                    [this] { return now; }};
};

TEST_F(PlayQueueTest, PlaysTheListInOrderAndAgainFromTheTop)
{
    songs(3);
    shelf.lengths[song(0)] = 180'000;
    const qint64 start = now;
    QSignalSpy ended(&queue, &PlayQueue::songEnded);
    queue.cmdStartPlay_Click();
    now = start + 180'000;
    queue.tmrStopMusic_Timer();
    EXPECT_EQ(ended.size(), 0);
    now = start + 180'001; // the song is over; the gap before the next has begun
    queue.tmrStopMusic_Timer();
    EXPECT_EQ(ended.size(), 1);
    now = start + 183'000; // the end time itself is not yet past
    queue.tmrStopMusic_Timer();
    EXPECT_EQ(sent, std::vector<QByteArray>{"0"});
    now = start + 183'001;
    queue.tmrStopMusic_Timer();
    EXPECT_EQ(sent, (std::vector<QByteArray>{"0", "1"}));
    EXPECT_EQ(announcements(4), (std::vector<QByteArray>{"2", "0", "1", "2"}));
    EXPECT_EQ(ended.size(), 5);        // once for each song but the one playing
    EXPECT_TRUE(shelf.open.isEmpty()); // the measuring device is closed after each song

    queue.stop();
    EXPECT_FALSE(tmrStopMusic.isActive());
}

TEST_F(PlayQueueTest, SongsThatCannotBeMeasuredArePassedByAndNoneLeftIsReported)
{
    songs(4);
    shelf.lengths.remove(song(1)); // does not open
    shelf.lengths[song(3)] = -1;   // opens, but its length cannot be read
    queue.cmdStartPlay_Click();
    EXPECT_EQ(announcements(4), (std::vector<QByteArray>{"2", "0", "2", "0"}));

    // Only the last song can be opened: it is played again and again.
    songs(3);
    sent.clear();
    shelf.lengths.remove(song(0));
    shelf.lengths.remove(song(1));
    queue.cmdStartPlay_Click();
    EXPECT_EQ(sent, std::vector<QByteArray>{"2"});
    EXPECT_EQ(announcements(2), (std::vector<QByteArray>{"2", "2"}));
    EXPECT_TRUE(dialogs.shown().empty() && shelf.open.isEmpty());

    // None opens: said so, and nothing starts.
    queue.stop();
    songs(2);
    sent.clear();
    shelf.lengths.clear();
    dialogs.then(DialogAnswer::Ok);
    queue.cmdStartPlay_Click();
    EXPECT_TRUE(sent.empty() && !tmrStopMusic.isActive());
    EXPECT_EQ(dialogs.messageTexts(),
              std::vector<QString>{QStringLiteral("Det är något fel, det går inte att hitta någon fil att spela...")});

    // The songs go away while the last one plays: the queue stalls after saying so once.
    songs(2);
    dialogs.clear();
    dialogs.then(DialogAnswer::Ok);
    queue.cmdStartPlay_Click();
    EXPECT_EQ(nextAnnounced(), QByteArray("1"));
    shelf.lengths.clear();
    EXPECT_EQ(nextAnnounced(40), QByteArray("nothing"));
    EXPECT_EQ(dialogs.messageTexts(), std::vector<QString>{QStringLiteral("Det gick inte att repetera låten!")});
    EXPECT_TRUE(tmrStopMusic.isActive());
}

TEST_F(PlayQueueTest, TicksFollowThePlayingNumberAndCannotBeChangedByHand)
{
    songs(5);
    queue.setPlayingNumber(2);
    EXPECT_EQ(ticks.ticks, (std::vector<bool>{true, true, true, false, false}));
    queue.setPlayingNumber(5); // beyond the list: nothing changes
    EXPECT_EQ(ticks.current, 2);

    // A click on a tick: the list reports it and the tick goes back at once.
    ticks.ticks[4] = true;
    queue.lstFilesPlay_ItemCheck();
    ticks.ticks[1] = false;
    queue.lstFilesPlay_ItemCheck();
    EXPECT_EQ(ticks.ticks, (std::vector<bool>{true, true, true, false, false}));
}

} // namespace
