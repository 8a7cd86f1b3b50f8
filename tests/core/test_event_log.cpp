#include "core/EventLog.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QList<QByteArray> linesOf(const QString &path)
{
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QList<QByteArray> lines = file.readAll().split('\n');
    EXPECT_TRUE(lines.last().isEmpty()) << "the last line is not ended";
    lines.removeLast();
    return lines;
}

} // namespace

TEST(EventLogTest, EachLineIsWholeJsonReadableAtOnce)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("events.jsonl"));
    EventLog log;
    log.write(QStringLiteral("lost")); // not open: nothing happens
    ASSERT_TRUE(log.open(path));

    const qint64 before = EventLog::nowNs();
    log.write(QStringLiteral("message"), {{QStringLiteral("word"), QStringLiteral("PlayMusic")},
                                          {QStringLiteral("slot"), 3},
                                          {QStringLiteral("t_ns"), 1},
                                          {QStringLiteral("event"), QStringLiteral("other")}});
    log.write(QStringLiteral("bare"));
    // Read while the log is still open: a killed copy leaves every line it wrote.
    const QList<QByteArray> lines = linesOf(path);
    ASSERT_EQ(lines.size(), 2);

    QJsonParseError error{};
    const QJsonObject first = QJsonDocument::fromJson(lines[0], &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << lines[0].toStdString();
    EXPECT_EQ(first.value(QStringLiteral("event")).toString(), QStringLiteral("message"));
    EXPECT_EQ(first.value(QStringLiteral("word")).toString(), QStringLiteral("PlayMusic"));
    EXPECT_EQ(first.value(QStringLiteral("slot")).toInt(), 3);
    // One "t_ns", the log's own.
    EXPECT_EQ(lines[0].count("\"t_ns\""), 1);
    EXPECT_GE(qint64(first.value(QStringLiteral("t_ns")).toDouble()), before);
    const QJsonObject second = QJsonDocument::fromJson(lines[1], &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << lines[1].toStdString();
    EXPECT_EQ(second.value(QStringLiteral("event")).toString(), QStringLiteral("bare"));
    EXPECT_GE(second.value(QStringLiteral("t_ns")).toDouble(), first.value(QStringLiteral("t_ns")).toDouble());

    // Reopening starts a new log.
    ASSERT_TRUE(log.open(path));
    log.write(QStringLiteral("again"));
    EXPECT_EQ(linesOf(path).size(), 1);
}

TEST(EventLogTest, TimestampsKeepEveryDigit)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("events.jsonl"));
    EventLog log;
    ASSERT_TRUE(log.open(path));
    // Beyond 2^53, where a double would round.
    log.writeAt(9007199254740993, QStringLiteral("late"));
    const QList<QByteArray> lines = linesOf(path);
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].startsWith("{\"t_ns\":9007199254740993,")) << lines[0].toStdString();
}

TEST(EventLogTest, AFolderThatCannotBeWrittenIsReported)
{
    EventLog log;
    EXPECT_FALSE(log.open(QStringLiteral("/nonexistent-folder/events.jsonl")));
    EXPECT_FALSE(log.isOpen());
    EXPECT_FALSE(log.errorString().isEmpty());
}
