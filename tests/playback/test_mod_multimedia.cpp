// The command texts the media procedures send, checked through a recording stand-in.
#include "RecordingMediaService.h"

#include "playback/ModMultimedia.h"

#include <gtest/gtest.h>

TEST(ModMultimedia, OpenSendsItsCommandIn255Characters)
{
    RecordingMediaService service;
    QString shortPath = QStringLiteral("C:\\MUSIC\\SONG.MP3");
    ModMultimedia media(service, [&](const QString &) {
        return MediaShortPath::Result{MediaShortPath::Result::Outcome::Made, shortPath};
    });
    const QString type = QStringLiteral("MPEGVideo");

    EXPECT_EQ(media.MediaOpen(1234, QStringLiteral("ServerTunvero"), QStringLiteral("C:\\Music\\Song long.mp3"), type),
              QStringLiteral("Success"));
    // 255 characters fit the short-path buffer, 256 do not and count as no short form.
    const QString deep = QStringLiteral("/") + QString(248, QLatin1Char('d')) + QStringLiteral("/x.mp3");
    ASSERT_EQ(deep.size(), 255);
    shortPath = deep;
    media.MediaOpen(-5, QStringLiteral("ClientTunveroID200"), QStringLiteral("x"), type);
    shortPath = deep + QLatin1Char('3');
    media.MediaOpen(7, QStringLiteral("A"), QStringLiteral("/long.mp3"), type);

    const QString rest = QStringLiteral(" type MPEGVideo Alias %1 parent %2 Style 1073741824");
    EXPECT_EQ(
        service.commands(),
        (QStringList{
            (QStringLiteral("open C:\\MUSIC\\SONG.MP3") +
             rest.arg(QStringLiteral("ServerTunvero"), QStringLiteral("1234")))
                .leftJustified(255),
            (QStringLiteral("open ") + deep + rest.arg(QStringLiteral("ClientTunveroID200"), QStringLiteral("-5")))
                .left(255),
            (QStringLiteral("open ") + rest.arg(QStringLiteral("A"), QStringLiteral("7"))).leftJustified(255)}));
}
