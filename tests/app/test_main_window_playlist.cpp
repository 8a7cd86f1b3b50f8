#include "app/MainWindow.h"
#include "tests/support/ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <gtest/gtest.h>

namespace {

// The real window with scripted dialogs, started with the server role on and the browser
// in a temporary folder of three songs.
class MainWindowPlaylistTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(volume.isValid() && songsFolder.isValid());
        // The download folder's volume must list something to be accepted.
        for (const QString &path :
             {volume.filePath(QStringLiteral("musik.mp3")), song("a.mp3"), song("b.mp3"), song("c.mp3")}) {
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        const QString root = volume.path();
        window = std::make_unique<MainWindow>(
            dialogs, DownloadFolderRule(QDir::homePath(), [root](const QString &) { return root; }));
        dialogs.then(volume.filePath(QStringLiteral("Ner")));
        ASSERT_TRUE(window->Form_Load());
        window->show();
        c().chkServer->setChecked(true);
        window->browser().openFolder(songsFolder.path());
    }

    void TearDown() override
    {
        // The window must close without questions left over.
        window->playlist().setChanged(false);
        c().chkServer->setChecked(false);
        window.reset();
    }

    const WindowControls &c() const { return window->controls(); }
    QString song(const char *name) const { return songsFolder.filePath(QString::fromUtf8(name)); }
    QPoint playlistRow(int row) const { return c().lstFiles->visualItemRect(c().lstFiles->item(row)).center(); }

    // Double-click a file of the browser, as the user does.
    void doubleClickFile(int row)
    {
        const QPoint at = c().filFiles->visualItemRect(c().filFiles->item(row)).center();
        QTest::mouseClick(c().filFiles->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(c().filFiles->viewport(), Qt::LeftButton, {}, at);
    }

    QTemporaryDir volume;
    QTemporaryDir songsFolder;
    ScriptedDialogs dialogs;
    std::unique_ptr<MainWindow> window;
};

} // namespace

TEST_F(MainWindowPlaylistTest, AddAndRemoveFollowMembershipAndTheShutdownAsksAboutAnUnsavedPlaylist)
{
    // The folder change shows the folder last, after the file selections it ran.
    EXPECT_EQ(c().txtDirectorys->text(), songsFolder.path());
    EXPECT_TRUE(c().cmdAdd->isEnabled());
    EXPECT_FALSE(c().cmdRemove->isEnabled());

    c().filFiles->setCurrentRow(1);
    c().cmdAdd->click();
    EXPECT_EQ(window->playlist().fullPaths(), QStringList{song("b.mp3")});
    EXPECT_FALSE(c().cmdAdd->isEnabled());
    EXPECT_TRUE(c().cmdRemove->isEnabled());

    // A double-click toggles the file's membership.
    doubleClickFile(2);
    EXPECT_EQ(window->playlist().fullPaths(), (QStringList{song("b.mp3"), song("c.mp3")}));
    doubleClickFile(1);
    EXPECT_EQ(window->playlist().fullPaths(), QStringList{song("c.mp3")});
    EXPECT_TRUE(c().cmdAdd->isEnabled());

    dialogs.then(DialogAnswer::No);
    EXPECT_FALSE(window->Form_Unload());
    EXPECT_EQ(dialogs.last().message.text,
              QStringLiteral("Vill du verkligen avsluta eftersom att du har en osparad playlist?"));
    dialogs.then(DialogAnswer::Yes);
    EXPECT_TRUE(window->Form_Unload());
}

TEST_F(MainWindowPlaylistTest, CopyAllTakesTheFolderOrTheEnlargedPlaylist)
{
    const QString crlf = QStringLiteral("\r\n");
    QTest::mouseClick(c().dirFiles->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    ASSERT_TRUE(window->layouts().isFolderListEnlarged());
    c().cmdFilesCopyAll->click();
    EXPECT_EQ(QApplication::clipboard()->text(), song("a.mp3") + crlf + song("b.mp3") + crlf + song("c.mp3"));
    QTest::mouseClick(c().dirFiles->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    ASSERT_FALSE(window->layouts().isFolderListEnlarged());

    for (int row : {2, 0, 1})
        doubleClickFile(row);
    QTest::mouseClick(c().lstFiles->viewport(), Qt::RightButton, {}, playlistRow(0));
    ASSERT_TRUE(window->layouts().isPlaylistEnlarged());
    c().cmdFilesCopyAll->click();
    EXPECT_EQ(QApplication::clipboard()->text(), song("c.mp3") + crlf + song("a.mp3") + crlf + song("b.mp3"));

    // A left release shows the entry's full path.
    QTest::mouseClick(c().lstFiles->viewport(), Qt::LeftButton, {}, playlistRow(1));
    EXPECT_EQ(c().txtFiles->text(), song("a.mp3"));
}
