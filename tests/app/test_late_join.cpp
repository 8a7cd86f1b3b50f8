// A client that connects while a song plays in the house: the song list and the moment the song
// began (long past) come from a server on 127.0.0.1 whose clock runs 5000 s apart from ours,
// before the client's estimate of that clock is ready; a sound card keeps real time.
#include "app/RunWiring.h"
#include "app/WindowLayouts.h"
#include "core/MonotonicClock.h"
#include "net/ClientRole.h"
#include "net/RunClockWords.h"
#include "net/ServerRole.h"
#include "playback/FrameTime.h"
#include "playback/MediaService.h"
#include "playback/ModMultimedia.h"
#include "playback/Mp3Decoder.h"
#include "playlist/ListWidgetEntries.h"
#include "playlist/PlaylistEditor.h"
#include "tests/net/Loopback.h"
#include "tests/playback/TimedAudioOutput.h"
#include "tests/support/ScriptedDialogs.h"
#include "transfer/ClientTransfer.h"

#include <QAudioFormat>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr qint64 kMs = 1000000, kSecond = 1000 * kMs, kServerAheadNs = 5000 * kSecond;
constexpr int kRate = 48000; // the sweep: 200 s, mono
// The estimate of the server's clock gets ready in a second or two; on a loaded machine later.
constexpr int kReadyCapMs = 30000;
const QString kSweep = QStringLiteral(TUNVERO_TEST_SONGS "/long/sweep_48k_mono.mp3");

// A card that plays at exactly our clock's pace from its start.
struct Card : TimedAudioOutput {
    bool start(const QAudioFormat &format) override
    {
        frameBytes = format.bytesPerFrame();
        startNs = MonotonicClock::nowNs();
        return true;
    }
    // Where it stands is read whenever the mixer places a song or writes.
    std::optional<StreamTiming> freshTiming() override
    {
        const qint64 at = MonotonicClock::nowNs();
        now = {frameTime::framesIn(at - startNs, kRate) * frameBytes, at};
        return now;
    }
    qint64 bytesFree() override { return freshTiming(), TimedAudioOutput::bytesFree(); }
    qint64 heardAt(qint64 byte) const { return startNs + frameTime::nsOf(byte / frameBytes, kRate); }
    qint64 startNs = 0, frameBytes = 4;
};

// Greets, answers each ask on its clock, and after the first answer sends `runBytes` 13 bytes
// a millisecond; answers a "SetFile" with "SkipFile" once `skipWhen` holds.
struct FakeServer {
    QTcpServer listener;
    QTcpSocket *peer = nullptr;
    QByteArray runBytes, outgoing, received, unanswered;
    std::function<bool()> skipWhen = [] { return true; };
    QTimer ticker;

    static qint64 nowNs() { return MonotonicClock::nowNs() + kServerAheadNs; }
    FakeServer()
    {
        EXPECT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&listener, &QTcpServer::newConnection, [this] {
            peer = listener.nextPendingConnection();
            received.clear();
            QObject::connect(peer, &QTcpSocket::readyRead, [this] { read(nowNs()); });
        });
        QObject::connect(&ticker, &QTimer::timeout, [this] {
            if (peer && !outgoing.isEmpty())
                peer->write(outgoing.left(13));
            outgoing.remove(0, 13);
            if (peer && !unanswered.isEmpty() && skipWhen())
                peer->write(std::exchange(unanswered, {}));
        });
        ticker.start(1);
    }
    void read(qint64 receivedNs)
    {
        received += peer->readAll();
        QList<QByteArray> lines = received.split('\n');
        for (bool more = true; more;) {
            const QByteArray word = lines[0].chopped(lines.size() > 1 ? 1 : 0);
            const int length = word == "ClockAsk" ? 2 : word == "SetFile" ? 3 : 1;
            if ((more = lines.size() > length)) {
                if (word == "Connected")
                    peer->write("TimerResponse\r\n");
                if (word == "SetFile")
                    unanswered = "SkipFile\r\n" + lines[1] + "\n" + lines[2].chopped(1);
                if (word == "ClockAsk") {
                    peer->write(runClockWords::tellBytes({lines[1].split(' ')[0].toUInt(), receivedNs, nowNs()}));
                    peer->flush();
                    outgoing += std::exchange(runBytes, {});
                }
                received.remove(0, lines.mid(0, length).join('\n').size() + 1);
                lines.remove(0, length);
            }
        }
    }
};

// Equal within the decoder's rounding: after a seek its filters sum in another order.
bool alike(const QByteArray &a, const QByteArray &b)
{
    if (a.size() != b.size())
        return false;
    const auto *x = reinterpret_cast<const qint16 *>(a.constData()),
               *y = reinterpret_cast<const qint16 *>(b.constData());
    return std::equal(x, x + a.size() / 2, y, [](qint16 p, qint16 q) { return std::abs(p - q) <= 2; });
}

class LateJoin : public ::testing::Test {
protected:
    LateJoin()
    {
        EXPECT_TRUE(QDir(folder.path()).mkpath(QStringLiteral("m")));
        EXPECT_TRUE(QFile::copy(kSweep, folder.filePath(QStringLiteral("m/held.mp3"))));
        QObject::connect(&run.clientPlayback(), &ClientPlayback::songListArrived, &transfer,
                         &ClientTransfer::startSongList);
        QObject::connect(&client, &ClientRole::playMusicAt,
                         [this] { readyAtPlay = client.runClock().clock().ready(); });
    }

    void connectAndSend(const QByteArray &runBytes)
    {
        server.runBytes = runBytes;
        client.connectToServer(QStringLiteral("127.0.0.1"), server.listener.serverPort());
    }

    static QByteArray playAt(int slot, qint64 serverAtNs)
    {
        return runClockWords::playAtBytes({slot, serverAtNs, 150});
    }

    QTemporaryDir folder;
    std::vector<Card *> cards;
    MediaService service{[this] { return std::unique_ptr<AudioOutput>(cards.emplace_back(new Card)); }};
    ModMultimedia media{service};
    QWidget window;
    WindowControls c = createWindowControls(&window);
    WindowLayouts layouts{c};
    ListWidgetEntries entries{c.lstFiles};
    PlaylistEditor playlist{entries, [] {}};
    ScriptedDialogs dialogs;
    SessionState session;
    ServerRole unusedServer{session};
    ClientRole client{c.tmrClient};
    RunWiring run{c, layouts, playlist, dialogs, session, unusedServer, client, media, [] {}};
    ClientTransfer transfer{client, media, c.tmrGetFile, [this] { return folder.path(); }};
    FakeServer server;
    bool readyAtPlay = true;
};

TEST_F(LateJoin, AHeldSongTwentySecondsOrThreeMinutesInStartsOnTheSampleTheOthersHear)
{
    QByteArray sweep;
    Mp3Decoder decoder;
    ASSERT_TRUE(decoder.open(kSweep));
    sweep.resize(decoder.lengthSamples() * 2);
    ASSERT_EQ(decoder.read(sweep.data(), sweep.size()), sweep.size());

    // Three minutes in, the song is later in the list than one still missing: it opens only once
    // that one is given up, after the clock is ready.
    server.skipWhen = [this] { return client.runClock().clock().ready(); };
    const QByteArray twenty = "SetMusic\r\n/m/held.mp3", three = "SetMusic\r\n/m/gone.mp3\r\n/m/held.mp3";
    for (const auto &[list, slot, pastNs] :
         {std::tuple{twenty, 0, 20 * kSecond}, std::tuple{three, 1, 180 * kSecond}}) {
        QSignalSpy heard(&service, &MediaService::firstSampleHeard);
        const qint64 serverAtNs = FakeServer::nowNs() - pastNs;
        connectAndSend(list + playAt(slot, serverAtNs));
        ASSERT_TRUE(heard.wait(kReadyCapMs)) << pastNs / kSecond << " s";
        EXPECT_FALSE(readyAtPlay);
        EXPECT_EQ(heard.at(0).at(0).toString(), ClientPlayback::deviceAlias(slot));
        const qint64 heardNs = heard.at(0).at(2).toLongLong(), first = heard.at(0).at(3).toLongLong();
        EXPECT_GT(first, frameTime::framesIn(pastNs, kRate));
        // Heard on the run's clock as the client knows it (within the card's rounding), and on
        // the server's own: where every other client hears that sample.
        const qint64 dueNs = client.runClock().clock().localAt(serverAtNs + frameTime::nsOf(first, kRate)).value_or(0);
        EXPECT_LT(std::abs(heardNs - dueNs), kMs / 20);
        EXPECT_LT(std::abs(heardNs - (serverAtNs - kServerAheadNs + frameTime::nsOf(first, kRate))), kMs);
        // It is that sample, where the card heard it, and the song goes on from it.
        const Card &card = *cards.back();
        ASSERT_TRUE(QTest::qWaitFor([&] { return card.stream.size() > card.now.heardByte + 9600; }, waitMs));
        const QByteArray expected = sweep.mid(first * 2, 9600);
        const qint64 near = frameTime::framesIn(heardNs - card.startNs, kRate) * 2;
        qint64 at = -1;
        for (qint64 b = near - 2; b <= near + 2; b += 2)
            at = alike(card.stream.mid(b, expected.size()), expected) ? b : at;
        ASSERT_GE(at, 0);
        EXPECT_LT(std::abs(card.heardAt(at) - heardNs), frameTime::nsOf(1, kRate));
        client.close();
    }
}

TEST_F(LateJoin, AJoinIsDroppedByTheNextMessageOrAtTheSongsEndAndANewStartStillPlays)
{
    QSignalSpy scheduled(&service, &MediaService::playScheduled);
    const QByteArray list = "SetMusic\r\n/m/held.mp3";
    connectAndSend(list + playAt(0, FakeServer::nowNs() - 20 * kSecond) + "StopAllMusic\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.runClock().clock().ready(); }, kReadyCapMs));
    server.peer->write(playAt(0, FakeServer::nowNs() - 201 * kSecond)); // over
    QTest::qWait(10 * ClientPlayback::joinPollMs);
    EXPECT_EQ(scheduled.size(), 0);

    // The end of the connection drops what it left waiting.
    client.close();
    QSignalSpy playAts(&client, &ClientRole::playMusicAt);
    connectAndSend(list + playAt(0, FakeServer::nowNs() - 20 * kSecond));
    ASSERT_TRUE(playAts.wait(waitMs));
    client.close();
    connectAndSend(list);
    ASSERT_TRUE(QTest::qWaitFor([&] { return client.runClock().clock().ready(); }, kReadyCapMs));
    QTest::qWait(10 * ClientPlayback::joinPollMs);
    EXPECT_EQ(scheduled.size(), 0);

    server.peer->write(playAt(0, FakeServer::nowNs() + 300 * kMs));
    ASSERT_TRUE(scheduled.wait(waitMs));
    EXPECT_EQ(scheduled.at(0).at(2).toLongLong(), 0);
}

} // namespace
