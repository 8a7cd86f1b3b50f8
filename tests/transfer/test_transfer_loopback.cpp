// The whole transfer end to end: the real server role and two real client roles on
// 127.0.0.1 move three songs, and every stored copy is the original byte for byte.
#include "core/SessionState.h"
#include "net/ServerRole.h"
#include "tests/net/WordySong.h"
#include "tests/transfer/TransferPeers.h"
#include "transfer/ServerTransfer.h"
#include "transfer/SongStore.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace {

TEST(TransferLoopback, TwoClientsReceiveThreeSongsWhole)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QList<QByteArray> songs = {songBytes(9000, 7), QByteArray(), songBytes(450001, 8)};
    const QStringList paths = {temp.path() + QStringLiteral("/server/Musik/l\u00E5t.mp3"),
                               temp.path() + QStringLiteral("/server/Musik/tom.mp3"),
                               temp.path() + QStringLiteral("/server/Pop/stor.mp3")};
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(writeFile(paths[i], songs[i]));

    SessionState session;
    session.setAcceptNewClients(true);
    ServerRole server(session);
    server.setListenAddress(QHostAddress::LocalHost);
    ASSERT_TRUE(server.listen(0));
    SongStore store;
    ServerTransfer transfer(server, session, store);

    std::vector<std::unique_ptr<ClientPeer>> clients;
    for (const QString &name : {QStringLiteral("/a/"), QStringLiteral("/b/")}) {
        clients.push_back(std::make_unique<ClientPeer>(temp.path() + name));
        clients.back()->role.connectToServer(QStringLiteral("127.0.0.1"), server.listeningPort());
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.isReady(1) && server.isReady(2); }, waitMs));

    // The start of a run, as the run's start does it.
    QSignalSpy prepared(&store, &SongStore::prepared);
    store.prepare(paths);
    ASSERT_TRUE(prepared.wait(waitMs));
    session.setRunActive(true);
    // High speed from the run's second chunk on.
    QObject::connect(&server, &ServerRole::getFileReceived, &transfer, [&transfer] {
        if (transfer.speed().TransferPartBytes() == TransferSpeed::lowBytes)
            transfer.speed().cmdSpeed_Click();
    });
    QByteArray list;
    for (const QString &path : paths)
        list += (list.isEmpty() ? "" : "\r\n") + path.toLocal8Bit();
    server.SendMessageAll("SetMusic", list);

    ASSERT_TRUE(QTest::qWaitFor([&] { return transfer.ClientAllFilesLoaded(1) && transfer.ClientAllFilesLoaded(2); },
                                4 * waitMs));
    for (const auto &client : clients) {
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(fileBytes(client->folder + paths[i].sliced(1)), songs[i]) << i;
        EXPECT_EQ(filesBelow(client->folder).size(), 3);
    }
}

TEST(TransferLoopback, ASongHoldingWireWordsComesWholeFirstOfFourAtEitherSpeedAndAcrossSwitches)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QList<QByteArray> songs = {wordySong(1000 * 1000, 5), songBytes(9000, 6), QByteArray("tiny"),
                                     songBytes(4000, 7)};
    QStringList paths;
    QByteArray list;
    for (int i = 0; i < songs.size(); ++i) {
        paths.append(temp.path() + QStringLiteral("/server/song%1.mp3").arg(i));
        ASSERT_TRUE(writeFile(paths.back(), songs[i]));
        list += (list.isEmpty() ? "" : "\r\n") + paths.back().toLocal8Bit();
    }

    SessionState session;
    session.setAcceptNewClients(true);
    ServerRole server(session);
    server.setListenAddress(QHostAddress::LocalHost);
    ASSERT_TRUE(server.listen(0));
    SongStore store;
    ServerTransfer transfer(server, session, store);
    QSignalSpy prepared(&store, &SongStore::prepared);
    store.prepare(paths);
    ASSERT_TRUE(prepared.wait(waitMs));
    session.setRunActive(true);

    // A fresh client for each way of sending, fetching while the speed stays low, stays
    // high, or is switched every third chunk.
    int asked = 0;
    bool switching = false;
    QObject::connect(&server, &ServerRole::getFileReceived, &transfer, [&] {
        if (switching && ++asked % 3 == 0)
            transfer.speed().cmdSpeed_Click();
    });
    for (int index = 1; index <= 3; ++index) {
        SCOPED_TRACE(index);
        if (index == 2)
            transfer.speed().cmdSpeed_Click();
        switching = index == 3;
        ClientPeer client(temp.path() + QStringLiteral("/client%1/").arg(index));
        client.role.connectToServer(QStringLiteral("127.0.0.1"), server.listeningPort());
        ASSERT_TRUE(QTest::qWaitFor([&] { return server.isReady(index); }, waitMs));
        QSignalSpy givenUp(&client.transfer, &ClientTransfer::songGivenUp);
        server.SendMessageAll("SetMusic", list);
        ASSERT_TRUE(QTest::qWaitFor([&] { return transfer.ClientAllFilesLoaded(index); }, 3 * waitMs));
        EXPECT_EQ(givenUp.size(), 0);
        for (int i = 0; i < songs.size(); ++i)
            EXPECT_TRUE(fileBytes(client.folder + paths[i].sliced(1)) == songs[i]) << i;
        client.role.close();
    }
}

} // namespace
