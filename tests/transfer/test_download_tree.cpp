// Which server paths have no place below the download folder, and how its folders are made.
#include "transfer/DownloadTree.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

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
        EXPECT_EQ(mode & (QFileDevice::WriteOther | QFileDevice::WriteGroup | QFileDevice::WriteOwner),
                  QFileDevice::WriteOwner)
            << level.toStdString();
    }
    // A link inside the tree that leads out of it.
    ASSERT_TRUE(QDir().mkpath(temp.path() + QStringLiteral("/outside")));
    ASSERT_TRUE(QFile::link(temp.path() + QStringLiteral("/outside"), root + QStringLiteral("away")));
    EXPECT_FALSE(downloadTree::makeFolder(root, root + QStringLiteral("away/x/")));
    EXPECT_FALSE(QFile::exists(temp.path() + QStringLiteral("/outside/x")));
}

} // namespace
