// The whole transfer end to end: the real server role and two real client roles on
// 127.0.0.1 move three songs, and every stored copy is the original byte for byte.
#include "core/SessionState.h"
#include "net/ClientRole.h"
#include "net/ServerRole.h"
#include "platform/MediaShortPath.h"
#include "playback/ModMultimedia.h"
#include "tests/playback/RecordingMediaService.h"
#include "tests/transfer/TransferPeers.h"
#include "transfer/ClientTransfer.h"
#include "transfer/ServerTransfer.h"
#include "transfer/SongStore.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

// One client computer: its role, its media layer and its transfer.
struct Client {
    explicit Client(const QString &downloadFolder) : folder(downloadFolder)
    {
        QObject::connect(&role, &ClientRole::setMusic, &transfer, &ClientTransfer::startSongList);
    }

    QString folder;
    QTimer tmrClient;
    QTimer tmrGetFile;
    ClientRole role{&tmrClient};
    RecordingMediaService service;
    ModMultimedia media{service, [](const QString &path) {
                            return MediaShortPath::Result{MediaShortPath::Result::Outcome::Made, path};
                        }};
    ClientTransfer transfer{role, media, &tmrGetFile, [this] { return folder; }};
};

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

    std::vector<std::unique_ptr<Client>> clients;
    for (const QString &name : {QStringLiteral("/a/"), QStringLiteral("/b/")}) {
        clients.push_back(std::make_unique<Client>(temp.path() + name));
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

} // namespace
