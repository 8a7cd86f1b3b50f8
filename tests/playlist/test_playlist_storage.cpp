#include "playlist/ListWidgetEntries.h"
#include "playlist/PlaylistEditor.h"
#include "playlist/PlaylistStorage.h"
#include "tests/support/ScriptedDialogs.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <csignal>

#include <gtest/gtest.h>

namespace {

// A playlist of three songs with its storage, over a temporary folder (any bytes will do).
// Short and full paths are the same here, so the full paths in order are the entries.
class PlaylistStorageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char *name : {"Första låten.mp3", "b.mp3", "c.MP3"}) {
            songs.append(makeFile(QString::fromUtf8(name), "ID3"));
            editor.Add(songs.back(), songs.back());
        }
    }

    QString makeFile(const QString &name, const QByteArray &content)
    {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        return file.fileName();
    }

    static QByteArray readAll(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir folder;
    QStringList songs;
    QListWidget list;
    ListWidgetEntries entries{&list};
    PlaylistEditor editor{entries, [] {}};
    ScriptedDialogs dialogs;
    PlaylistStorage storage{dialogs, editor};
};

} // namespace

TEST_F(PlaylistStorageTest, SaveThenLoadGivesTheSameEntriesInOrder)
{
    const QString target = folder.filePath(QStringLiteral("lista.tunvero"));
    dialogs.then(target);
    storage.cmdSavePlaylist_Click();
    EXPECT_FALSE(editor.playlistChanged());
    EXPECT_EQ(readAll(target), (songs.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());

    // Into an empty playlist: no question, and the same entries.
    editor.reset();
    editor.setChanged(true);
    dialogs.then(target);
    storage.cmdLoadPlaylist_Click();
    EXPECT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(editor.fullPaths(), songs);
    EXPECT_FALSE(editor.playlistChanged());
}

TEST_F(PlaylistStorageTest, AFirstPathThatBeginsWithU_FEFFIsNotTakenForTheFilesByteOrderMark)
{
    // Only a relative path can begin with one: a song in the working folder.
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    const QString marked = QChar(0xFEFF) + QStringLiteral("märkt.mp3");
    makeFile(marked, "ID3");
    editor.reset();
    editor.Add(marked, marked);
    editor.Add(songs[1], songs[1]);
    const QString target = folder.filePath(QStringLiteral("märkt.tunvero"));
    dialogs.then(target);
    storage.cmdSavePlaylist_Click();
    editor.reset();
    dialogs.then(target);
    storage.cmdLoadPlaylist_Click();
    QDir::setCurrent(previous);
    EXPECT_EQ(editor.fullPaths(), (QStringList{marked, songs[1]}));
    // An empty line first, which every reader skips, whether it drops a leading mark or not.
    EXPECT_EQ(readAll(target), "\r\n" + marked.toUtf8() + "\r\n" + songs[1].toUtf8() + "\r\n");
}

TEST_F(PlaylistStorageTest, LoadingSkipsEmptyLinesMissingSongsAndRepeatsAndReadsWindowsLinesAndByteOrderMarks)
{
    editor.reset();
    const QString windowsSong = makeFile(QStringLiteral("Låt för €.mp3"), "x");
    const QByteArray windowsLine = folder.path().toUtf8() + "/L\xE5t f\xF6r \x80.mp3\r\n";
    const QString gone = folder.filePath(QStringLiteral("borta.mp3"));
    // The file's byte-order mark is dropped; one at the start of a later line is part of that
    // line, which then names no file.
    const QByteArray bom = "\xEF\xBB\xBF";
    const QByteArray content = bom + songs[0].toUtf8() + "\r\n" + bom + songs[1].toUtf8() + "\r\n\r\n" + gone.toUtf8() +
                               "\r\n" + windowsLine + songs[0].toUtf8() + "\r\n" + folder.path().toUtf8() + "\r\n" +
                               windowsLine + songs[2].toUtf8();
    dialogs.then(makeFile(QStringLiteral("blandat.tunvero"), content));
    storage.cmdLoadPlaylist_Click();
    EXPECT_EQ(editor.fullPaths(), (QStringList{songs[0], windowsSong, songs[2]}));
    EXPECT_FALSE(editor.playlistChanged());
}

TEST_F(PlaylistStorageTest, LoadingOverUnsavedChangesAsksAndAnUnreadableFileKeepsThePlaylist)
{
    dialogs.then(DialogAnswer::No);
    storage.cmdLoadPlaylist_Click();
    EXPECT_EQ(dialogs.messageTexts(), std::vector<QString>{QStringLiteral(
                                          "Du har en osparad spellista, vill du verkligen ta bort alla ändringar?")});
    // Yes, then a cancelled dialog, or a file that cannot be read: still nothing lost.
    const QString missing = folder.filePath(QStringLiteral("finns-inte.tunvero"));
    dialogs.then(DialogAnswer::Yes).then(QString()).then(DialogAnswer::Yes).then(missing).then(DialogAnswer::Ok);
    storage.cmdLoadPlaylist_Click();
    storage.cmdLoadPlaylist_Click();
    EXPECT_EQ(dialogs.last().message.text, QStringLiteral("Kunde inte läsa spellistan %1.").arg(missing));
    EXPECT_EQ(editor.fullPaths(), songs);
    EXPECT_TRUE(editor.playlistChanged());

    dialogs.then(DialogAnswer::Yes).then(makeFile(QStringLiteral("annan.tunvero"), songs[2].toUtf8() + "\r\n"));
    storage.cmdLoadPlaylist_Click();
    EXPECT_EQ(editor.fullPaths(), QStringList{songs[2]});
}

TEST_F(PlaylistStorageTest, AnEmptyCancelledOrFailedSaveKeepsTheOldFile)
{
    dialogs.then(QString());
    storage.cmdSavePlaylist_Click();
    const QByteArray old = "/gammal/lista.mp3\r\n";
    const QString target = makeFile(QStringLiteral("gammal.tunvero"), old);

    // A file size limit makes the write fail part way (a full disk), root or not.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit small{8, saved.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    dialogs.then(target).then(DialogAnswer::Ok);
    storage.cmdSavePlaylist_Click();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(readAll(target), old);
    EXPECT_TRUE(editor.playlistChanged());
    EXPECT_EQ(dialogs.last().message.text, QStringLiteral("Kunde inte spara spellistan till %1.").arg(target));
    // No temporary file is left behind.
    EXPECT_EQ(QDir(folder.path()).entryList({QStringLiteral("*.tunvero*")}, QDir::Files),
              QStringList{QStringLiteral("gammal.tunvero")});

    editor.reset();
    dialogs.then(DialogAnswer::Ok);
    storage.cmdSavePlaylist_Click();
    EXPECT_EQ(dialogs.last().message.text, QStringLiteral("Du har inga låtar i spellistan!"));
}
