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

// A playlist with its storage, over a temporary folder of songs (any bytes will do).
class PlaylistStorageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        for (const QString &name : {QStringLiteral("Första låten.mp3"), QStringLiteral("b.mp3"),
                                    QStringLiteral("c.MP3")})
            songs.append(makeFile(name, "ID3"));
    }

    QString makeFile(const QString &name, const QByteArray &content)
    {
        const QString path = folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }

    static QByteArray readAll(const QString &path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void addAll()
    {
        for (const QString &song : songs)
            editor.Add(song, song);
    }

    QStringList texts() const
    {
        QStringList all;
        for (int row = 0; row < list.count(); ++row)
            all.append(list.item(row)->text());
        return all;
    }

    QTemporaryDir folder;
    QStringList songs;
    QListWidget list;
    ListWidgetEntries entries{&list};
    bool isServer = true;
    PlaylistEditor editor{entries, isServer, [] {}};
    ScriptedDialogs dialogs;
    PlaylistStorage storage{dialogs, editor};
};

} // namespace

TEST_F(PlaylistStorageTest, SaveThenLoadGivesTheSameEntriesInOrder)
{
    addAll();
    const QString target = folder.filePath(QStringLiteral("lista.tunvero"));
    dialogs.then(target);
    storage.cmdSavePlaylist_Click();
    EXPECT_FALSE(editor.playlistChanged());
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.last().kind, ScriptedDialogs::Kind::SaveFile);
    EXPECT_EQ(dialogs.last().file.title, QStringLiteral("Välj fil att spara playlisten till..."));
    EXPECT_EQ(dialogs.last().file.filter, QStringLiteral("*.tunvero"));
    EXPECT_EQ(readAll(target), (songs.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8());

    // Into an empty playlist: no question, the same entries, nothing selected.
    list.clear();
    editor.reset();
    editor.setChanged(true);
    dialogs.clear();
    dialogs.then(target);
    storage.cmdLoadPlaylist_Click();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.last().kind, ScriptedDialogs::Kind::OpenFile);
    EXPECT_EQ(dialogs.last().file.title, QStringLiteral("Välj fil att ladda playlisten från..."));
    EXPECT_EQ(texts(), songs);
    EXPECT_EQ(editor.fullPaths(), songs);
    EXPECT_FALSE(editor.playlistChanged());
    EXPECT_EQ(list.currentRow(), -1);
}

TEST_F(PlaylistStorageTest, LoadingSkipsEmptyLinesMissingSongsAndRepeats)
{
    const QString gone = makeFile(QStringLiteral("borta.mp3"), "x");
    QFile::remove(gone);
    const QByteArray content = songs[0].toUtf8() + "\r\n\r\n" + gone.toUtf8() + "\r\n" + songs[1].toUtf8() + "\r\n"
                               + songs[0].toUtf8() + "\r\n" + folder.path().toUtf8() + "\r\n" + songs[2].toUtf8();
    dialogs.then(makeFile(QStringLiteral("blandat.tunvero"), content));
    storage.cmdLoadPlaylist_Click();
    EXPECT_EQ(texts(), songs);
    EXPECT_FALSE(editor.playlistChanged());
}

TEST_F(PlaylistStorageTest, LoadsAWindowsFileInItsCodePage)
{
    const QString song = makeFile(QStringLiteral("Låt för €.mp3"), "x");
    const QByteArray windowsName = folder.path().toUtf8() + "/L\xE5t f\xF6r \x80.mp3";
    dialogs.then(makeFile(QStringLiteral("windows.tunvero"), windowsName + "\r\n" + songs[1].toUtf8() + "\r\n"));
    storage.cmdLoadPlaylist_Click();
    EXPECT_EQ(texts(), (QStringList{song, songs[1]}));
}

TEST_F(PlaylistStorageTest, UnsavedChangesAreOnlyDroppedOnYes)
{
    addAll();
    const QString other = makeFile(QStringLiteral("annan.tunvero"), songs[2].toUtf8() + "\r\n");
    dialogs.then(DialogAnswer::No);
    storage.cmdLoadPlaylist_Click();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    const MessageBoxRequest &question = dialogs.last().message;
    EXPECT_EQ(question.text, QStringLiteral("Du har en osparad spellista, vill du verkligen ta bort alla ändringar?"));
    EXPECT_EQ(question.title, QStringLiteral("Ändringar?"));
    EXPECT_EQ(question.buttons, DialogButtons::YesNo);
    EXPECT_EQ(question.icon, DialogIcon::Question);
    EXPECT_EQ(question.defaultButton, DialogAnswer::No);
    EXPECT_EQ(texts(), songs);
    EXPECT_TRUE(editor.playlistChanged());

    // Yes, then a cancelled dialog: still nothing lost.
    dialogs.then(DialogAnswer::Yes).then(QString());
    storage.cmdLoadPlaylist_Click();
    EXPECT_EQ(texts(), songs);
    EXPECT_TRUE(editor.playlistChanged());

    // A file that cannot be read is reported and the playlist stays.
    dialogs.clear();
    dialogs.then(DialogAnswer::Yes).then(folder.filePath(QStringLiteral("finns-inte.tunvero"))).then(DialogAnswer::Ok);
    storage.cmdLoadPlaylist_Click();
    ASSERT_EQ(dialogs.shown().size(), 3u);
    EXPECT_EQ(dialogs.last().message.text,
              QStringLiteral("Kunde inte läsa spellistan %1.").arg(folder.filePath(QStringLiteral("finns-inte.tunvero"))));
    EXPECT_EQ(dialogs.last().message.title, QStringLiteral("Tunvero"));
    EXPECT_EQ(texts(), songs);

    dialogs.then(DialogAnswer::Yes).then(other);
    storage.cmdLoadPlaylist_Click();
    EXPECT_EQ(texts(), QStringList{songs[2]});
    EXPECT_FALSE(editor.playlistChanged());

    // An unchanged playlist is replaced without a question.
    dialogs.clear();
    dialogs.then(other);
    storage.cmdLoadPlaylist_Click();
    EXPECT_EQ(dialogs.shown().size(), 1u);
}

TEST_F(PlaylistStorageTest, SavingAnEmptyPlaylistOnlyTellsSo)
{
    dialogs.then(DialogAnswer::Ok);
    storage.cmdSavePlaylist_Click();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.last().message.text, QStringLiteral("Du har inga låtar i spellistan!"));
    EXPECT_EQ(dialogs.last().message.title, QStringLiteral("Inga låtar!"));
    EXPECT_EQ(dialogs.last().message.icon, DialogIcon::Information);
    EXPECT_EQ(dialogs.last().message.buttons, DialogButtons::Ok);

    // A cancelled save dialog writes nothing.
    addAll();
    dialogs.then(QString());
    storage.cmdSavePlaylist_Click();
    EXPECT_TRUE(editor.playlistChanged());
}

TEST_F(PlaylistStorageTest, AFailedSaveKeepsTheOldFileAndSaysSo)
{
    addAll();
    const QByteArray old = "/gammal/lista.mp3\r\n";
    const QString target = makeFile(QStringLiteral("gammal.tunvero"), old);

    // A file size limit makes the write fail part way, root or not.
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 8;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    dialogs.then(target).then(DialogAnswer::Ok);
    storage.cmdSavePlaylist_Click();
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(readAll(target), old);
    EXPECT_TRUE(editor.playlistChanged());
    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(dialogs.last().message.text, QStringLiteral("Kunde inte spara spellistan till %1.").arg(target));
    EXPECT_EQ(dialogs.last().message.buttons, DialogButtons::Ok);
    // No temporary file is left behind.
    EXPECT_EQ(QDir(folder.path()).entryList({QStringLiteral("*.tunvero*")}, QDir::Files),
              QStringList{QStringLiteral("gammal.tunvero")});

    // A folder in the way fails the same way.
    dialogs.then(folder.path()).then(DialogAnswer::Ok);
    storage.cmdSavePlaylist_Click();
    EXPECT_EQ(dialogs.shown().size(), 4u);
    EXPECT_TRUE(QFileInfo(folder.path()).isDir());
}
