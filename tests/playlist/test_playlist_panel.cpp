#include "core/AppInfo.h"
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

namespace {

// The panel on plain widgets with the server role on and the browser in a folder of three
// songs and one subfolder. The layout toggles only count here; the window's layouts have
// their own test.
class PlaylistPanelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(songsFolder.isValid());
        for (const char *name : {"a.mp3", "b.mp3", "c.mp3"}) {
            QFile file(song(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        ASSERT_TRUE(QDir(songsFolder.path()).mkdir(QStringLiteral("sub")));
        int x = 0;
        for (QListWidget *list : {lstFiles, dirFiles, filFiles}) {
            list->setGeometry(x, 0, 200, 200);
            x += 210;
        }
        txtFiles->hide();
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
    QListWidget *lstFiles = new QListWidget(&window);
    QComboBox *drvFiles = new QComboBox(&window);
    QListWidget *dirFiles = new QListWidget(&window);
    QListWidget *filFiles = new QListWidget(&window);
    QPushButton *cmdAdd = new QPushButton(&window);
    QPushButton *cmdRemove = new QPushButton(&window);
    QLineEdit *txtDirectorys = new QLineEdit(&window);
    QPushButton *cmdDirectorysCopy = new QPushButton(&window);
    QLineEdit *txtFiles = new QLineEdit(&window);
    QPushButton *cmdFilesCopy = new QPushButton(&window);
    QPushButton *cmdFilesCopyAll = new QPushButton(&window);
    QPushButton *cmdSavePlaylist = new QPushButton(&window);
    QPushButton *cmdLoadPlaylist = new QPushButton(&window);

    ScriptedDialogs dialogs;
    SessionState session;
    bool playlistEnlarged = false;
    int playlistToggles = 0;
    int folderToggles = 0;
    int fileToggles = 0;
    PlaylistPanel panel{{.lstFiles = lstFiles,
                         .drvFiles = drvFiles,
                         .dirFiles = dirFiles,
                         .filFiles = filFiles,
                         .cmdAdd = cmdAdd,
                         .cmdRemove = cmdRemove,
                         .cmdSavePlaylist = cmdSavePlaylist,
                         .cmdLoadPlaylist = cmdLoadPlaylist,
                         .txtDirectorys = txtDirectorys,
                         .cmdDirectorysCopy = cmdDirectorysCopy,
                         .txtFiles = txtFiles,
                         .cmdFilesCopy = cmdFilesCopy,
                         .cmdFilesCopyAll = cmdFilesCopyAll},
                        dialogs,
                        session,
                        {.isPlaylistEnlarged = [this] { return playlistEnlarged; },
                         .togglePlaylist = [this] { ++playlistToggles; },
                         .toggleFolderList = [this] { ++folderToggles; },
                         .toggleFileList = [this] { ++fileToggles; }}};
};

} // namespace

TEST_F(PlaylistPanelTest, ButtonsAndDoubleClicksFollowTheChosenFilesMembership)
{
    // The folder change shows the folder last, after the file selections it ran.
    EXPECT_EQ(txtDirectorys->text(), songsFolder.path());
    EXPECT_TRUE(cmdAdd->isEnabled());
    EXPECT_FALSE(cmdRemove->isEnabled());

    click(filFiles, 1);
    cmdAdd->click();
    EXPECT_EQ(panel.editor().fullPaths(), QStringList{song("b.mp3")});
    EXPECT_FALSE(cmdAdd->isEnabled());
    EXPECT_TRUE(cmdRemove->isEnabled());

    // A double-click on a file toggles its membership.
    doubleClick(filFiles, 2);
    EXPECT_EQ(panel.editor().fullPaths(), (QStringList{song("b.mp3"), song("c.mp3")}));
    doubleClick(filFiles, 1);
    EXPECT_EQ(panel.editor().fullPaths(), QStringList{song("c.mp3")});
    EXPECT_TRUE(cmdAdd->isEnabled());

    // A double-click on the playlist removes the entry.
    doubleClick(lstFiles, 0);
    EXPECT_EQ(lstFiles->count(), 0);
    EXPECT_TRUE(panel.editor().playlistChanged());
}

TEST_F(PlaylistPanelTest, DraggingWithTheLeftButtonMovesTheEntryAndTheReleaseShowsItsPath)
{
    for (int row : {0, 1, 2})
        doubleClick(filFiles, row);
    panel.editor().setChanged(false);

    QTest::mousePress(lstFiles->viewport(), Qt::LeftButton, {}, rowCentre(lstFiles, 0));
    for (int row : {1, 2})
        QTest::mouseMove(lstFiles->viewport(), rowCentre(lstFiles, row));
    QTest::mouseRelease(lstFiles->viewport(), Qt::LeftButton, {}, rowCentre(lstFiles, 2));
    EXPECT_EQ(panel.editor().fullPaths(), (QStringList{song("b.mp3"), song("c.mp3"), song("a.mp3")}));
    EXPECT_EQ(lstFiles->currentRow(), 2);
    EXPECT_EQ(txtFiles->text(), song("a.mp3"));
    EXPECT_TRUE(panel.editor().playlistChanged());
    EXPECT_EQ(playlistToggles, 0);
}

TEST_F(PlaylistPanelTest, RightReleasesToggleTheLayoutsAndLeftOnesDoNot)
{
    doubleClick(filFiles, 0);
    for (QListWidget *list : {lstFiles, dirFiles, filFiles})
        click(list, 0);
    EXPECT_EQ(playlistToggles + folderToggles + fileToggles, 0);

    // The file list's release shows its chosen file first.
    click(filFiles, 1);
    txtDirectorys->clear();
    click(filFiles, 1, Qt::RightButton);
    EXPECT_EQ(fileToggles, 1);
    EXPECT_EQ(txtDirectorys->text(), song("b.mp3"));

    // The folder list's release points the file list at the folder list's path.
    panel.browser().setFileFolder(QDir::rootPath());
    click(dirFiles, 0, Qt::RightButton);
    EXPECT_EQ(folderToggles, 1);
    EXPECT_EQ(panel.browser().fileFolder(), songsFolder.path());

    click(lstFiles, 0, Qt::RightButton);
    EXPECT_EQ(playlistToggles, 1);

    // A click on the enlarged playlist only selects; on the normal one it chooses again.
    lstFiles->setCurrentRow(-1);
    QSignalSpy chosen(&panel.browser(), &FileBrowser::addRemoveEnabled);
    playlistEnlarged = true;
    click(lstFiles, 0);
    EXPECT_EQ(chosen.count(), 0);
    lstFiles->setCurrentRow(-1);
    playlistEnlarged = false;
    click(lstFiles, 0);
    EXPECT_GT(chosen.count(), 0);
}

TEST_F(PlaylistPanelTest, CopyButtonsPutTheShownPathsOnTheClipboard)
{
    const QString crlf = QStringLiteral("\r\n");
    cmdDirectorysCopy->click();
    EXPECT_EQ(QApplication::clipboard()->text(), songsFolder.path());

    // With the browser's path box shown, all the folder's songs.
    cmdFilesCopyAll->click();
    EXPECT_EQ(QApplication::clipboard()->text(), song("a.mp3") + crlf + song("b.mp3") + crlf + song("c.mp3"));

    // With the playlist's box shown as well, the playlist's full paths in its order.
    for (int row : {2, 0})
        doubleClick(filFiles, row);
    txtFiles->show();
    cmdFilesCopyAll->click();
    EXPECT_EQ(QApplication::clipboard()->text(), song("c.mp3") + crlf + song("a.mp3"));

    click(lstFiles, 0);
    cmdFilesCopy->click();
    EXPECT_EQ(QApplication::clipboard()->text(), song("c.mp3"));
}

TEST_F(PlaylistPanelTest, AFolderThatVanishedIsToldUnderTheProgramsTitle)
{
    const int sub = static_cast<int>(dirFiles->count()) - 1;
    ASSERT_EQ(dirFiles->item(sub)->text(), QStringLiteral("sub"));
    ASSERT_TRUE(QDir(songsFolder.path()).rmdir(QStringLiteral("sub")));
    dialogs.then(DialogAnswer::Ok);
    doubleClick(dirFiles, sub);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.last().message.text, QStringLiteral("76, Sökvägen hittades inte"));
    EXPECT_EQ(dialogs.last().message.title, applicationTitle());
    EXPECT_EQ(dialogs.last().message.buttons, DialogButtons::Ok);
    EXPECT_EQ(panel.browser().folderPath(), songsFolder.path());
}
