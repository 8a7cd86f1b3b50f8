// The command texts the media procedures send, checked through a recording stand-in.
#include "RecordingMediaService.h"

#include "playback/MediaError.h"
#include "playback/ModMultimedia.h"

#include <gtest/gtest.h>

TEST(ModMultimedia, OpenSendsItsCommandIn255Characters)
{
    using Outcome = MediaShortPath::Result::Outcome;
    RecordingMediaService service;
    service.reply(QStringLiteral("open  type MPEGVideo Alias A parent 7 Style 1073741824"), 275);
    MediaShortPath::Result shortPath{Outcome::Made, QStringLiteral("C:\\MUSIC\\SONG.MP3")};
    QStringList askedFor;
    ModMultimedia media(service, [&](const QString &path) {
        askedFor.append(path);
        return shortPath;
    });
    const QString type = QStringLiteral("MPEGVideo");

    EXPECT_EQ(media.MediaOpen(1234, QStringLiteral("ServerTunvero"), QStringLiteral("C:\\Music\\Song long.mp3"), type),
              QStringLiteral("Success"));
    // 255 characters fit the short-path buffer, 256 do not and count as no short form.
    const QString deep = QStringLiteral("/") + QString(248, QLatin1Char('d')) + QStringLiteral("/x.mp3");
    ASSERT_EQ(deep.size(), 255);
    shortPath.path = deep;
    media.MediaOpen(-5, QStringLiteral("ClientTunveroID200"), QStringLiteral("x"), type);
    shortPath.path = deep + QLatin1Char('3');
    media.MediaOpen(7, QStringLiteral("A"), QStringLiteral("/long.mp3"), type);
    shortPath = {Outcome::Missing, QString()};
    EXPECT_EQ(media.MediaOpen(7, QStringLiteral("A"), QStringLiteral("/gone.mp3"), type), QStringLiteral("Fel 275"));
    // A song that is there but has no short form says so, and asks nothing of the service.
    shortPath = {Outcome::Failed, QString()};
    EXPECT_EQ(media.MediaOpen(7, QStringLiteral("A"), QStringLiteral("/here.mp3"), type),
              QStringLiteral("Fel %1").arg(int(MediaError::NoShortPath)));

    EXPECT_EQ(askedFor.first(), QStringLiteral("C:\\Music\\Song long.mp3"));
    const QString full =
        QStringLiteral("open %1 type MPEGVideo Alias ClientTunveroID200 parent -5 Style 1073741824").arg(deep);
    const QString missing = QStringLiteral("open  type MPEGVideo Alias A parent 7 Style 1073741824").leftJustified(255);
    EXPECT_EQ(service.commands(),
              (QStringList{QStringLiteral("open C:\\MUSIC\\SONG.MP3 type MPEGVideo Alias ServerTunvero "
                                          "parent 1234 Style 1073741824")
                               .leftJustified(255),
                           full.left(255), missing, missing}));
}

TEST(ModMultimedia, APlayRunsToTheMeasuredEndAndLengthsLeaveTheDeviceInFrames)
{
    RecordingMediaService service;
    service.reply(QStringLiteral("status C length"), 0, QStringLiteral("4711"));
    service.reply(QStringLiteral("status S length"), 0, QStringLiteral("  2500.7 ms")); // rounded
    service.reply(QStringLiteral("status T length"), 263);
    ModMultimedia media(service);

    EXPECT_EQ(media.MediaPlay(QStringLiteral("C"), QString(), QString()), QStringLiteral("Success"));
    EXPECT_EQ(media.MediaLengthMs(QStringLiteral("S")), 2501);
    EXPECT_EQ(media.MediaLengthMs(QStringLiteral("T")), -1);
    EXPECT_EQ(service.commands().at(2), QStringLiteral("play C from 0 to 4711").leftJustified(128));
    EXPECT_EQ(service.commands().at(5), QStringLiteral("set S time format frames"));
    EXPECT_EQ(service.commands().last(), QStringLiteral("set T time format frames"));
}
