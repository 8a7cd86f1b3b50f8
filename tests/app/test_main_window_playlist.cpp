#include "app/MainWindow.h"
#include "tests/support/ScriptedDialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <gtest/gtest.h>

namespace {

// The real window with scripted dialogs, started with the server role on and the browser
// in a temporary folder of songs.
class MainWindowPlaylistTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(volume.isValid());
        ASSERT_TRUE(songsFolder.isValid());
        QFile marker(volume.filePath(QStringLiteral("musik.mp3")));
        ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
        for (const char *name : {"a.mp3", "b.mp3", "c.mp3", "d.mp3", "e.mp3"}) {
            QFile song(songsFolder.filePath(QString::fromUtf8(name)));
            ASSERT_TRUE(song.open(QIODevice::WriteOnly));
            song.write("ID3");
        }

        const QString root = volume.path();
        window = std::make_unique<MainWindow>(
            dialogs, DownloadFolderRule(QDir::homePath(), [root](const QString &) { return root; }));
        dialogs.then(volume.filePath(QStringLiteral("Ner")));
        ASSERT_TRUE(window->Form_Load());
        window->show();
        c().chkServer->setChecked(true);
        window->browser().openFolder(songsFolder.path());
        ASSERT_EQ(c().filFiles->count(), 5);
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

    QStringList playlistTexts() const
    {
        QStringList texts;
        for (int row = 0; row < c().lstFiles->count(); ++row)
            texts.append(c().lstFiles->item(row)->text());
        return texts;
    }

    // Double-click a file of the browser, as the user does.
    void doubleClickFile(int row)
    {
        QListWidget *files = c().filFiles;
        const QPoint at = files->visualItemRect(files->item(row)).center();
        QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(files->viewport(), Qt::LeftButton, {}, at);
    }

    static void sendMouse(QWidget *viewport, QEvent::Type type, QPoint at, Qt::MouseButton button,
                          Qt::MouseButtons held)
    {
        QMouseEvent event(type, QPointF(at), viewport->mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    }

    QPoint playlistRow(int row) const { return c().lstFiles->visualItemRect(c().lstFiles->item(row)).center(); }

    QTemporaryDir volume;
    QTemporaryDir songsFolder;
    ScriptedDialogs dialogs;
    std::unique_ptr<MainWindow> window;
};

} // namespace

TEST_F(MainWindowPlaylistTest, TheBrowserAddsAndRemovesByMembershipAndTheShutdownAsksAboutChanges)
{
    EXPECT_EQ(c().drvFiles->itemData(0).toString(), QStringLiteral("/"));
    // The folder change shows the folder last, after the file selections it ran.
    EXPECT_EQ(c().txtDirectorys->text(), songsFolder.path());
    EXPECT_TRUE(c().cmdAdd->isEnabled());
    EXPECT_FALSE(c().cmdRemove->isEnabled());

    c().filFiles->setCurrentRow(1);
    c().cmdAdd->click();
    EXPECT_EQ(playlistTexts(), QStringList{song("b.mp3")});
    EXPECT_FALSE(c().cmdAdd->isEnabled());
    EXPECT_TRUE(c().cmdRemove->isEnabled());

    // A double-click toggles the file's membership.
    doubleClickFile(2);
    EXPECT_EQ(playlistTexts(), (QStringList{song("b.mp3"), song("c.mp3")}));
    doubleClickFile(1);
    EXPECT_EQ(playlistTexts(), QStringList{song("c.mp3")});
    EXPECT_TRUE(c().cmdAdd->isEnabled());

    dialogs.then(DialogAnswer::No);
    EXPECT_FALSE(window->Form_Unload());
    ASSERT_EQ(dialogs.shown().size(), 2u);  // the download folder, then the question
    const MessageBoxRequest &question = dialogs.last().message;
    EXPECT_EQ(question.text, QStringLiteral("Vill du verkligen avsluta eftersom att du har en osparad playlist?"));
    EXPECT_EQ(question.title, QStringLiteral("Avsluta?"));
    EXPECT_EQ(question.icon, DialogIcon::Question);
    EXPECT_EQ(question.defaultButton, DialogAnswer::No);
    EXPECT_EQ(playlistTexts(), QStringList{song("c.mp3")});

    dialogs.then(DialogAnswer::Yes);
    EXPECT_TRUE(window->Form_Unload());
}

TEST_F(MainWindowPlaylistTest, CopyAllTakesTheFileListOrTheEnlargedPlaylist)
{
    // Enlarging the folder list points the file list at it first.
    QTest::mouseClick(c().dirFiles->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    ASSERT_TRUE(window->layouts().isFolderListEnlarged());
    QFile::remove(song("d.mp3"));
    QFile::remove(song("e.mp3"));
    window->browser().openFolder(songsFolder.path());  // reads the folder again
    window->browser().setFileFolder(QDir::rootPath());
    window->browser().setFileFolder(songsFolder.path());
    c().cmdFilesCopyAll->click();
    EXPECT_EQ(QApplication::clipboard()->text(),
              song("a.mp3") + QStringLiteral("\r\n") + song("b.mp3") + QStringLiteral("\r\n") + song("c.mp3"));
    QTest::mouseClick(c().dirFiles->viewport(), Qt::RightButton, {}, QPoint(5, 5));
    ASSERT_FALSE(window->layouts().isFolderListEnlarged());

    for (int row : {2, 0, 1})
        doubleClickFile(row);
    ASSERT_EQ(playlistTexts(), (QStringList{song("c.mp3"), song("a.mp3"), song("b.mp3")}));
    QTest::mouseClick(c().lstFiles->viewport(), Qt::RightButton, {}, playlistRow(0));
    ASSERT_TRUE(window->layouts().isPlaylistEnlarged());
    c().cmdFilesCopyAll->click();
    EXPECT_EQ(QApplication::clipboard()->text(),
              song("c.mp3") + QStringLiteral("\r\n") + song("a.mp3") + QStringLiteral("\r\n") + song("b.mp3"));

    // A left release shows the entry's full path; the copy button copies it.
    QTest::mouseClick(c().lstFiles->viewport(), Qt::LeftButton, {}, playlistRow(1));
    EXPECT_EQ(c().txtFiles->text(), song("a.mp3"));
    EXPECT_TRUE(window->layouts().isPlaylistEnlarged());
    c().cmdFilesCopy->click();
    EXPECT_EQ(QApplication::clipboard()->text(), song("a.mp3"));
}

TEST_F(MainWindowPlaylistTest, DraggingWithTheMouseMovesTheFirstOfFiveToIndexThree)
{
    for (int row = 0; row < 5; ++row)
        doubleClickFile(row);
    const QStringList before = playlistTexts();
    ASSERT_EQ(before.size(), 5);

    QWidget *viewport = c().lstFiles->viewport();
    sendMouse(viewport, QEvent::MouseButtonPress, playlistRow(0), Qt::LeftButton, Qt::LeftButton);
    for (int row = 1; row <= 3; ++row)
        sendMouse(viewport, QEvent::MouseMove, playlistRow(row), Qt::NoButton, Qt::LeftButton);
    sendMouse(viewport, QEvent::MouseButtonRelease, playlistRow(3), Qt::LeftButton, Qt::NoButton);

    EXPECT_EQ(playlistTexts(), (QStringList{before[1], before[2], before[3], before[0], before[4]}));
    EXPECT_EQ(c().lstFiles->currentRow(), 3);
    EXPECT_EQ(c().txtFiles->text(), before[0]);
}
