// A playback run in the window's controls, with a server role on 127.0.0.1 and raw clients:
// the refusals, the start's window and "SetMusic" bytes, playing, the stop and its layout,
// and the play list's ticks and path box.
#include "app/PercentBar.h"
#include "app/RunWiring.h"
#include "app/Twips.h"
#include "app/WindowControls.h"
#include "app/WindowLayouts.h"
#include "net/ClientRole.h"
#include "net/ServerRole.h"
#include "playback/MediaService.h"
#include "playback/ModMultimedia.h"
#include "playlist/ListWidgetEntries.h"
#include "playlist/PlaylistEditor.h"
#include "tests/support/ScriptedDialogs.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTcpSocket>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <vector>

namespace {

constexpr int waitMs = 10000;

QString song(const char *name)
{
    return QStringLiteral(TUNVERO_TEST_SONGS "/") + QLatin1String(name) + QStringLiteral(".mp3");
}

// Collects what a raw client receives.
struct RawClient {
    std::unique_ptr<QTcpSocket> socket = std::make_unique<QTcpSocket>();
    QByteArray received;

    // Everything received once `expected` has come; more than that fails the caller's check.
    QByteArray until(const QByteArray &expected)
    {
        (void)QTest::qWaitFor(
            [&] {
                received += socket->readAll();
                return received.size() >= expected.size();
            },
            waitMs);
        return received;
    }
};

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

    // A client of the server; `answerProbe` makes it ready for broadcasts.
    RawClient &connectClient(bool answerProbe)
    {
        QSignalSpy accepted(&server, &ServerRole::clientAccepted);
        clients.emplace_back();
        RawClient &client = clients.back();
        client.socket->connectToHost(QHostAddress::LocalHost, server.listeningPort());
        EXPECT_TRUE(accepted.wait(waitMs));
        const int index = accepted.at(0).at(0).toInt();
        client.socket->write("Connected\r\n");
        EXPECT_EQ(client.until("TimerResponse\r\n"), QByteArray("TimerResponse\r\n"));
        client.received.clear();
        if (answerProbe) {
            client.socket->write("MirrorTimerResponse\r\n");
            EXPECT_TRUE(QTest::qWaitFor([&] { return server.isReady(index); }, waitMs));
        }
        return client;
    }

    void addSongs(const QStringList &paths)
    {
        for (const QString &path : paths)
            playlist.appendLoaded(path, path);
    }

    // "Starta" answered Yes, and the preparation done.
    void start()
    {
        dialogs.then(DialogAnswer::Yes);
        c.cmdServer->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return c.cmdStartPlay->isVisibleTo(&window); }, waitMs));
    }

    void stop()
    {
        dialogs.then(DialogAnswer::Yes);
        c.cmdServer->click();
    }

    void forcedStop()
    {
        c.cmdServer->setText(QStringLiteral("Stoppa"));
        StopWithoutAskingScope silent(session);
        run.cmdServer_Click();
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
    std::deque<RawClient> clients;
};

TEST_F(RunWiringTest, AStartIsRefusedWithoutSongsOrClientsAndDeclinedWithNo)
{
    dialogs.then(DialogAnswer::Ok).then(DialogAnswer::Ok).then(DialogAnswer::No);
    c.cmdServer->click();
    addSongs({song("cbr_44k_stereo")});
    c.cmdServer->click();
    connectClient(true);
    session.setAcceptNewClients(false);
    c.cmdServer->click();

    EXPECT_EQ(dialogs.messageTexts(),
              (std::vector<QString>{QStringLiteral("Du har inga låtar i playlisten!"),
                                    QStringLiteral("Det finns inga klienter anslutna!"),
                                    QStringLiteral("Vill du verkligen starta nu?\n"
                                                   "De datorer som ännu inte anslutit kan inte ansluta längre...")}));
    EXPECT_EQ(dialogs.last().message.defaultButton, DialogAnswer::No);
    EXPECT_TRUE(session.acceptNewClients()); // No lets newcomers in again
    EXPECT_FALSE(session.runActive() || shown(c.lstFilesPlay));
    EXPECT_EQ(clients[0].until({}), QByteArray()); // nothing was sent
}

TEST_F(RunWiringTest, ARunReachesOnlyReadyClientsAndTheStopRestoresTheWindow)
{
    const QString path = song("cbr_44k_stereo");
    addSongs({path});
    RawClient &ready = connectClient(true);
    RawClient &silent = connectClient(false);
    c.cmdSpeed->setText(QStringLiteral("Hastighet: Hög"));
    start();

    EXPECT_EQ(c.cmdServer->text(), QStringLiteral("Stoppa"));
    EXPECT_TRUE(session.runActive() && layouts.isPlaylistEnlarged());
    EXPECT_FALSE(session.acceptNewClients() || shown(c.lstFiles));
    const std::vector<QWidget *> browsing{c.lstFiles, c.dirFiles, c.filFiles, c.drvFiles};
    for (QWidget *w : browsing)
        EXPECT_FALSE(w->isEnabled());
    EXPECT_EQ(c.lstFilesPlay->geometry(), c.lstFiles->geometry().adjusted(0, 0, 0, twips::toPixels(30)));
    ASSERT_EQ(c.lstFilesPlay->count(), 1);
    EXPECT_EQ(c.lstFilesPlay->item(0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(c.txtFiles->text(), path);
    EXPECT_TRUE(c.cmdStartPlay->isEnabled() && shown(c.cmdSpeed));
    EXPECT_EQ(c.cmdSpeed->text(), QStringLiteral("Hastighet: Låg"));
    const QByteArray setMusic = "SetMusic\r\n" + path.toUtf8(); // one song: no CR LF after it
    EXPECT_EQ(ready.until(setMusic), setMusic);

    c.cmdStartPlay->click();
    EXPECT_FALSE(c.cmdStartPlay->isEnabled());
    EXPECT_EQ(c.lstFilesPlay->item(0)->checkState(), Qt::Checked);
    const QByteArray played = setMusic + "PlayMusic\r\n0";
    EXPECT_EQ(ready.until(played), played);

    stop();
    EXPECT_EQ(c.cmdServer->text(), QStringLiteral("Starta"));
    EXPECT_FALSE(c.tmrStopMusic->isActive() || session.runActive());
    EXPECT_TRUE(session.acceptNewClients());
    EXPECT_FALSE(layouts.isPlaylistEnlarged()); // started from the normal layout
    for (QWidget *w : browsing) {
        EXPECT_TRUE(w->isEnabled() && shown(w));
        EXPECT_EQ(w->palette().color(QPalette::Base), QColor(Qt::white));
    }
    for (QWidget *w : std::vector<QWidget *>{c.lstFilesPlay, c.cmdStartPlay, c.cmdSpeed, c.txtFiles})
        EXPECT_FALSE(shown(w));
    const QByteArray all = played + "StopAllMusic\r\n";
    EXPECT_EQ(ready.until(all), all);
    // The client that never answered the probe heard none of it.
    QTest::qWait(50);
    EXPECT_EQ(silent.until({}), QByteArray());
}

TEST_F(RunWiringTest, TheSongListHasNoLineEndAfterTheLastAndHoldsAtMost201SongsAndTheStopKeepsTheLayout)
{
    RawClient &ready = connectClient(true);
    addSongs({QStringLiteral("/m/a.mp3"), QStringLiteral("/m/b.mp3"), QStringLiteral("/m/c.mp3")});
    layouts.togglePlaylist();
    start();
    const QByteArray three = "SetMusic\r\n/m/a.mp3\r\n/m/b.mp3\r\n/m/c.mp3";
    EXPECT_EQ(ready.until(three), three);
    stop();
    const QByteArray stopped = three + "StopAllMusic\r\n";
    EXPECT_EQ(ready.until(stopped), stopped);
    ready.received.clear();
    EXPECT_TRUE(layouts.isPlaylistEnlarged()); // the run started from the enlarged playlist

    playlist.reset();
    QStringList many;
    for (int i = 0; i < 202; ++i)
        many.append(QStringLiteral("/m/%1.mp3").arg(i));
    addSongs(many);
    dialogs.clear();
    dialogs.then(DialogAnswer::Ok);
    start();
    ASSERT_EQ(dialogs.shown().size(), 2u); // the surplus told once, then the question
    EXPECT_TRUE(dialogs.shown()[0].message.text.contains(QStringLiteral("201")));
    EXPECT_EQ(c.lstFilesPlay->count(), 201);
    QByteArray list = "SetMusic\r\n";
    for (int i = 0; i < 201; ++i)
        list += (i ? "\r\n" : "") + many[i].toUtf8();
    EXPECT_EQ(ready.until(list), list);
    stop();
    forcedStop(); // the role switched off later changes nothing
    EXPECT_TRUE(layouts.isPlaylistEnlarged());
}

TEST_F(RunWiringTest, TheButtonWaitsForThePreparationUnlessTheStopIsForced)
{
    connectClient(true);
    addSongs({QStringLiteral("/m/a.mp3"), QStringLiteral("/m/b.mp3")});
    int clears = 0;
    run.setTransfer({.prepare = [](const QStringList &) {}, .clear = [&] { ++clears; }, .resetSpeed = [] {}});
    dialogs.then(DialogAnswer::Yes);
    c.cmdServer->click();
    run.serverRun().preparationProgress(50);
    EXPECT_EQ(c.prgFile->percent(), 50);
    c.cmdServer->click(); // inert: no question
    EXPECT_EQ(dialogs.shown().size(), 1u);

    forcedStop();
    EXPECT_EQ(clears, 1);
    EXPECT_FALSE(session.runActive() || shown(c.lstFilesPlay));
    run.serverRun().preparationDone(); // late: the run is over
    EXPECT_FALSE(shown(c.cmdStartPlay));
}

TEST_F(RunWiringTest, TicksCannotBeClickedAndAClickShowsTheFullPath)
{
    connectClient(true);
    addSongs({QStringLiteral("/m/a.mp3"), QStringLiteral("/m/b.mp3")});
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    start();
    QListWidget *list = c.lstFilesPlay;
    QListWidgetItem *item = list->item(1);
    QStyleOptionViewItem option;
    option.initFrom(list);
    option.rect = list->visualItemRect(item);
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = item->text();
    option.checkState = item->checkState();
    const QRect box = list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
    QSignalSpy changed(list, &QListWidget::itemChanged);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
    EXPECT_GE(changed.size(), 2); // ticked by the click and unticked again at once
    EXPECT_EQ(item->checkState(), Qt::Unchecked);

    EXPECT_EQ(c.txtFiles->text(), QStringLiteral("/m/a.mp3"));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, option.rect.center());
    EXPECT_EQ(c.txtFiles->text(), QStringLiteral("/m/b.mp3"));
    EXPECT_EQ(item->checkState(), Qt::Unchecked);
}

} // namespace
