// The client's reception against a raw server socket on 127.0.0.1 that writes scripted bytes,
// split and glued as TCP may deliver them: what the client asks for, what it stores where,
// and what it leaves behind when a song cannot be stored whole.
#include "tests/transfer/TransferPeers.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <sys/resource.h>

namespace {

const QByteArray doGetFile = "DoGetFile\r\n ";

class ClientTransferTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(folder));
        QObject::connect(&role, &ClientRole::fileData, &transfer,
                         [this](const QByteArray &piece) { delivered += piece.size(); });
        ASSERT_TRUE(listener.listen(QHostAddress::LocalHost, 0));
        role.connectToServer(QStringLiteral("127.0.0.1"), listener.serverPort());
        ASSERT_TRUE(listener.waitForNewConnection(waitMs));
        server = listener.nextPendingConnection();
        ASSERT_EQ(readBytes(*server, 11), QByteArray("Connected\r\n"));
    }

    void send(const QByteArray &bytes)
    {
        server->write(bytes);
        server->flush();
    }

    // The next bytes the client sends must be exactly these.
    void expectSent(const QByteArray &expected) { EXPECT_EQ(readBytes(*server, expected.size()), expected); }

    // Writes `bytes` in pieces, each read by the client before the next goes out (the receiver
    // may hold back the last few bytes that could begin a "DoGetFile"); `tail` is glued to the
    // last piece.
    void sendInPieces(const QByteArray &bytes, qsizetype pieceSize, const QByteArray &tail = {})
    {
        for (qsizetype at = 0; at < bytes.size(); at += pieceSize) {
            const qint64 before = delivered;
            const qsizetype length = std::min(pieceSize, bytes.size() - at);
            send(bytes.sliced(at, length) + (at + length == bytes.size() ? tail : QByteArray()));
            (void)QTest::qWaitFor([&] { return delivered + 11 >= before + length; }, waitMs);
        }
    }

    // Serves a song by its rules once its "SetFile" has come (SetFileDone, a chunk per GetFile,
    // PutFileReady) for as long as the client asks; a client that cannot store the song may
    // give it up at any point. Either way `next` is what it asks next.
    void serve(const QByteArray &path, int slot, const QByteArray &song, const QByteArray &next, qint64 announced = -1)
    {
        const QByteArray request = "GetFile\r\n" + path + "\r\n" + QByteArray::number(slot);
        send("SetFileDone\r\n" + path + "\r\n" + QByteArray::number(announced < 0 ? song.size() : announced));
        qsizetype at = 0;
        QByteArray got = readBytes(*server, 1);
        while (got.startsWith('G')) {
            if (got.size() < request.size())
                got += readBytes(*server, request.size() - got.size());
            ASSERT_EQ(got, request);
            if (at < song.size()) {
                const qsizetype length = std::min<qsizetype>(4000, song.size() - at);
                send(song.sliced(at, length) + doGetFile);
                at += length;
            } else {
                send("PutFileReady\r\n" + path);
            }
            got = readBytes(*server, 1);
        }
        if (got.size() < next.size())
            got += readBytes(*server, next.size() - got.size());
        EXPECT_EQ(got, next);
    }

    QTemporaryDir temp;
    ClientPeer peer{temp.path() + QStringLiteral("/TunveroMusic/")};
    QString &folder = peer.folder;
    ClientRole &role = peer.role;
    ClientTransfer &transfer = peer.transfer;
    QTcpServer listener;
    QTcpSocket *server = nullptr;
    qint64 delivered = 0;
};

TEST_F(ClientTransferTest, FetchesMissingSongsChunkByChunkWhateverTheReads)
{
    const QByteArray song = songBytes(9000, 1);
    ASSERT_TRUE(writeFile(folder + QStringLiteral("m/x.mp3"), "x"));
    send("SetMusic\r\n/m/x.mp3\r\n/m/a.mp3\r\n/m/e.mp3");
    expectSent("SetFile\r\n/m/a.mp3\r\n1");
    send("SetFileDone\r\n/m/a.mp3\r\n9000");
    const QByteArray request = "GetFile\r\n/m/a.mp3\r\n1";
    expectSent(request);

    // The first chunk in many small reads, its "DoGetFile" glued to the last one.
    sendInPieces(song.left(4000), 700, doGetFile);
    expectSent(request);
    // Not whole yet: nothing carries the song's name.
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("m/a.mp3")));

    // The "DoGetFile" itself cut in two.
    send(song.sliced(4000, 4000) + "DoGe");
    QTest::qWait(20);
    send("tFile\r\n ");
    expectSent(request);
    send(song.sliced(8000) + doGetFile);
    expectSent(request);
    send("PutFileReady\r\n/m/a.mp3");

    // The next missing song is 0 bytes long.
    expectSent("SetFile\r\n/m/e.mp3\r\n2");
    serve("/m/e.mp3", 2, {}, "AllFilesLoaded\r\n");
    EXPECT_EQ(fileBytes(folder + QStringLiteral("m/a.mp3")), song);
    EXPECT_EQ(filesBelow(folder),
              (QStringList{QStringLiteral("m/a.mp3"), QStringLiteral("m/e.mp3"), QStringLiteral("m/x.mp3")}));

    // An empty list: nothing to fetch, no "SetFile" in between.
    send("SetMusic\r\n");
    expectSent("AllFilesLoaded\r\n");
}

TEST_F(ClientTransferTest, HostileServerPathsAreNeverWrittenOutsideTheDownloadFolder)
{
    QSignalSpy givenUp(&transfer, &ClientTransfer::songGivenUp);
    // Escapes and no file name: never asked for (every other shape has its own table).
    send("SetMusic\r\n..\\..\\evil1.mp3\r\n/m/../../evil2.mp3\r\n/m/dir/\r\n\\\\srv\\share\\x.mp3\r\n"
         "D:\\Musik\\l\xE5t.mp3");
    // A UNC path lands inside the tree; a Windows-1252 name goes back as the very bytes.
    expectSent("SetFile\r\n\\\\srv\\share\\x.mp3\r\n3");
    serve("\\\\srv\\share\\x.mp3", 3, "unc", "SetFile\r\nD:\\Musik\\l\xE5t.mp3\r\n4");
    serve("D:\\Musik\\l\xE5t.mp3", 4, "cp1252", "AllFilesLoaded\r\n");
    EXPECT_EQ(givenUp.size(), 3);
    EXPECT_EQ(filesBelow(temp.path()), (QStringList{QStringLiteral("TunveroMusic/D/Musik/l\u00E5t.mp3"),
                                                    QStringLiteral("TunveroMusic/srv/share/x.mp3")}));
    EXPECT_EQ(fileBytes(folder + QStringLiteral("D/Musik/l\u00E5t.mp3")), QByteArray("cp1252"));
}

TEST_F(ClientTransferTest, ASongThatCannotBeStoredOrComesWrongSizedTwiceIsGivenUpLeavingNothingBehind)
{
    QSignalSpy givenUp(&transfer, &ClientTransfer::songGivenUp);
    QSignalSpy notStored(&transfer, &ClientTransfer::songNotStored);
    ASSERT_TRUE(writeFile(folder + QStringLiteral("blocked"), "in the way"));
    const QByteArray longName = "/m/" + QByteArray(300, 'n') + ".mp3";
    send("SetMusic\r\n/m/w.mp3\r\n/blocked/a.mp3\r\n" + longName + "\r\n/m/full.mp3\r\n/m/ok.mp3");
    expectSent("SetFile\r\n/m/w.mp3\r\n0");
    // Not the announced size: fetched once more, then given up.
    serve("/m/w.mp3", 0, "short", "SetFile\r\n/m/w.mp3\r\n0", 10);
    serve("/m/w.mp3", 0, "much too long", "SetFile\r\n/blocked/a.mp3\r\n1", 10);
    // A file where a folder must go, as an unwritable folder would, and a name too long.
    serve("/blocked/a.mp3", 1, "abc", "SetFile\r\n" + longName + "\r\n2");
    serve(longName, 2, "abc", "SetFile\r\n/m/full.mp3\r\n3");

    // No room: files may not grow past 1000 bytes while this song comes.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{1000, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    serve("/m/full.mp3", 3, songBytes(9000, 2), "SetFile\r\n/m/ok.mp3\r\n4");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    serve("/m/ok.mp3", 4, "fine", "AllFilesLoaded\r\n");
    EXPECT_EQ(filesBelow(folder), (QStringList{QStringLiteral("blocked"), QStringLiteral("m/ok.mp3")}));
    EXPECT_EQ(givenUp.size(), 4);

    // Each song that could not be stored is reported once, with the system's reason; the
    // wrong-sized one was no fault of this computer.
    ASSERT_EQ(notStored.size(), 3);
    EXPECT_EQ(notStored.at(0).at(0).toInt(), 1);
    EXPECT_EQ(notStored.at(1).at(0).toInt(), 2);
    EXPECT_EQ(notStored.at(1).at(2).toString(), qt_error_string(ENAMETOOLONG));
    EXPECT_EQ(notStored.at(2).at(0).toInt(), 3);
    EXPECT_EQ(notStored.at(2).at(1).toString(), folder + QStringLiteral("m/full.mp3"));
    EXPECT_EQ(notStored.at(2).at(2).toString(), qt_error_string(EFBIG));
}

TEST_F(ClientTransferTest, AnswersThatRestartOrEndTheFetchAndALostConnection)
{
    // Started over: the bytes so far are dropped.
    send("SetMusic\r\n/m/a.mp3");
    expectSent("SetFile\r\n/m/a.mp3\r\n0");
    send("SetFileDone\r\n/m/a.mp3\r\n3");
    expectSent("GetFile\r\n/m/a.mp3\r\n0");
    send("ab" + doGetFile);
    expectSent("GetFile\r\n/m/a.mp3\r\n0");
    send("ReStartPutFile\r\n ");
    expectSent("SetFile\r\n/m/a.mp3\r\n0");
    serve("/m/a.mp3", 0, "abc", "AllFilesLoaded\r\n");
    EXPECT_EQ(fileBytes(folder + QStringLiteral("m/a.mp3")), QByteArray("abc"));

    // No run on the server: the fetch ends until the next list.
    send("SetMusic\r\n/m/c.mp3");
    expectSent("SetFile\r\n/m/c.mp3\r\n0");
    send("SkipFiles\r\n ");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !transfer.isFetching(); }, waitMs));

    // The connection lost mid-song leaves no file.
    send("SetMusic\r\n/m/d.mp3");
    expectSent("SetFile\r\n/m/d.mp3\r\n0");
    send("SetFileDone\r\n/m/d.mp3\r\n9000");
    expectSent("GetFile\r\n/m/d.mp3\r\n0");
    sendInPieces(songBytes(4000, 3), 1000);
    QSignalSpy closed(&role, &ClientRole::closedByServer);
    server->disconnectFromHost();
    ASSERT_TRUE(closed.wait(waitMs));
    EXPECT_FALSE(transfer.isFetching());
    EXPECT_EQ(filesBelow(folder), QStringList{QStringLiteral("m/a.mp3")});
}

} // namespace
