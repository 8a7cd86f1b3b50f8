// A whole run in one process: a server window and two client windows on 127.0.0.1, three
// songs distributed byte for byte, "PlayMusic" 0 and 1 playing on both clients, the stop
// stopping them.
#include "app/MainWindow.h"
#include "net/ServerRole.h"
#include "tests/support/ScriptedDialogs.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <array>
#include <memory>

namespace {

constexpr int waitMs = 30000;

const std::array<QString, 3> kSongs = {
    QStringLiteral(TUNVERO_TEST_SONGS "/cbr_48k_mono.mp3"),
    QStringLiteral(TUNVERO_TEST_SONGS "/cbr_32k_stereo.mp3"),
    QStringLiteral(TUNVERO_TEST_SONGS "/vbr_44k_stereo.mp3"),
};

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// One copy of the program: its window, scripted dialogs and a download folder of its own.
struct Copy {
    explicit Copy(const QString &volumeRoot)
        : window(dialogs, DownloadFolderRule(QDir::homePath(), [volumeRoot](const QString &) { return volumeRoot; }))
    {
        dialogs.then(folder.path());
        EXPECT_TRUE(window.Form_Load());
    }

    QString mode(int slot)
    {
        QString answer;
        window.mediaService().sendString(QStringLiteral("status ClientTunveroID%1 mode").arg(slot), &answer);
        return answer;
    }

    QTemporaryDir folder;
    ScriptedDialogs dialogs;
    MainWindow window;
};

class WholeRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The download-folder question wants a volume that lists something.
        QFile marker(volume.filePath(QStringLiteral("finns")));
        ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
        server = std::make_unique<Copy>(volume.path());
        for (auto &client : clients)
            client = std::make_unique<Copy>(volume.path());
    }

    QTemporaryDir volume;
    std::unique_ptr<Copy> server;
    std::array<std::unique_ptr<Copy>, 2> clients;
};

} // namespace

TEST_F(WholeRunTest, SongsArriveWholeAndEveryClientPlaysTheAnnouncedSongUntilTheStop)
{
    MainWindow &s = server->window;
    s.serverRole().setListenAddress(QHostAddress::LocalHost);
    s.session().setPort(0);
    s.controls().chkServer->setChecked(true);
    ASSERT_TRUE(s.serverRole().isListening());
    for (const QString &song : kSongs)
        ASSERT_TRUE(s.playlist().appendLoaded(song, song));

    for (int i = 0; i < 2; ++i) {
        Copy &client = *clients[i];
        client.window.session().setPort(s.serverRole().listeningPort());
        client.window.controls().chkClient->setChecked(true);
        client.dialogs.then(QStringLiteral("127.0.0.1"));
        client.window.controls().cmdClient->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.serverRole().isReady(i + 1); }, waitMs));
    }

    QSignalSpy loaded(&s.serverRole(), &ServerRole::allFilesLoadedReceived);
    server->dialogs.then(DialogAnswer::Yes); // "Starta nu?"
    s.controls().cmdServer->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded.count() == 2; }, waitMs));
    for (auto &client : clients) {
        const QString root = client->window.downloadFolder();
        for (const QString &song : kSongs) {
            const QString local = root + QString(song).remove(QLatin1Char(':')).mid(1);
            EXPECT_EQ(contentOf(local), contentOf(song)) << local.toStdString();
        }
    }

    ASSERT_TRUE(s.controls().cmdStartPlay->isEnabled());
    s.controls().cmdStartPlay->click();
    for (int slot : {0, 1}) {
        for (auto &client : clients) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return client->mode(slot) == QStringLiteral("playing"); }, waitMs))
                << "slot " << slot;
            EXPECT_EQ(client->window.controls().lblPlaying->toolTip(), kSongs[slot]);
            for (int other = 0; other < 3; ++other) {
                if (other != slot) {
                    EXPECT_EQ(client->mode(other), QStringLiteral("stopped"));
                }
            }
        }
    }

    server->dialogs.then(DialogAnswer::Yes); // "Stoppa?"
    s.controls().cmdServer->click();
    for (auto &client : clients)
        EXPECT_TRUE(QTest::qWaitFor([&] { return client->mode(1) == QStringLiteral("stopped"); }, waitMs));
    EXPECT_EQ(s.controls().cmdServer->text(), QStringLiteral("Starta"));
    for (auto &client : clients)
        EXPECT_EQ(client->dialogs.messageTexts().size(), 0u);
}
