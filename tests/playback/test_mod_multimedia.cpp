// The command texts the media procedures send, checked through a recording stand-in.
#include "RecordingMediaService.h"

#include "playback/ModMultimedia.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QString padded(const QString &text, qsizetype length)
{
    return text + QString(length - text.size(), QLatin1Char(' '));
}

ModMultimedia withShortPath(RecordingMediaService &service, const QString &shortPath,
                            QString *askedFor = nullptr)
{
    return ModMultimedia(service, [shortPath, askedFor](const QString &path) {
        if (askedFor)
            *askedFor = path;
        return shortPath;
    });
}

} // namespace

TEST(ModMultimedia, OpenSendsTheCommandPaddedTo255)
{
    RecordingMediaService service;
    QString askedFor;
    ModMultimedia media = withShortPath(service, QStringLiteral("C:\\MUSIC\\SONG.MP3"), &askedFor);

    EXPECT_EQ(media.MediaOpen(1234, QStringLiteral("ServerTunvero"), QStringLiteral("C:\\Music\\Song long.mp3"),
                              QStringLiteral("MPEGVideo")),
              QStringLiteral("Success"));

    EXPECT_EQ(askedFor, QStringLiteral("C:\\Music\\Song long.mp3"));
    ASSERT_EQ(service.commands().size(), 1);
    const QString expected = QStringLiteral(
        "open C:\\MUSIC\\SONG.MP3 type MPEGVideo Alias ServerTunvero parent 1234 Style 1073741824");
    EXPECT_EQ(service.commands().at(0), padded(expected, 255));
    EXPECT_FALSE(service.askedForAnswer().at(0));
}

TEST(ModMultimedia, OpenCommandLongerThanItsBufferIsCut)
{
    RecordingMediaService service;
    const QString longPath = QStringLiteral("/") + QString(220, QLatin1Char('d')) + QStringLiteral("/x.mp3");
    ModMultimedia media = withShortPath(service, longPath);

    media.MediaOpen(-5, QStringLiteral("ClientTunveroID200"), QStringLiteral("x"), QStringLiteral("MPEGVideo"));

    const QString full = QStringLiteral("open ") + longPath
                         + QStringLiteral(" type MPEGVideo Alias ClientTunveroID200 parent -5 Style 1073741824");
    ASSERT_GT(full.size(), 255);
    EXPECT_EQ(service.commands().at(0), full.left(255));
}

TEST(ModMultimedia, OpenOfAMissingFileNamesNoFileAndAnswersTheErrorText)
{
    RecordingMediaService service;
    service.then(275);
    ModMultimedia media = withShortPath(service, QString());

    EXPECT_EQ(media.MediaOpen(7, QStringLiteral("A"), QStringLiteral("/gone.mp3"), QStringLiteral("MPEGVideo")),
              QStringLiteral("Fel 275"));
    EXPECT_TRUE(service.commands().at(0).startsWith(QStringLiteral("open  type MPEGVideo Alias A parent 7 Style")));
}

TEST(ModMultimedia, PlayWithoutPositionsPlaysTheWholeDeviceInFrames)
{
    RecordingMediaService service;
    service.then(0);                           // set time format frames
    service.then(0, QStringLiteral("4711"));   // status length
    ModMultimedia media = withShortPath(service, QString());

    EXPECT_EQ(media.MediaPlay(QStringLiteral("ClientTunveroID3"), QString(), QString()), QStringLiteral("Success"));

    ASSERT_EQ(service.commands().size(), 3);
    EXPECT_EQ(service.commands().at(0), QStringLiteral("set ClientTunveroID3 time format frames"));
    EXPECT_EQ(service.commands().at(1), QStringLiteral("status ClientTunveroID3 length"));
    EXPECT_TRUE(service.askedForAnswer().at(1));
    EXPECT_EQ(service.commands().at(2), padded(QStringLiteral("play ClientTunveroID3 from 0 to 4711"), 128));
}

TEST(ModMultimedia, PlayOnAnAliasThatIsNotOpenEndsInToMinusOne)
{
    RecordingMediaService service;
    service.then(263); // set
    service.then(263); // status
    service.then(263); // play
    ModMultimedia media = withShortPath(service, QString());

    EXPECT_EQ(media.MediaPlay(QStringLiteral("Nobody"), QString(), QString()), QStringLiteral("Fel 263"));
    EXPECT_EQ(service.commands().at(2), padded(QStringLiteral("play Nobody from 0 to -1"), 128));
}

TEST(ModMultimedia, PlayKeepsGivenPositionsAndCutsAt128)
{
    RecordingMediaService service;
    ModMultimedia media = withShortPath(service, QString());
    const QString alias(130, QLatin1Char('a'));

    media.MediaPlay(QStringLiteral("S"), QStringLiteral("10"), QStringLiteral("20"));
    media.MediaPlay(alias, QStringLiteral("1"), QStringLiteral("2"));

    EXPECT_EQ(service.commands().at(0), padded(QStringLiteral("play S from 10 to 20"), 128));
    EXPECT_EQ(service.commands().at(1), (QStringLiteral("play ") + alias).left(128));
}

TEST(ModMultimedia, StopCloseAndCloseAllSendTheirWords)
{
    RecordingMediaService service;
    service.then(0);
    service.then(0);
    service.then(263);
    ModMultimedia media = withShortPath(service, QString());

    EXPECT_EQ(media.MediaStop(QStringLiteral("ClientTunveroID0")), QStringLiteral("Success"));
    EXPECT_EQ(media.MediaClose(QStringLiteral("ServerTunvero")), QStringLiteral("Success"));
    EXPECT_EQ(media.MediaCloseAll(), QStringLiteral("Fel 263"));

    EXPECT_EQ(service.commands(), (QStringList{QStringLiteral("Stop ClientTunveroID0"),
                                               QStringLiteral("Close ServerTunvero"),
                                               QStringLiteral("Close All")}));
    EXPECT_EQ(service.askedForAnswer(), (QList<bool>{false, false, false}));
}

TEST(ModMultimedia, LengthInMsLeavesTheDeviceInFramesEvenWhenTheQueryFails)
{
    RecordingMediaService service;
    service.then(0);
    service.then(0, QStringLiteral("  2500.7 ms")); // the leading number counts, rounded
    service.then(0);
    service.then(0);
    service.then(263);
    service.then(0);
    service.then(0);
    service.then(0, QStringLiteral("not a number"));
    service.then(0);
    ModMultimedia media = withShortPath(service, QString());

    EXPECT_EQ(media.MediaLengthMs(QStringLiteral("ServerTunvero")), 2501);
    EXPECT_EQ(media.MediaLengthMs(QStringLiteral("ServerTunvero")), -1);
    EXPECT_EQ(media.MediaLengthMs(QStringLiteral("ServerTunvero")), 0);

    const QStringList once{QStringLiteral("set ServerTunvero time format ms"),
                           QStringLiteral("status ServerTunvero length"),
                           QStringLiteral("set ServerTunvero time format frames")};
    EXPECT_EQ(service.commands(), once + once + once);
}

TEST(ModMultimedia, DeepLinuxPathsStillFitTheOpenCommand)
{
    // The platform's short path: a link in a private runtime folder for this test.
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());

    QTemporaryDir music;
    QString folder = music.path();
    for (int i = 0; i < 8; ++i)
        folder += QStringLiteral("/Ett mycket långt mappnamn med blanksteg %1").arg(i);
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString song = folder + QStringLiteral("/Låt nummer ett.mp3");
    QFile file(song);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_GT(song.size(), 300);

    RecordingMediaService service;
    ModMultimedia media(service);
    media.MediaOpen(1, QStringLiteral("ClientTunveroID200"), song, QStringLiteral("MPEGVideo"));
    if (oldRuntime.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", oldRuntime);

    const QString sent = service.commands().at(0);
    EXPECT_TRUE(sent.trimmed().endsWith(QStringLiteral(" Alias ClientTunveroID200 parent 1 Style 1073741824")));
    const QString shortPath = sent.mid(5, sent.indexOf(QStringLiteral(" type ")) - 5);
    EXPECT_FALSE(shortPath.contains(QLatin1Char(' ')));
    EXPECT_EQ(QFileInfo(shortPath).canonicalFilePath(), QFileInfo(song).canonicalFilePath());
}
