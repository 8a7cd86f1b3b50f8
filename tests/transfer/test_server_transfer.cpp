// The server's side of the transfer through the real server role on 127.0.0.1, with raw
// client sockets that send requests and read the exact bytes of each answer.
#include "core/SessionState.h"
#include "net/ServerRole.h"
#include "tests/transfer/TransferPeers.h"
#include "transfer/ServerTransfer.h"
#include "transfer/SongStore.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

const QByteArray doGetFile = "DoGetFile\r\n ";
const QByteArray skipFiles = "SkipFiles\r\n ";

class ServerTransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Slot 3 is the worked example's 9000-byte song; 4 is more than one high-speed chunk.
        const qsizetype sizes[] = {100, 8000, 0, 9000, 450000};
        for (int slot = 0; slot < 5; ++slot) {
            songs.append(songBytes(sizes[slot], static_cast<quint32>(slot)));
            paths.append(temp.path() + QStringLiteral("/songs/s%1.mp3").arg(slot));
            ASSERT_TRUE(writeFile(paths.back(), songs.back()));
        }
        session.setAcceptNewClients(true);
        role.setListenAddress(QHostAddress::LocalHost);
        ASSERT_TRUE(role.listen(0));
        prepare(paths);
        session.setRunActive(true);

        // A client that has said "Connected", answered the probe and has the song list.
        QSignalSpy accepted(&role, &ServerRole::clientAccepted);
        client.connectToHost(QHostAddress::LocalHost, role.listeningPort());
        ASSERT_TRUE(accepted.wait(waitMs));
        index = accepted.first().first().toInt();
        client.write("Connected\r\n");
        ASSERT_EQ(readBytes(client, 15), QByteArray("TimerResponse\r\n"));
        client.write("MirrorTimerResponse\r\n");
        ASSERT_TRUE(QTest::qWaitFor([&] { return role.isReady(index); }, waitMs));
        QByteArray list;
        for (const QString &path : paths)
            list += (list.isEmpty() ? "" : "\r\n") + path.toLocal8Bit();
        role.SendMessageAll("SetMusic", list);
        (void)readBytes(client, 10 + list.size());
    }

    void prepare(const QStringList &list)
    {
        QSignalSpy prepared(&store, &SongStore::prepared);
        store.prepare(list);
        ASSERT_TRUE(prepared.wait(waitMs));
    }

    QByteArray request(int slot) const { return paths[slot].toLocal8Bit() + "\r\n" + QByteArray::number(slot); }

    // Sends one message and reads exactly `size` bytes of answer.
    QByteArray ask(const QByteArray &message, qsizetype size)
    {
        client.write(message);
        return readBytes(client, size);
    }

    QByteArray setFileDone(int slot) const
    {
        return "SetFileDone\r\n" + paths[slot].toLocal8Bit() + "\r\n" + QByteArray::number(songs[slot].size());
    }
    QByteArray setFile(int slot) { return ask("SetFile\r\n" + request(slot), setFileDone(slot).size()); }
    QByteArray getFile(int slot, qsizetype answerSize) { return ask("GetFile\r\n" + request(slot), answerSize); }

    QTemporaryDir temp;
    QList<QByteArray> songs;
    QStringList paths;
    SessionState session;
    ServerRole role{session};
    SongStore store;
    ServerTransfer transfer{role, session, store};
    QTcpSocket client;
    int index = 0;
};

TEST_F(ServerTransferTest, ServesTheWorkedSequenceByteForByte)
{
    EXPECT_EQ(setFile(3), setFileDone(3));
    EXPECT_EQ(getFile(3, 4012), songs[3].left(4000) + doGetFile);
    EXPECT_EQ(getFile(3, 4012), songs[3].sliced(4000, 4000) + doGetFile);
    EXPECT_EQ(getFile(3, 1012), songs[3].sliced(8000) + doGetFile);
    const QByteArray ready = "PutFileReady\r\n" + paths[3].toLocal8Bit();
    EXPECT_EQ(getFile(3, ready.size()), ready);

    client.write("AllFilesLoaded\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return transfer.ClientAllFilesLoaded(index); }, waitMs));
    // A new run clears the reports.
    prepare(paths);
    EXPECT_FALSE(transfer.ClientAllFilesLoaded(index));
}

TEST_F(ServerTransferTest, AChunkStillQueuedWhenTheSongsAreForgottenGoesOutWhole)
{
    EXPECT_EQ(setFile(4), setFileDone(4));
    transfer.speed().cmdSpeed_Click();
    // The stop comes in the same turn as the request, before the socket has sent anything.
    // Fresh buffers of the song's size take up whatever memory the stop let go of.
    QList<QByteArray> others;
    QObject::connect(&role, &ServerRole::getFileReceived, &store, [this, &others] {
        session.setRunActive(false);
        store.clear();
        for (int i = 0; i < 4; ++i)
            others.append(QByteArray(songs[4].size(), '\x55'));
    });
    EXPECT_EQ(getFile(4, 200012), songs[4].left(200000) + doGetFile);
}

TEST_F(ServerTransferTest, RequestsForNoSlotGetNoAnswerAndMissingUnreadOrOutOfRunSongsAreSkipped)
{
    const QByteArray p3 = paths[3].toLocal8Bit();
    // Slot past the table, past the run's five songs, not a number, no number at all.
    for (const QByteArray &bad :
         {QByteArray("SetFile\r\n" + p3 + "\r\n201"), "GetFile\r\n" + p3 + "\r\n999", "SetFile\r\n" + p3 + "\r\n7",
          "GetFile\r\n" + p3 + "\r\nx3", "SetFile\r\n" + p3 + "\r\n"})
        client.write(bad);
    // Answers come in order: the first bytes back answer this request.
    EXPECT_EQ(setFile(3), setFileDone(3));
    // A path the server lacks is echoed back as it came.
    const QByteArray missing = "/no/such/l\xE5t.mp3\r\n3";
    EXPECT_EQ(ask("SetFile\r\n" + missing, 10 + missing.size()), "SkipFile\r\n" + missing);

    // Outside a run every request gets "SkipFiles" and the fetch goes on where it was after.
    EXPECT_EQ(getFile(3, 4012), songs[3].left(4000) + doGetFile);
    session.setRunActive(false);
    EXPECT_EQ(ask("SetFile\r\n" + request(3), skipFiles.size()), skipFiles);
    EXPECT_EQ(getFile(3, skipFiles.size()), skipFiles);
    session.setRunActive(true);
    EXPECT_EQ(getFile(3, 4012), songs[3].sliced(4000, 4000) + doGetFile);

    // A song the start could not read stays no song, even once its file is back.
    ASSERT_TRUE(QFile::remove(paths[1]));
    prepare(paths);
    ASSERT_TRUE(writeFile(paths[1], songs[1]));
    EXPECT_EQ(ask("SetFile\r\n" + request(1), 10 + request(1).size()), "SkipFile\r\n" + request(1));
}

TEST_F(ServerTransferTest, PreparationKeepsAtMost201SongsAndAStopEndsItWithoutItsSignal)
{
    QStringList many;
    for (int i = 0; i < 203; ++i)
        many.append(paths[i % 4]);
    prepare(many);
    EXPECT_EQ(store.songCount(), 201);
    QSignalSpy prepared(&store, &SongStore::prepared);
    store.prepare(many);
    store.clear();
    QTest::qWait(50);
    EXPECT_EQ(prepared.count(), 0);
    EXPECT_TRUE(store.master(0).isEmpty());
}

} // namespace
