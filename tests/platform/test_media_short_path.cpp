// The media layer's short paths: short, blank-free links that lead to the long path, kept in a
// folder no one else can enter or plant.
#include "platform/MediaShortPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

using Outcome = MediaShortPath::Result::Outcome;

QString makeFile(const QString &path)
{
    return QDir().mkpath(QFileInfo(path).absolutePath()) && QFile(path).open(QIODevice::WriteOnly) ? path : QString();
}

QString canonical(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

mode_t modeOf(const QString &path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0;
}

} // namespace

TEST(MediaShortPath, DeepPathsGetAShortStablePrivateLinkOrFailOrAreMissing)
{
    QTemporaryDir runtime;
    QTemporaryDir music;
    const QString links = runtime.path() + QStringLiteral("/tunvero-media");
    MediaShortPath shortPaths(links);
    QString folder = music.path();
    for (int i = 0; i < 10; ++i)
        folder += QStringLiteral("/Mapp med blanksteg och åäö nummer %1").arg(i);
    const QString song = makeFile(folder + QStringLiteral("/Låt \"ett\".Mp3"));
    ASSERT_GT(song.size(), 255);

    const MediaShortPath::Result made = shortPaths.shortPathOf(song);
    EXPECT_EQ(made.outcome, Outcome::Made);
    EXPECT_EQ(QFileInfo(made.path).absolutePath(), links);
    EXPECT_TRUE(QFileInfo(made.path).fileName().contains(QRegularExpression(QStringLiteral("^[0-9A-F]{8}\\.MP3$"))));
    EXPECT_EQ(canonical(made.path), canonical(song));
    EXPECT_EQ(modeOf(links), 0700u);

    // A name taken by another path, as by a hash collision or a stale link, leads to the next
    // name, and that one is kept.
    const QString other = makeFile(music.filePath(QStringLiteral("b.mp3")));
    ASSERT_TRUE(QFile::remove(made.path) && QFile::link(other, made.path));
    const QString next = shortPaths.shortPathOf(song).path;
    EXPECT_NE(next, made.path);
    EXPECT_EQ(canonical(next), canonical(song));
    EXPECT_EQ(canonical(made.path), canonical(other));
    EXPECT_EQ(shortPaths.shortPathOf(song).path, next);

    EXPECT_EQ(shortPaths.shortPathOf(runtime.path() + QStringLiteral("/nothing.mp3")).outcome, Outcome::Missing);
    EXPECT_EQ(shortPaths.shortPathOf(QString()).outcome, Outcome::Missing);
    // Under a file no folder for links can be made at all: a failure, not a missing song.
    EXPECT_EQ(MediaShortPath(song + QStringLiteral("/links")).shortPathOf(song).outcome, Outcome::Failed);
}

TEST(MediaShortPath, AFolderThatIsNotOursAloneIsNeverUsedOrChanged)
{
    QTemporaryDir tmp;
    QTemporaryDir music;
    const QString song = makeFile(music.filePath(QStringLiteral("a.mp3")));
    const QString victim = tmp.filePath(QStringLiteral("victim"));
    ASSERT_TRUE(QDir().mkdir(victim) && ::chmod(QFile::encodeName(victim).constData(), 0755) == 0);

    // Planted where the folder of links should be: a link to the victim's folder, a folder
    // anyone may write into, and (when this test may hand files away) another user's folder.
    const QString planted = tmp.filePath(QStringLiteral("planted"));
    ASSERT_TRUE(QFile::link(victim, planted));
    const QString open = tmp.filePath(QStringLiteral("open"));
    ASSERT_TRUE(QDir().mkdir(open) && ::chmod(QFile::encodeName(open).constData(), 0777) == 0);
    QStringList wanted{planted, open};
    const QString foreign = tmp.filePath(QStringLiteral("foreign"));
    if (QDir().mkdir(foreign) && ::chmod(QFile::encodeName(foreign).constData(), 0700) == 0 &&
        ::chown(QFile::encodeName(foreign).constData(), 65534, 65534) == 0)
        wanted.append(foreign);

    for (const QString &folder : std::as_const(wanted)) {
        SCOPED_TRACE(folder.toStdString());
        QString made;
        {
            MediaShortPath shortPaths(folder);
            const MediaShortPath::Result result = shortPaths.shortPathOf(song);
            ASSERT_EQ(result.outcome, Outcome::Made);
            made = result.path;
            // A fresh folder of a unique name beside the wanted one, ours alone.
            const QString unique = QFileInfo(made).absolutePath();
            EXPECT_TRUE(unique.startsWith(folder + QLatin1Char('-')));
            EXPECT_EQ(modeOf(unique), 0700u);
            EXPECT_EQ(canonical(made), canonical(song));
            MediaShortPath copy = shortPaths;
            EXPECT_EQ(copy.shortPathOf(song).path, made);
        }
        // The fresh folder goes with the last copy.
        EXPECT_FALSE(QFileInfo::exists(QFileInfo(made).absolutePath()));
    }
    EXPECT_EQ(modeOf(victim), 0755u);
    EXPECT_TRUE(QDir(victim).isEmpty());
    EXPECT_TRUE(QDir(open).isEmpty());
}
