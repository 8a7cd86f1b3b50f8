// Where a server path lands below the download folder, and which paths have no place there.
#include "transfer/DownloadTree.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

TEST(DownloadTree, MirrorsTheServerPathWithEitherSeparatorAndNoColons)
{
    const QString root = QStringLiteral("/dl/TunveroMusic/");
    const struct {
        QByteArray server;
        const char *file;
    } cases[] = {
        {"D:\\Musik\\Pop\\x.mp3", "/dl/TunveroMusic/D/Musik/Pop/x.mp3"},
        {"/home/anna/Musik/x.mp3", "/dl/TunveroMusic/home/anna/Musik/x.mp3"},
        {"a/b\\c.mp3", "/dl/TunveroMusic/a/b/c.mp3"},
        {"C:..\\x.mp3", "/dl/TunveroMusic/C../x.mp3"},
        {"D:\\l\xE5t.mp3", "/dl/TunveroMusic/D/l\xC3\xA5t.mp3"},
        {"D:\\l\xC3\xA5t.mp3", "/dl/TunveroMusic/D/l\xC3\xA5t.mp3"},
    };
    for (const auto &c : cases) {
        const std::optional<downloadTree::Place> place = downloadTree::placeOf(root, c.server);
        ASSERT_TRUE(place) << c.server.toStdString();
        EXPECT_EQ(place->file, QString::fromUtf8(c.file)) << c.server.toStdString();
        EXPECT_EQ(place->folder, place->file.section(QLatin1Char('/'), 0, -2) + QLatin1Char('/'));
    }
    // The folder may be given without its final separator.
    EXPECT_EQ(downloadTree::placeOf(QStringLiteral("/dl"), "a.mp3")->file, QStringLiteral("/dl/a.mp3"));
}

TEST(DownloadTree, PathsThatWouldEscapeOrHaveNoNameHaveNoPlace)
{
    const QByteArray hostile[] = {
        "",        "/",  "\\", "..\\x.mp3", "/m/../../x.mp3",          "a\\\\b.mp3",       "/m/./x.mp3", "/m/.:./x.mp3",
        "/m/dir/", "..", ".",  "a/b/..",    QByteArray("a\0b.mp3", 7), "C:\\..\\..\\x.mp3"};
    for (const QByteArray &path : hostile)
        EXPECT_FALSE(downloadTree::placeOf(QStringLiteral("/dl/"), path)) << path.toStdString();
}

TEST(DownloadTree, FoldersAreMadeLevelByLevelNotWorldWritableAndOnlyInside)
{
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString root = temp.path() + QStringLiteral("/dl/");
    ASSERT_TRUE(downloadTree::makeFolder(root, root + QStringLiteral("D/Musik/Pop/")));
    for (const QString &level : {QStringLiteral("dl"), QStringLiteral("dl/D"), QStringLiteral("dl/D/Musik/Pop")}) {
        const QFileDevice::Permissions mode = QFile::permissions(temp.path() + QLatin1Char('/') + level);
        EXPECT_FALSE(mode & QFileDevice::WriteOther) << level.toStdString();
        EXPECT_FALSE(mode & QFileDevice::WriteGroup) << level.toStdString();
        EXPECT_TRUE(mode & QFileDevice::WriteOwner) << level.toStdString();
    }
    // A link inside the tree that leads out of it.
    ASSERT_TRUE(QDir().mkpath(temp.path() + QStringLiteral("/outside")));
    ASSERT_TRUE(QFile::link(temp.path() + QStringLiteral("/outside"), root + QStringLiteral("away")));
    EXPECT_FALSE(downloadTree::makeFolder(root, root + QStringLiteral("away/x/")));
    EXPECT_FALSE(QFile::exists(temp.path() + QStringLiteral("/outside/x")));
}

} // namespace
