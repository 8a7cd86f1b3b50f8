// The media layer's short paths: short, blank-free links that lead to the long path.
#include "platform/MediaShortPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString makeFile(const QString &path)
{
    return QDir().mkpath(QFileInfo(path).absolutePath()) && QFile(path).open(QIODevice::WriteOnly) ? path : QString();
}

QString canonical(const QString &path)
{
    return QFileInfo(path).canonicalFilePath();
}

} // namespace

TEST(MediaShortPath, DeepPathsGetAShortStablePrivateLink)
{
    QTemporaryDir runtime;
    QTemporaryDir music;
    const QString links = runtime.path() + QStringLiteral("/tunvero-media");
    const MediaShortPath shortPaths(links);
    QString folder = music.path();
    for (int i = 0; i < 10; ++i)
        folder += QStringLiteral("/Mapp med blanksteg och åäö nummer %1").arg(i);
    const QString song = makeFile(folder + QStringLiteral("/Låt \"ett\".Mp3"));
    ASSERT_GT(song.size(), 255);

    const QString shortPath = shortPaths.shortPathOf(song);
    EXPECT_EQ(QFileInfo(shortPath).absolutePath(), links);
    EXPECT_TRUE(QFileInfo(shortPath).fileName().contains(QRegularExpression(QStringLiteral("^[0-9A-F]{8}\\.MP3$"))));
    EXPECT_EQ(canonical(shortPath), canonical(song));
    EXPECT_EQ(shortPaths.shortPathOf(song), shortPath);
    // Only the owner may look into the folder of links.
    EXPECT_FALSE(QFileInfo(links).permissions() &
                 (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther));

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
    ASSERT_TRUE(QFile::remove(taken) && QFile::link(other, taken));

    const QString next = shortPaths.shortPathOf(song);
    EXPECT_NE(next, taken);
    EXPECT_EQ(canonical(next), canonical(song));
    EXPECT_EQ(canonical(taken), canonical(other));
    EXPECT_EQ(shortPaths.shortPathOf(song), next);
}
