// The media layer's short paths: short, blank-free links that lead to the long path.
#include "platform/MediaShortPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString makeFile(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write("ID3");
    return path;
}

} // namespace

TEST(MediaShortPath, DeepPathsGetAShortStableLink)
{
    QTemporaryDir runtime;
    QTemporaryDir music;
    const MediaShortPath shortPaths(runtime.path() + QStringLiteral("/tunvero-media"));
    QString folder = music.path();
    for (int i = 0; i < 10; ++i)
        folder += QStringLiteral("/Mapp med blanksteg och åäö nummer %1").arg(i);
    const QString song = makeFile(folder + QStringLiteral("/Låt \"ett\".Mp3"));
    ASSERT_FALSE(song.isEmpty());
    ASSERT_GT(song.size(), 255);

    const QString shortPath = shortPaths.shortPathOf(song);
    ASSERT_FALSE(shortPath.isEmpty());
    EXPECT_EQ(QFileInfo(shortPath).absolutePath(), runtime.path() + QStringLiteral("/tunvero-media"));
    EXPECT_EQ(QFileInfo(shortPath).fileName().size(), 12); // eight hex digits, a dot, "MP3"
    EXPECT_TRUE(shortPath.endsWith(QStringLiteral(".MP3")));
    EXPECT_FALSE(shortPath.contains(QLatin1Char(' ')));
    EXPECT_FALSE(shortPath.contains(QLatin1Char('"')));
    EXPECT_EQ(QFileInfo(shortPath).canonicalFilePath(), QFileInfo(song).canonicalFilePath());
    EXPECT_EQ(shortPaths.shortPathOf(song), shortPath);

    // Only the owner may look into the folder of links.
    const QFile::Permissions permissions = QFileInfo(QFileInfo(shortPath).absolutePath()).permissions();
    EXPECT_FALSE(permissions & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther));

    const QString second = makeFile(folder + QStringLiteral("/Låt två.mp3"));
    const QString secondShort = shortPaths.shortPathOf(second);
    EXPECT_NE(secondShort, shortPath);
    EXPECT_EQ(QFileInfo(secondShort).canonicalFilePath(), QFileInfo(second).canonicalFilePath());
}

TEST(MediaShortPath, MissingPathsHaveNoShortForm)
{
    QTemporaryDir runtime;
    const MediaShortPath shortPaths(runtime.path() + QStringLiteral("/links"));
    EXPECT_EQ(shortPaths.shortPathOf(runtime.path() + QStringLiteral("/nothing.mp3")), QString());
    EXPECT_EQ(shortPaths.shortPathOf(QString()), QString());
}

TEST(MediaShortPath, ANameTakenByAnotherPathLeadsToTheNextName)
{
    QTemporaryDir runtime;
    QTemporaryDir music;
    const MediaShortPath shortPaths(runtime.path() + QStringLiteral("/links"));
    const QString song = makeFile(music.filePath(QStringLiteral("a.mp3")));
    const QString other = makeFile(music.filePath(QStringLiteral("b.mp3")));

    // Point the song's link at another file, as a hash collision (or a stale link) would.
    const QString taken = shortPaths.shortPathOf(song);
    ASSERT_TRUE(QFile::remove(taken));
    ASSERT_TRUE(QFile::link(other, taken));

    const QString next = shortPaths.shortPathOf(song);
    EXPECT_NE(next, taken);
    EXPECT_EQ(QFileInfo(next).canonicalFilePath(), QFileInfo(song).canonicalFilePath());
    EXPECT_EQ(QFileInfo(taken).canonicalFilePath(), QFileInfo(other).canonicalFilePath());
    EXPECT_EQ(shortPaths.shortPathOf(song), next);
}
