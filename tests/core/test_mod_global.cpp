#include "core/ModGlobal.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace modGlobal;

namespace {
const QString crlf = QStringLiteral("\r\n");
}

TEST(TextBetween, CutsCommandWordAndDataAndKeepsTheOddResultsWhenAMarkIsMissing)
{
    const QString message = QStringLiteral("Cmd\r\nData");
    EXPECT_EQ(TextBetween(message, QString(), crlf), QStringLiteral("Cmd"));
    EXPECT_EQ(TextBetween(message, crlf, QString()), QStringLiteral("Data"));
    // Only the first CR LF separates; the data keeps the rest.
    EXPECT_EQ(TextBetween(QStringLiteral("GetFile\r\n/a/b.mp3\r\n2"), crlf, QString()),
              QStringLiteral("/a/b.mp3\r\n2"));

    EXPECT_EQ(TextBetween(QStringLiteral("Cmd"), QString(), crlf), QString());
    EXPECT_EQ(TextBetween(QStringLiteral("Cmd"), crlf, QString()), QStringLiteral("md"));
    EXPECT_EQ(TextBetween(QStringLiteral("abc"), QStringLiteral("x"), QString()), QStringLiteral("abc"));
    EXPECT_EQ(TextBetween(QString(), crlf, QString()), QString());
    EXPECT_EQ(TextBetween(QByteArray("Cmd"), QByteArray("\r\n"), QByteArray()), QByteArray("md"));

    EXPECT_TRUE(TextContains(QStringLiteral("abc"), QString()));
    EXPECT_FALSE(TextContains(QStringLiteral("abc"), QStringLiteral("C")));
}

TEST(PathHelpers, CutAtEitherSeparator)
{
    EXPECT_EQ(FolderOf(QStringLiteral("C:\\Musik\\sång.mp3")), QStringLiteral("C:\\Musik\\"));
    EXPECT_EQ(FolderOf(QStringLiteral("sång.mp3")), QStringLiteral("/"));
    EXPECT_EQ(FolderOf(QStringLiteral("/home/anna/sång.mp3")), QStringLiteral("/home/anna/"));
    EXPECT_EQ(FileNameOf(QStringLiteral("C:\\Musik\\sång.mp3")), QStringLiteral("sång.mp3"));
    EXPECT_EQ(FileNameOf(QStringLiteral("sång.mp3")), QStringLiteral("sång.mp3"));
    EXPECT_EQ(FileNameOf(QStringLiteral("/home/anna/")), QString());
}

TEST(SystemHelpers, TheShortPathIsThePathOfWhatExists)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString song = dir.filePath(QStringLiteral("en låt med långt namn.mp3"));
    QFile file(song);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    EXPECT_EQ(GetShortPath(song), song);
    EXPECT_EQ(GetShortPath(dir.path()), dir.path());
    EXPECT_EQ(GetShortPath(dir.filePath(QStringLiteral("saknas.mp3"))), QString());
    EXPECT_EQ(GetShortPath(QString()), QString());
}
