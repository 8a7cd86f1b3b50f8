#include "playlist/FileBrowser.h"
#include "playlist/PathText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Two "drives" in a temporary folder besides "/", and a third whose root is missing.
class FileBrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *file : {"A/root.mp3", "A/Pop/a.mp3", "A/Pop/B.MP3", "A/Pop/c.mp3", "A/Pop/notes.txt",
                                 "A/Rock/x.mp3", "B/Jazz/j1.mp3", "B/Jazz/j2.mp3"})
            ASSERT_TRUE(QDir().mkpath(QFileInfo(path(file)).path()) && QFile(path(file)).open(QIODevice::WriteOnly));
        browser.setDrives({{QStringLiteral("/"), QStringLiteral("/")},
                           {QStringLiteral("A"), path("A")},
                           {QStringLiteral("B"), path("B")},
                           {QStringLiteral("trasig"), path("finns-inte")}});
    }

    QString path(const char *relative) const { return tree.path() + QLatin1Char('/') + QString::fromUtf8(relative); }

    QTemporaryDir tree;
    bool isServer = true;
    bool brokenVolumeMounted = false;
    std::vector<QString> errors;
    FileBrowser browser{{
        .isServer = [this] { return isServer; },
        .inPlaylist = [](const QString &) { return false; },
        .showError = [this](const QString &text) { errors.push_back(text); },
        .driveAvailable = [this](const QString &root) { return brokenVolumeMounted || QFileInfo(root).isDir(); },
    }};
};

} // namespace

TEST_F(FileBrowserTest, ReturningToADriveRestoresItsFolderAndFile)
{
    EXPECT_EQ(PathText::joinPath(QStringLiteral("/"), QStringLiteral("song.mp3")), QStringLiteral("/song.mp3"));
    browser.setCurrentDrive(1);
    EXPECT_EQ(browser.folderPath(), path("A"));
    EXPECT_EQ(browser.selectedFullPath(), path("A/root.mp3"));

    browser.openFolder(path("A/Pop"));
    // "*.mp3" whatever the case, nothing else.
    EXPECT_EQ(browser.files(),
              (QStringList{QStringLiteral("a.mp3"), QStringLiteral("B.MP3"), QStringLiteral("c.mp3")}));
    browser.setCurrentFile(2);
    browser.setCurrentDrive(2);
    browser.openFolder(path("B/Jazz"));
    browser.setCurrentFile(1);

    browser.setCurrentDrive(1);
    EXPECT_EQ(browser.folderPath(), path("A/Pop"));
    EXPECT_EQ(browser.currentFileName(), QStringLiteral("c.mp3"));
    browser.setCurrentDrive(2);
    EXPECT_EQ(browser.folderPath(), path("B/Jazz"));
    EXPECT_EQ(browser.currentFileName(), QStringLiteral("j2.mp3"));

    // A remembered file that is gone falls back to the first; a remembered folder that is
    // gone falls back to the nearest folder above it that is still there.
    QFile::remove(path("A/Pop/c.mp3"));
    QDir(path("B/Jazz")).removeRecursively();
    browser.setCurrentDrive(1);
    EXPECT_EQ(browser.currentFileName(), QStringLiteral("a.mp3"));
    browser.setCurrentDrive(2);
    EXPECT_EQ(browser.folderPath(), path("B"));
    EXPECT_TRUE(errors.empty());
}

TEST_F(FileBrowserTest, VanishedFoldersAndVolumesAreSkippedOrReported)
{
    // Opening a folder that vanished is reported, and it leaves the list.
    browser.setCurrentDrive(1);
    QDir(path("A/Rock")).removeRecursively();
    browser.openFolder(path("A/Rock"));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(browser.folderPath(), path("A"));
    EXPECT_EQ(browser.subfolders(), QStringList{QStringLiteral("Pop")});

    // A volume that went away leads back to the system drive.
    browser.setCurrentDrive(3);
    EXPECT_EQ(browser.currentDrive(), 0);
    EXPECT_EQ(browser.folderPath(), QStringLiteral("/"));
    EXPECT_EQ(errors.size(), 1u);

    // A mounted volume whose root cannot be read is reported, and the drive stays chosen.
    brokenVolumeMounted = true;
    browser.setCurrentDrive(3);
    EXPECT_EQ(errors.back(), QStringLiteral("76, Sökvägen hittades inte"));
    EXPECT_EQ(browser.currentDrive(), 3);
    EXPECT_EQ(browser.folderPath(), QStringLiteral("/"));
}

TEST_F(FileBrowserTest, AFolderWithoutSongsDisablesAddAndRemoveAndAClientHidesThem)
{
    QSignalSpy enabled(&browser, &FileBrowser::addRemoveEnabled);
    QSignalSpy visible(&browser, &FileBrowser::addRemoveVisible);
    QFile::remove(path("A/Rock/x.mp3"));
    browser.setCurrentDrive(1);
    browser.openFolder(path("A/Rock"));
    ASSERT_FALSE(enabled.isEmpty());
    EXPECT_EQ(enabled.last(), (QVariantList{false, false}));
    isServer = false;
    browser.filFiles_Click();
    ASSERT_FALSE(visible.isEmpty());
    EXPECT_EQ(visible.last(), QVariantList{false});
}
