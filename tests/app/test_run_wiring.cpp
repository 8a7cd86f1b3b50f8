// A playback run in the window's controls, with a server role on 127.0.0.1 and raw clients:
// the refusals, the start's window and "SetMusic" bytes, playing, the stop and its layout.
#include "app/PercentBar.h"
#include "app/RunWiring.h"
#include "app/WindowControls.h"
#include "app/WindowLayouts.h"
#include "net/ClientRole.h"
#include "net/ServerRole.h"
#include "playback/MediaService.h"
#include "playback/ModMultimedia.h"
#include "playlist/ListWidgetEntries.h"
#include "playlist/PlaylistEditor.h"
#include "tests/net/Loopback.h"
#include "tests/support/ScriptedDialogs.h"

#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

class RunWiringTest : public ::testing::Test {
protected:
    RunWiringTest()
    {
        server.setListenAddress(QHostAddress::LocalHost);
        EXPECT_TRUE(server.listen(0));
        session.setServer(true);
        session.setAcceptNewClients(true);
        layouts.applyServerRole(true);
        c.cmdServer->setEnabled(true);
    }

    // A greeted client of the server; `answerProbe` makes it ready for broadcasts.
    QTcpSocket &connectClient(bool answerProbe)
    {
        QSignalSpy accepted(&server, &ServerRole::clientAccepted);
        QTcpSocket &client = *clients.emplace_back(std::make_unique<QTcpSocket>());
        client.connectToHost(QHostAddress::LocalHost, server.listeningPort());
        EXPECT_TRUE(accepted.wait(waitMs));
        client.write("Connected\r\n");
        EXPECT_EQ(readBytes(client, 15), QByteArray("TimerResponse\r\n"));
        if (answerProbe) {
            client.write("MirrorTimerResponse\r\n");
            EXPECT_TRUE(QTest::qWaitFor([&] { return server.isReady(accepted.at(0).at(0).toInt()); }, waitMs));
        }
        return client;
    }

    void addSongs(const QStringList &paths)
    {
        for (const QString &path : paths)
            playlist.appendLoaded(path, path);
    }

    // "Starta" or "Stoppa" clicked and answered Yes; a start waits for the preparation.
    void startOrStop()
    {
        const bool starting = !session.runActive();
        dialogs.then(DialogAnswer::Yes);
        c.cmdServer->click();
        if (starting) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return shown(c.cmdStartPlay); }, waitMs));
        }
    }

    bool shown(QWidget *w) const { return w->isVisibleTo(&window); }

    QWidget window;
    WindowControls c = createWindowControls(&window);
    WindowLayouts layouts{c};
    ListWidgetEntries entries{c.lstFiles};
    PlaylistEditor playlist{entries, [] {}};
    ScriptedDialogs dialogs;
    SessionState session;
    ServerRole server{session};
    ClientRole client{c.tmrClient};
    MediaService mediaService;
    ModMultimedia media{mediaService};
    RunWiring run{c, layouts, playlist, dialogs, session, server, client, media, [] {}};
    std::vector<std::unique_ptr<QTcpSocket>> clients;
};

TEST_F(RunWiringTest, AStartIsRefusedWithoutSongsClientsOrWithALineBreakInANameAndDeclinedWithNo)
{
    dialogs.then(DialogAnswer::Ok).then(DialogAnswer::Ok).then(DialogAnswer::Ok).then(DialogAnswer::No);
    c.cmdServer->click();
    addSongs({QStringLiteral("/m/a.mp3")});
    c.cmdServer->click();
    QTcpSocket &peer = connectClient(true);
    addSongs({QStringLiteral("/m/två\nrader.mp3")});
    c.cmdServer->click();
    playlist.reset();
    addSongs({QStringLiteral("/m/a.mp3")});
    session.setAcceptNewClients(false);
    c.cmdServer->click();

    const std::vector<QString> texts = dialogs.messageTexts();
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts[0], QStringLiteral("Du har inga låtar i playlisten!"));
    EXPECT_EQ(texts[1], QStringLiteral("Det finns inga klienter anslutna!"));
    EXPECT_TRUE(texts[2].contains(QStringLiteral("radbrytning")));
    EXPECT_EQ(texts[3], QStringLiteral("Vill du verkligen starta nu?\n"
                                       "De datorer som ännu inte anslutit kan inte ansluta längre..."));
    EXPECT_EQ(dialogs.last().message.defaultButton, DialogAnswer::No);
    EXPECT_TRUE(session.acceptNewClients()); // No lets newcomers in again
    EXPECT_FALSE(session.runActive() || shown(c.lstFilesPlay));
    QTest::qWait(50);
    EXPECT_EQ(peer.readAll(), QByteArray()); // nothing was sent
}

TEST_F(RunWiringTest, ARunSendsTheSongListToReadyClientsOnlyAndTheStopRestoresTheWindow)
{
    const QString path = QStringLiteral(TUNVERO_TEST_SONGS "/cbr_44k_stereo.mp3");
    addSongs({path});
    QTcpSocket &ready = connectClient(true);
    QTcpSocket &silent = connectClient(false);
    startOrStop();
    EXPECT_TRUE(session.runActive() && layouts.isPlaylistEnlarged());
    EXPECT_FALSE(session.acceptNewClients() || c.dirFiles->isEnabled());
    const QByteArray setMusic = "SetMusic\r\n" + path.toUtf8(); // one song: no CR LF after it
    EXPECT_EQ(readBytes(ready, setMusic.size()), setMusic);
    c.cmdStartPlay->click();
    EXPECT_EQ(readBytes(ready, 12), QByteArray("PlayMusic\r\n0"));
    startOrStop();
    EXPECT_EQ(c.cmdServer->text(), QStringLiteral("Starta"));
    EXPECT_FALSE(c.tmrStopMusic->isActive() || session.runActive() || shown(c.lstFilesPlay));
    EXPECT_TRUE(session.acceptNewClients() && c.dirFiles->isEnabled());
    EXPECT_FALSE(layouts.isPlaylistEnlarged()); // started from the normal layout
    EXPECT_EQ(readBytes(ready, 14), QByteArray("StopAllMusic\r\n"));
    QTest::qWait(50);
    EXPECT_EQ(silent.readAll(), QByteArray()); // it never answered the probe

    // Three songs from the enlarged playlist: CR LF between them only, and the stop keeps
    // the layout.
    playlist.reset();
    addSongs({QStringLiteral("/m/a.mp3"), QStringLiteral("/m/b.mp3"), QStringLiteral("/m/c.mp3")});
    layouts.togglePlaylist();
    startOrStop();
    const QByteArray three = "SetMusic\r\n/m/a.mp3\r\n/m/b.mp3\r\n/m/c.mp3";
    EXPECT_EQ(readBytes(ready, three.size()), three);
    startOrStop();
    EXPECT_EQ(readBytes(ready, 14), QByteArray("StopAllMusic\r\n"));
    EXPECT_TRUE(layouts.isPlaylistEnlarged());

    // 202 songs: the surplus is told once, then the question, and 201 go out.
    playlist.reset();
    QStringList many;
    for (int i = 0; i < 202; ++i)
        many.append(QStringLiteral("/m/%1.mp3").arg(i));
    addSongs(many);
    dialogs.clear();
    dialogs.then(DialogAnswer::Ok);
    startOrStop();
    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_TRUE(dialogs.shown()[0].message.text.contains(QStringLiteral("201")));
    const QByteArray list = "SetMusic\r\n" + many.mid(0, 201).join(QStringLiteral("\r\n")).toUtf8();
    EXPECT_EQ(readBytes(ready, list.size()), list);
}

TEST_F(RunWiringTest, ANewcomerDuringARunGetsTheSongListAndTheStartButtonShowsTheHouse)
{
    const QString path = QStringLiteral(TUNVERO_TEST_SONGS "/cbr_44k_stereo.mp3");
    addSongs({path});
    const QString ownToolTip = c.cmdServer->toolTip();
    QTcpSocket &first = connectClient(true);
    startOrStop();
    const QByteArray setMusic = "SetMusic\r\n" + path.toUtf8();
    EXPECT_EQ(readBytes(first, setMusic.size()), setMusic);
    EXPECT_EQ(c.cmdServer->toolTip(), QStringLiteral("I körningen: 1 klient, 0 har alla låtar"));
    first.write("AllFilesLoaded\r\n");
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return c.cmdServer->toolTip() == QStringLiteral("I körningen: 1 klient, 1 har alla låtar"); }, waitMs));

    QTcpSocket &late = connectClient(true);
    EXPECT_EQ(readBytes(late, setMusic.size()), setMusic);
    EXPECT_EQ(c.cmdServer->toolTip(), QStringLiteral("Klient 2 anslöt\nI körningen: 2 klienter, 1 har alla låtar"));
    first.disconnectFromHost();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return c.cmdServer->toolTip() ==
                   QStringLiteral("Klient 1 lämnade\nI körningen: 1 klient, 0 har alla låtar");
        },
        waitMs));
    startOrStop();
    EXPECT_EQ(c.cmdServer->toolTip(), ownToolTip);
}

TEST_F(RunWiringTest, TheButtonWaitsForThePreparationUnlessTheStopIsForced)
{
    connectClient(true);
    addSongs({QStringLiteral("/m/a.mp3")});
    int clears = 0;
    run.setTransfer({.prepare = [](const QStringList &) {}, .clear = [&] { ++clears; }, .resetSpeed = [] {}});
    dialogs.then(DialogAnswer::Yes);
    c.cmdServer->click();
    run.serverRun().preparationProgress(50);
    EXPECT_EQ(c.prgFile->percent(), 50);
    c.cmdServer->click(); // inert: no question
    EXPECT_EQ(dialogs.shown().size(), 1u);

    // The role switched off: the run stops without asking.
    c.cmdServer->setText(QStringLiteral("Stoppa"));
    {
        StopWithoutAskingScope silent(session);
        run.cmdServer_Click();
    }
    EXPECT_EQ(clears, 1);
    EXPECT_FALSE(session.runActive() || shown(c.lstFilesPlay));
    run.serverRun().preparationDone(); // late: the run is over
    EXPECT_FALSE(shown(c.cmdStartPlay));
}

} // namespace
