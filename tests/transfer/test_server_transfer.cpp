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
        ASSERT_TRUE(temp.isValid());
        // Slot 3 is the worked example's 9000-byte song; 1 is exactly two low-speed chunks.
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
    }

    void prepare(const QStringList &list)
    {
        QSignalSpy prepared(&store, &SongStore::prepared);
        store.prepare(list);
        ASSERT_TRUE(prepared.wait(waitMs));
    }

    // A client that has said "Connected" and answered the probe, and has the song list.
    QTcpSocket *connectClient()
    {
        QSignalSpy accepted(&role, &ServerRole::clientAccepted);
        auto socket = std::make_unique<QTcpSocket>();
        socket->connectToHost(QHostAddress::LocalHost, role.listeningPort());
        EXPECT_TRUE(socket->waitForConnected(waitMs));
        socket->write("Connected\r\n");
        EXPECT_EQ(readBytes(*socket, 15), QByteArray("TimerResponse\r\n"));
        socket->write("MirrorTimerResponse\r\n");
        EXPECT_TRUE(accepted.count() || accepted.wait(waitMs));
        const int index = accepted.first().first().toInt();
        EXPECT_TRUE(QTest::qWaitFor([&] { return role.isReady(index); }, waitMs));
        indexes.append(index);
        clients.push_back(std::move(socket));
        QByteArray list;
        for (const QString &path : paths)
            list += (list.isEmpty() ? "" : "\r\n") + path.toLocal8Bit();
        role.SendMessageAll("SetMusic", list);
        for (const auto &client : clients)
            (void)readBytes(*client, 10 + list.size());
        return clients.back().get();
    }

    static QByteArray request(const QString &path, int slot)
    {
        return path.toLocal8Bit() + "\r\n" + QByteArray::number(slot);
    }

    // Sends one message and reads exactly `size` bytes of answer.
    static QByteArray ask(QTcpSocket &client, const QByteArray &message, qsizetype size)
    {
        client.write(message);
        return readBytes(client, size);
    }

    QByteArray getFile(QTcpSocket &client, int slot, qsizetype answerSize)
    {
        return ask(client, "GetFile\r\n" + request(paths[slot], slot), answerSize);
    }

    QByteArray putFileReady(int slot) const { return "PutFileReady\r\n" + paths[slot].toLocal8Bit(); }

    QTemporaryDir temp;
    QList<QByteArray> songs;
    QStringList paths;
    SessionState session;
    ServerRole role{session};
    SongStore store;
    ServerTransfer transfer{role, session, store};
    std::vector<std::unique_ptr<QTcpSocket>> clients;
    QList<int> indexes;
};

TEST_F(ServerTransferTest, ServesTheWorkedSequenceByteForByte)
{
    QTcpSocket &client = *connectClient();
    const QByteArray p3 = paths[3].toLocal8Bit();
    EXPECT_EQ(ask(client, "SetFile\r\n" + request(paths[3], 3), 19 + p3.size()), "SetFileDone\r\n" + p3 + "\r\n9000");
    EXPECT_EQ(getFile(client, 3, 4012), songs[3].left(4000) + doGetFile);
    EXPECT_EQ(getFile(client, 3, 4012), songs[3].sliced(4000, 4000) + doGetFile);
    EXPECT_EQ(getFile(client, 3, 1012), songs[3].sliced(8000) + doGetFile);
    EXPECT_EQ(getFile(client, 3, putFileReady(3).size()), putFileReady(3));

    // Exactly two chunks: the third request ends the song.
    (void)ask(client, "SetFile\r\n" + request(paths[1], 1), 19 + paths[1].toLocal8Bit().size());
    EXPECT_EQ(getFile(client, 1, 4012), songs[1].left(4000) + doGetFile);
    EXPECT_EQ(getFile(client, 1, 4012), songs[1].sliced(4000) + doGetFile);
    EXPECT_EQ(getFile(client, 1, putFileReady(1).size()), putFileReady(1));

    const int index = indexes.first();
    EXPECT_FALSE(transfer.ClientAllFilesLoaded(index));
    client.write("HasNeededFiles\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return transfer.ClientHasNeededFiles(index); }, waitMs));
    EXPECT_FALSE(transfer.ClientAllFilesLoaded(index));
    client.write("AllFilesLoaded\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return transfer.ClientAllFilesLoaded(index); }, waitMs));
    // A new run clears the reports.
    prepare(paths);
    EXPECT_FALSE(transfer.ClientHasNeededFiles(index));
    EXPECT_FALSE(transfer.ClientAllFilesLoaded(index));
}

TEST_F(ServerTransferTest, TheSlotDecidesTheContentAndEachConnectionHasItsOwnPosition)
{
    QTcpSocket &client = *connectClient();
    QTcpSocket &other = *connectClient();
    // The path of slot 1 asked as slot 3: the size and the bytes are slot 3's.
    const QByteArray p1 = paths[1].toLocal8Bit();
    EXPECT_EQ(ask(client, "SetFile\r\n" + p1 + "\r\n3", 19 + p1.size()), "SetFileDone\r\n" + p1 + "\r\n9000");
    EXPECT_EQ(ask(client, "GetFile\r\n" + p1 + "\r\n3", 4012), songs[3].left(4000) + doGetFile);
    // Another client fetching the same song starts from the top and moves no one else.
    (void)ask(other, "SetFile\r\n" + request(paths[3], 3), 19 + paths[3].toLocal8Bit().size());
    EXPECT_EQ(getFile(other, 3, 4012), songs[3].left(4000) + doGetFile);
    EXPECT_EQ(getFile(client, 3, 4012), songs[3].sliced(4000, 4000) + doGetFile);
    // Asked again: from the top.
    (void)ask(client, "SetFile\r\n" + p1 + "\r\n3", 19 + p1.size());
    EXPECT_EQ(ask(client, "GetFile\r\n" + p1 + "\r\n3", 4012), songs[3].left(4000) + doGetFile);
    EXPECT_EQ(getFile(other, 3, 4012), songs[3].sliced(4000, 4000) + doGetFile);
    // A song never asked for on this connection ends at once.
    EXPECT_EQ(getFile(client, 0, putFileReady(0).size()), putFileReady(0));
}

TEST_F(ServerTransferTest, TheSpeedChangesFromTheNextChunkOn)
{
    QTcpSocket &client = *connectClient();
    (void)ask(client, "SetFile\r\n" + request(paths[4], 4), 21 + paths[4].toLocal8Bit().size());
    EXPECT_EQ(getFile(client, 4, 4012), songs[4].left(4000) + doGetFile);
    QSignalSpy caption(&transfer.speed(), &TransferSpeed::captionChanged);
    transfer.speed().cmdSpeed_Click();
    EXPECT_EQ(caption.last().first().toString(), QStringLiteral("Hastighet: Hög"));
    EXPECT_EQ(getFile(client, 4, 200012), songs[4].sliced(4000, 200000) + doGetFile);
    transfer.speed().cmdSpeed_Click();
    EXPECT_EQ(getFile(client, 4, 4012), songs[4].sliced(204000, 4000) + doGetFile);
}

TEST_F(ServerTransferTest, OutsideARunEveryRequestGetsSkipFilesAndChangesNothing)
{
    QTcpSocket &client = *connectClient();
    (void)ask(client, "SetFile\r\n" + request(paths[3], 3), 19 + paths[3].toLocal8Bit().size());
    EXPECT_EQ(getFile(client, 3, 4012), songs[3].left(4000) + doGetFile);
    session.setRunActive(false);
    EXPECT_EQ(ask(client, "SetFile\r\n" + request(paths[3], 3), skipFiles.size()), skipFiles);
    EXPECT_EQ(getFile(client, 3, skipFiles.size()), skipFiles);
    // Also for requests a run would ignore.
    EXPECT_EQ(ask(client, "GetFile\r\n" + request(paths[3], 250), skipFiles.size()), skipFiles);
    session.setRunActive(true);
    EXPECT_EQ(getFile(client, 3, 4012), songs[3].sliced(4000, 4000) + doGetFile);
}

TEST_F(ServerTransferTest, RequestsForNoSlotGetNoAnswerAndMissingOrUnreadSongsAreSkipped)
{
    QTcpSocket &client = *connectClient();
    const QByteArray p3 = paths[3].toLocal8Bit();
    // Slot past the table, past the run's five songs, not a number, no number at all.
    client.write("SetFile\r\n" + p3 + "\r\n201");
    client.write("GetFile\r\n" + p3 + "\r\n999");
    client.write("SetFile\r\n" + p3 + "\r\n7");
    client.write("GetFile\r\n" + p3 + "\r\nx3");
    client.write("SetFile\r\n" + p3 + "\r\n");
    // Answers come in order: the first bytes back answer this request.
    EXPECT_EQ(ask(client, "SetFile\r\n" + request(paths[3], 3), 19 + p3.size()), "SetFileDone\r\n" + p3 + "\r\n9000");
    // A path the server lacks is echoed back as it came.
    const QByteArray missing = "/no/such/l\xE5t.mp3\r\n3";
    EXPECT_EQ(ask(client, "SetFile\r\n" + missing, 10 + missing.size()), "SkipFile\r\n" + missing);

    // A song the start could not read stays no song, even once its file is back.
    ASSERT_TRUE(QFile::remove(paths[1]));
    prepare(paths);
    ASSERT_TRUE(writeFile(paths[1], songs[1]));
    const QByteArray data = request(paths[1], 1);
    EXPECT_EQ(ask(client, "SetFile\r\n" + data, 10 + data.size()), "SkipFile\r\n" + data);
}

TEST_F(ServerTransferTest, PreparationReportsProgressKeepsAtMost201SongsAndAStopEndsIt)
{
    // The progress bar's value before each song, then empty.
    QSignalSpy progress(&store, &SongStore::progress);
    prepare(paths.mid(0, 4));
    QList<double> shown;
    for (const QList<QVariant> &value : progress)
        shown.append(value.first().toDouble());
    EXPECT_EQ(shown, (QList<double>{25, 50, 75, 100, 0.0001}));

    QStringList many;
    for (int i = 0; i < 203; ++i)
        many.append(paths[i % 4]);
    prepare(many);
    EXPECT_EQ(store.songCount(), 201);
    EXPECT_EQ(store.master(200), songs[0]);

    // A stop while songs are read: the preparation ends without its signal.
    QSignalSpy prepared(&store, &SongStore::prepared);
    store.prepare(many);
    store.clear();
    QTest::qWait(50);
    EXPECT_EQ(prepared.count(), 0);
    EXPECT_EQ(store.songCount(), 0);
    EXPECT_TRUE(store.master(0).isEmpty());
}

} // namespace
