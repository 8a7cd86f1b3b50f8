// Clients that connect while a song of a run plays, on 127.0.0.1: ours fetches its songs and is
// told when the playing song began; one built to the original protocol sees nothing new.
#include "core/MonotonicClock.h"
#include "core/SessionState.h"
#include "net/ServerRole.h"
#include "tests/transfer/TransferPeers.h"
#include "transfer/ServerTransfer.h"
#include "transfer/SongStore.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(LateJoinWire, LateClientsGetTheSongListFetchAndOursAreToldWhenThePlayingSongBegan)
{
    QTemporaryDir temp;
    const QList<QByteArray> songs = {songBytes(9000, 3), songBytes(5000, 4)};
    QStringList paths;
    QByteArray list;
    for (int i = 0; i < 2; ++i) {
        paths.append(temp.path() + QStringLiteral("/server/Musik/l\u00E5t%1.mp3").arg(i));
        ASSERT_TRUE(writeFile(paths.back(), songs[i]));
        list += (list.isEmpty() ? "" : "\r\n") + paths.back().toUtf8();
    }
    SessionState session;
    session.setAcceptNewClients(true);
    ServerRole server(session);
    server.setListenAddress(QHostAddress::LocalHost);
    ASSERT_TRUE(server.listen(0));
    SongStore store;
    ServerTransfer transfer(server, session, store);
    ClientPeer early(temp.path() + QStringLiteral("/early/"));
    QSignalSpy earlyAt(&early.role, &ClientRole::playMusicAt);
    early.role.connectToServer(QStringLiteral("127.0.0.1"), server.listeningPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return early.role.runClock().serverKeepsClock(); }, waitMs));

    // The start as the run's start does it (the session lets no newcomer in), and song 1 heard.
    session.setAcceptNewClients(false);
    session.setRunActive(true);
    QSignalSpy prepared(&store, &SongStore::prepared);
    store.prepare(paths);
    ASSERT_TRUE(prepared.wait(waitMs));
    server.SendMessageAll("SetMusic", list);
    server.SendMessageAll("PlayMusic", "1");
    ASSERT_TRUE(earlyAt.wait(waitMs));
    const qint64 atNs = earlyAt.first().at(1).toLongLong();
    ASSERT_TRUE(QTest::qWaitFor([&] { return MonotonicClock::nowNs() > atNs; }, waitMs));

    // Built to the original protocol: each read is one message, and it never asks the clock.
    QTcpSocket original;
    QList<QByteArray> reads;
    QObject::connect(&original, &QTcpSocket::readyRead, &original, [&] { reads.append(original.readAll()); });
    original.connectToHost(QHostAddress::LocalHost, server.listeningPort());
    original.write("Connected\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reads.isEmpty(); }, waitMs));
    original.write("MirrorTimerResponse\r\n");
    const QByteArray setMusic = "SetMusic\r\n" + list;
    ASSERT_TRUE(QTest::qWaitFor([&] { return reads.join().size() >= 15 + setMusic.size(); }, waitMs));
    EXPECT_EQ(reads.join(), "TimerResponse\r\n" + setMusic);

    ClientPeer late(temp.path() + QStringLiteral("/late/"));
    QSignalSpy songList(&late.role, &ClientRole::setMusic);
    QSignalSpy lateAt(&late.role, &ClientRole::playMusicAt);
    late.role.connectToServer(QStringLiteral("127.0.0.1"), server.listeningPort());
    ASSERT_TRUE(lateAt.wait(waitMs));
    // The very start the others were told, its moment past by now.
    EXPECT_EQ(lateAt.first().mid(0, 3), earlyAt.first().mid(0, 3));
    ASSERT_EQ(songList.size(), 1);
    EXPECT_EQ(songList.first().first().toByteArray(), list);
    ASSERT_TRUE(QTest::qWaitFor([&] { return transfer.ClientAllFilesLoaded(3); }, 3 * waitMs));
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(fileBytes(late.folder + paths[i].sliced(1)) == songs[i]) << i;

    // Once the song is over, a newcomer waits for the next one.
    server.forgetPlayingSong();
    ClientPeer later(temp.path() + QStringLiteral("/later/"));
    QSignalSpy laterAt(&later.role, &ClientRole::playMusicAt);
    later.role.connectToServer(QStringLiteral("127.0.0.1"), server.listeningPort());
    ASSERT_TRUE(QTest::qWaitFor([&] { return later.role.runClock().serverKeepsClock(); }, waitMs));
    QTest::qWait(200);
    EXPECT_EQ(laterAt.size(), 0);

    const qsizetype before = reads.size();
    server.SendMessageAll("PlayMusic", "0");
    ASSERT_TRUE(QTest::qWaitFor([&] { return laterAt.size() == 1 && lateAt.size() == 2; }, waitMs));
    QTest::qWait(200);
    // The newcomer's estimate of the run's clock may still be settling: the start then waits
    // for it, and the original client's message comes in an envelope that makes up the
    // difference.
    const int delayMs = laterAt.first().at(2).toInt();
    const QByteArray envelope = delayMs > ServerRole::startDelayMs
                                    ? "WaitBefore:" + QByteArray::number(delayMs - ServerRole::startDelayMs) + "\r\n"
                                    : QByteArray();
    EXPECT_EQ(reads.mid(before), QList<QByteArray>{envelope + "PlayMusic\r\n0"}) << "nothing but the original's words";
}
