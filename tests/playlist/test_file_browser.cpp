#include "playlist/FileBrowser.h"
#include "playlist/PathText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Two "drives" in a temporary folder besides "/", and a playlist of short paths.
class FileBrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tree.isValid());
        for (const char *file : {"A/root.mp3", "A/Pop/a.mp3", "A/Pop/B.MP3", "A/Pop/c.mp3", "A/Pop/notes.txt",
                                 "A/Rock/x.mp3", "B/Jazz/j1.mp3", "B/Jazz/j2.mp3"})
            touch(path(QString::fromUtf8(file)));
        browser.setDrives({{QStringLiteral("/"), QStringLiteral("/")},
                           {QStringLiteral("A [etikett]"), path(QStringLiteral("A"))},
                           {QStringLiteral("B"), path(QStringLiteral("B"))}});
        QObject::connect(&browser, &FileBrowser::addRemoveEnabled, &browser, [this](bool add, bool remove) {
            addEnabled = add;
            removeEnabled = remove;
        });
        QObject::connect(&browser, &FileBrowser::addRemoveVisible, &browser,
                         [this](bool visible) { buttonsVisible = visible; });
        QObject::connect(&browser, &FileBrowser::pathTextChanged, &browser,
                         [this](const QString &text) { pathText = text; });
    }

    QString path(const QString &relative) const { return tree.path() + QLatin1Char('/') + relative; }

    static void touch(const QString &file)
    {
        QDir().mkpath(QFileInfo(file).path());
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("ID3");
    }

    QTemporaryDir tree;
    bool isServer = true;
    QStringList playlist;
    std::vector<QString> errors;
    bool addEnabled = false;
    bool removeEnabled = false;
    bool buttonsVisible = false;
    QString pathText;
    FileBrowser browser{{
        .isServer = [this] { return isServer; },
        .inPlaylist = [this](const QString &shortPath) { return playlist.contains(shortPath); },
        .showError = [this](const QString &text) { errors.push_back(text); },
        .driveAvailable = [](const QString &root) { return QFileInfo(root).isDir(); },
    }};
};

} // namespace

TEST_F(FileBrowserTest, ReturningToADriveRestoresItsFolderAndFile)
{
    browser.setCurrentDrive(1);
    EXPECT_EQ(browser.folderPath(), path(QStringLiteral("A")));
    EXPECT_EQ(browser.subfolders(), (QStringList{QStringLiteral("Pop"), QStringLiteral("Rock")}));
    EXPECT_EQ(browser.currentFileName(), QStringLiteral("root.mp3"));

    browser.openFolder(path(QStringLiteral("A/Pop")));
    // "*.mp3" whatever the case, nothing else.
    EXPECT_EQ(browser.files(), (QStringList{QStringLiteral("a.mp3"), QStringLiteral("B.MP3"), QStringLiteral("c.mp3")}));
    EXPECT_EQ(browser.folderChain(), (QStringList{path(QStringLiteral("A")), path(QStringLiteral("A/Pop"))}));
    EXPECT_EQ(browser.currentFile(), 0);
    browser.setCurrentFile(2);
    EXPECT_EQ(pathText, path(QStringLiteral("A/Pop/c.mp3")));

    browser.setCurrentDrive(2);
    browser.openFolder(path(QStringLiteral("B/Jazz")));
    browser.setCurrentFile(1);

    browser.setCurrentDrive(1);
    EXPECT_EQ(browser.folderPath(), path(QStringLiteral("A/Pop")));
    EXPECT_EQ(browser.currentFileName(), QStringLiteral("c.mp3"));
    browser.setCurrentDrive(2);
    EXPECT_EQ(browser.folderPath(), path(QStringLiteral("B/Jazz")));
    EXPECT_EQ(browser.currentFileName(), QStringLiteral("j2.mp3"));
    EXPECT_EQ(browser.driveFolder(1), path(QStringLiteral("A/Pop")));
    EXPECT_EQ(browser.driveFile(1), QStringLiteral("c.mp3"));

    // A remembered file that is gone falls back to the first; a remembered folder that is
    // gone falls back to the nearest folder above it that is still there.
    QFile::remove(path(QStringLiteral("A/Pop/c.mp3")));
    QDir(path(QStringLiteral("B/Jazz"))).removeRecursively();
    browser.setCurrentDrive(1);
    EXPECT_EQ(browser.currentFileName(), QStringLiteral("a.mp3"));
    browser.setCurrentDrive(2);
    EXPECT_EQ(browser.folderPath(), path(QStringLiteral("B")));
    EXPECT_EQ(browser.files(), QStringList{});
    EXPECT_TRUE(errors.empty());
}

TEST_F(FileBrowserTest, AVolumeThatWentAwayLeadsBackToTheSystemDrive)
{
    browser.setCurrentDrive(1);
    QDir(path(QStringLiteral("B"))).removeRecursively();
    browser.setCurrentDrive(2);
    EXPECT_EQ(browser.currentDrive(), 0);
    EXPECT_EQ(browser.folderPath(), QStringLiteral("/"));
    EXPECT_FALSE(browser.driveChanging());
    EXPECT_TRUE(errors.empty());
}

TEST_F(FileBrowserTest, OtherDriveErrorsAreReportedAndTheDriveStaysChosen)
{
    FileBrowser broken{{
        .isServer = [] { return true; },
        .inPlaylist = [](const QString &) { return false; },
        .showError = [this](const QString &text) { errors.push_back(text); },
        .driveAvailable = [](const QString &) { return true; },
    }};
    broken.setDrives({{QStringLiteral("/"), QStringLiteral("/")},
                      {QStringLiteral("trasig"), path(QStringLiteral("finns-inte"))}});
    broken.drvFiles_Change();
    broken.setCurrentDrive(1);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], QStringLiteral("76, Sökvägen hittades inte"));
    EXPECT_EQ(broken.currentDrive(), 1);
    EXPECT_EQ(broken.folderPath(), QStringLiteral("/"));
    EXPECT_TRUE(broken.driveChanging());

    // Opening a folder that vanished is reported too, and it leaves the list.
    browser.setCurrentDrive(1);
    QDir(path(QStringLiteral("A/Rock"))).removeRecursively();
    browser.openFolder(path(QStringLiteral("A/Rock")));
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_EQ(browser.folderPath(), path(QStringLiteral("A")));
    EXPECT_EQ(browser.subfolders(), QStringList{QStringLiteral("Pop")});
}

TEST_F(FileBrowserTest, PathsJoinWithoutADoubledSeparatorAtARoot)
{
    EXPECT_EQ(PathText::joinPath(QStringLiteral("/"), QStringLiteral("song.mp3")), QStringLiteral("/song.mp3"));
    EXPECT_EQ(PathText::joinPath(QStringLiteral("/musik"), QStringLiteral("song.mp3")), QStringLiteral("/musik/song.mp3"));
    browser.setCurrentDrive(1);
    EXPECT_EQ(browser.selectedFullPath(), path(QStringLiteral("A/root.mp3")));
    EXPECT_EQ(browser.currentFilePathText(), path(QStringLiteral("A/root.mp3")));
    EXPECT_EQ(PathText::joinLines({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}),
              QStringLiteral("a\r\nb\r\nc"));
}

TEST_F(FileBrowserTest, AddAndRemoveFollowTheFilesMembership)
{
    browser.setCurrentDrive(1);
    browser.openFolder(path(QStringLiteral("A/Pop")));
    EXPECT_TRUE(buttonsVisible);
    EXPECT_TRUE(addEnabled);
    EXPECT_FALSE(removeEnabled);

    playlist.append(path(QStringLiteral("A/Pop/B.MP3")));
    browser.setCurrentFile(1);
    EXPECT_EQ(browser.selectedShortPath(), path(QStringLiteral("A/Pop/B.MP3")));
    EXPECT_FALSE(addEnabled);
    EXPECT_TRUE(removeEnabled);

    // A folder without songs disables both.
    browser.openFolder(path(QStringLiteral("A")));
    browser.openFolder(path(QStringLiteral("A/Rock")));
    QFile::remove(path(QStringLiteral("A/Rock/x.mp3")));
    browser.openFolder(path(QStringLiteral("A")));
    browser.openFolder(path(QStringLiteral("A/Rock")));
    EXPECT_TRUE(buttonsVisible);
    EXPECT_FALSE(addEnabled);
    EXPECT_FALSE(removeEnabled);

    isServer = false;
    browser.filFiles_Click();
    EXPECT_FALSE(buttonsVisible);
}
