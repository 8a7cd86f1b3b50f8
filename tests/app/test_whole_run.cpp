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

} // namespace

TEST(WholeRunTest, SongsArriveWholeAndEveryClientPlaysTheAnnouncedSongUntilTheStop)
{
    const std::array<QString, 3> songs = {QStringLiteral(TUNVERO_TEST_SONGS "/cbr_48k_mono.mp3"),
                                          QStringLiteral(TUNVERO_TEST_SONGS "/cbr_32k_stereo.mp3"),
                                          QStringLiteral(TUNVERO_TEST_SONGS "/vbr_44k_stereo.mp3")};
    // The download-folder question wants a volume that lists something.
    QTemporaryDir volume;
    ASSERT_TRUE(QFile(volume.filePath(QStringLiteral("finns"))).open(QIODevice::WriteOnly));
    Copy server(volume.path());
    std::array<std::unique_ptr<Copy>, 2> clients;
    MainWindow &s = server.window;
    s.serverRole().setListenAddress(QHostAddress::LocalHost);
    s.session().setPort(0);
    s.controls().chkServer->setChecked(true);
    ASSERT_TRUE(s.serverRole().isListening());
    for (const QString &song : songs)
        ASSERT_TRUE(s.playlist().appendLoaded(song, song));

    for (int i = 0; i < 2; ++i) {
        clients[i] = std::make_unique<Copy>(volume.path());
        MainWindow &client = clients[i]->window;
        client.session().setPort(s.serverRole().listeningPort());
        client.controls().chkClient->setChecked(true);
        clients[i]->dialogs.then(QStringLiteral("127.0.0.1"));
        client.controls().cmdClient->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return s.serverRole().isReady(i + 1); }, waitMs));
    }

    QSignalSpy loaded(&s.serverRole(), &ServerRole::allFilesLoadedReceived);
    server.dialogs.then(DialogAnswer::Yes); // "Starta nu?"
    s.controls().cmdServer->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded.count() == 2; }, waitMs));
    for (auto &client : clients) {
        for (const QString &song : songs) {
            const QString local = client->window.downloadFolder() + QString(song).remove(QLatin1Char(':')).mid(1);
            EXPECT_EQ(contentOf(local), contentOf(song)) << local.toStdString();
        }
    }

    ASSERT_TRUE(s.controls().cmdStartPlay->isEnabled());
    s.controls().cmdStartPlay->click();
    for (int slot : {0, 1}) {
        for (auto &client : clients) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return client->mode(slot) == QStringLiteral("playing"); }, waitMs))
                << "slot " << slot;
            EXPECT_EQ(client->window.controls().lblPlaying->toolTip(), songs[slot]);
            for (int other = 0; other < 3; ++other)
                EXPECT_TRUE(other == slot || client->mode(other) == QStringLiteral("stopped")) << other;
        }
    }

    server.dialogs.then(DialogAnswer::Yes); // "Stoppa?"
    s.controls().cmdServer->click();
    for (auto &client : clients)
        EXPECT_TRUE(QTest::qWaitFor([&] { return client->mode(1) == QStringLiteral("stopped"); }, waitMs));

    // A second run: every client has the songs already, reports again and plays again.
    server.dialogs.then(DialogAnswer::Yes); // "Starta nu?"
    s.controls().cmdServer->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded.count() == 4; }, waitMs));
    ASSERT_TRUE(s.controls().cmdStartPlay->isEnabled());
    s.controls().cmdStartPlay->click();
    for (auto &client : clients) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return client->mode(0) == QStringLiteral("playing"); }, waitMs));
        EXPECT_EQ(client->dialogs.messageTexts().size(), 0u);
    }
}
