#include "core/SessionState.h"
#include "playlist/PlaylistPanel.h"
#include "tests/support/ScriptedDialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <utility>

namespace {

// The panel's controls on one window: the three lists side by side, the rest anywhere.
PlaylistPanel::Widgets makeWidgets(QWidget &window)
{
    int x = 0;
    const auto list = [&] {
        auto *l = new QListWidget(&window);
        l->setGeometry(std::exchange(x, x + 210), 0, 200, 200);
        return l;
    };
    const auto button = [&] { return new QPushButton(&window); };
    const auto box = [&] { return new QLineEdit(&window); };
    return {list(),   new QComboBox(&window),
            list(),   list(),
            button(), button(),
            button(), button(),
            box(),    button(),
            box(),    button(),
            button()};
}

// The panel with the server role on and the browser in a folder of three songs. The layout
// toggles are only counted (as "p", "d" and "f"); the window's layouts have their own test.
class PlaylistPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *name : {"a.mp3", "b.mp3", "c.mp3"})
            ASSERT_TRUE(QFile(song(name)).open(QIODevice::WriteOnly));
        w.txtFiles->hide();
        window.resize(640, 300);
        window.show();
        session.setServer(true);
        panel.start({{QStringLiteral("Enhet C"), QDir::rootPath()}});
        panel.browser().openFolder(songsFolder.path());
    }

    QString song(const char *name) const { return songsFolder.filePath(QString::fromUtf8(name)); }

    static QPoint rowCentre(QListWidget *list, int row) { return list->visualItemRect(list->item(row)).center(); }

    static void click(QListWidget *list, int row, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mouseClick(list->viewport(), button, {}, rowCentre(list, row));
    }

    static void doubleClick(QListWidget *list, int row)
    {
        click(list, row);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rowCentre(list, row));
    }

    QTemporaryDir songsFolder;
    QWidget window;
    const PlaylistPanel::Widgets w = makeWidgets(window);
    ScriptedDialogs dialogs;
    SessionState session;
    bool playlistEnlarged = false;
    QString toggles;
    PlaylistPanel panel{w,
                        dialogs,
                        session,
                        {.isPlaylistEnlarged = [this] { return playlistEnlarged; },
                         .togglePlaylist = [this] { toggles += QLatin1Char('p'); },
                         .toggleFolderList = [this] { toggles += QLatin1Char('d'); },
                         .toggleFileList = [this] { toggles += QLatin1Char('f'); }}};
};

} // namespace

TEST_F(PlaylistPanelTest, ButtonsAndDoubleClicksFollowTheChosenFilesMembership)
{
    // The folder change shows the folder last, after the file selections it ran.
    EXPECT_EQ(w.txtDirectorys->text(), songsFolder.path());
    click(w.filFiles, 1);
    w.cmdAdd->click();
    EXPECT_EQ(panel.editor().fullPaths(), QStringList{song("b.mp3")});
    EXPECT_FALSE(w.cmdAdd->isEnabled());
    EXPECT_TRUE(w.cmdRemove->isEnabled());

    // A double-click on a file toggles its membership.
    doubleClick(w.filFiles, 2);
    EXPECT_EQ(panel.editor().fullPaths(), (QStringList{song("b.mp3"), song("c.mp3")}));
    doubleClick(w.filFiles, 1);
    EXPECT_EQ(panel.editor().fullPaths(), QStringList{song("c.mp3")});
    EXPECT_TRUE(w.cmdAdd->isEnabled());

    // A double-click on the playlist removes the entry.
    doubleClick(w.lstFiles, 0);
    EXPECT_EQ(w.lstFiles->count(), 0);
    EXPECT_TRUE(panel.editor().playlistChanged());
}

TEST_F(PlaylistPanelTest, DraggingMovesTheEntryAndCopyAllTakesTheShownList)
{
    const QString crlf = QStringLiteral("\r\n");
    // With only the browser's path box shown, all the folder's songs.
    w.cmdFilesCopyAll->click();
    EXPECT_EQ(QApplication::clipboard()->text(), song("a.mp3") + crlf + song("b.mp3") + crlf + song("c.mp3"));

    for (int row : {0, 1, 2})
        doubleClick(w.filFiles, row);
    panel.editor().setChanged(false);
    QTest::mousePress(w.lstFiles->viewport(), Qt::LeftButton, {}, rowCentre(w.lstFiles, 0));
    for (int row : {1, 2})
        QTest::mouseMove(w.lstFiles->viewport(), rowCentre(w.lstFiles, row));
    QTest::mouseRelease(w.lstFiles->viewport(), Qt::LeftButton, {}, rowCentre(w.lstFiles, 2));
    EXPECT_EQ(panel.editor().fullPaths(), (QStringList{song("b.mp3"), song("c.mp3"), song("a.mp3")}));
    EXPECT_EQ(w.lstFiles->currentRow(), 2);
    EXPECT_TRUE(panel.editor().playlistChanged());
    EXPECT_EQ(toggles, QString());

    // With the playlist's box shown, "copy all" takes the playlist in its new order.
    w.txtFiles->show();
    w.cmdFilesCopyAll->click();
    EXPECT_EQ(QApplication::clipboard()->text(), song("b.mp3") + crlf + song("c.mp3") + crlf + song("a.mp3"));
}

TEST_F(PlaylistPanelTest, RightReleasesToggleTheLayoutsAndLeftOnesDoNot)
{
    doubleClick(w.filFiles, 0);
    for (QListWidget *list : {w.lstFiles, w.dirFiles, w.filFiles})
        click(list, 0);
    EXPECT_EQ(toggles, QString());

    // The file list's release shows its chosen file first.
    click(w.filFiles, 1);
    w.txtDirectorys->clear();
    click(w.filFiles, 1, Qt::RightButton);
    EXPECT_EQ(w.txtDirectorys->text(), song("b.mp3"));
    // The folder list's release points the file list at the folder list's path.
    panel.browser().setFileFolder(QDir::rootPath());
    click(w.dirFiles, 0, Qt::RightButton);
    EXPECT_EQ(panel.browser().fileFolder(), songsFolder.path());
    click(w.lstFiles, 0, Qt::RightButton);
    EXPECT_EQ(toggles, QStringLiteral("fdp"));

    // A click on the enlarged playlist only selects; on the normal one it chooses again.
    for (bool enlarged : {true, false}) {
        w.lstFiles->setCurrentRow(-1);
        QSignalSpy chosen(&panel.browser(), &FileBrowser::addRemoveEnabled);
        playlistEnlarged = enlarged;
        click(w.lstFiles, 0);
        EXPECT_EQ(chosen.count() > 0, !enlarged);
    }
}
