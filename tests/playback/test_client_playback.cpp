// The client's side of a run: a new song list closes every song first, "PlayMusic" stops the
// songs and plays the announced one from its start, "StopAllMusic" stops them all.
#include "RecordingAudioOutput.h"
#include "RecordingMediaService.h"
#include "TestSongs.h"

#include "playback/ClientPlayback.h"
#include "playback/MediaService.h"
#include "playback/ModMultimedia.h"
#include "tests/support/ScriptedDialogs.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

TEST(ClientPlayback, SongsThatCannotBeClosedEndTheProgram)
{
    RecordingMediaService service;
    service.reply(QStringLiteral("Close All"), 263);
    ModMultimedia media(service);
    ScriptedDialogs dialogs;
    dialogs.then(DialogAnswer::Ok);
    int programEnds = 0;
    ClientPlayback playback(media, dialogs, [&] { ++programEnds; });
    QSignalSpy handed(&playback, &ClientPlayback::songListArrived);
    playback.setMusic("/m/a.mp3");
    EXPECT_EQ(handed.size(), 0);
    EXPECT_EQ(programEnds, 1);
    EXPECT_EQ(dialogs.messageTexts(), std::vector<QString>{QStringLiteral("Kunde inte stoppa musiken!")});
}

// Two clients on real media services; the first lacks song 1.
TEST(ClientPlayback, PlaysTheAnnouncedSongAloneStopsAndANewRunClosesEverything)
{
    std::vector<std::shared_ptr<QByteArray>> outputs;
    const auto output = [&] {
        outputs.push_back(std::make_shared<QByteArray>());
        return std::make_unique<RecordingAudioOutput>(outputs.back());
    };
    MediaService lacking(output), holding(output);
    ModMultimedia lackingMedia(lacking), holdingMedia(holding);
    ScriptedDialogs dialogs;
    ClientPlayback first(lackingMedia, dialogs, [] { FAIL(); });
    ClientPlayback second(holdingMedia, dialogs, [] { FAIL(); });
    QSignalSpy playing(&second, &ClientPlayback::playingChanged);
    const QByteArray list = "/s/a.mp3\r\n/s/\xc3\xa5.mp3";
    first.setMusic(list);
    second.setMusic(list);
    const QString song = TestSongs::path("cbr_48k_mono");
    ASSERT_EQ(lackingMedia.MediaOpen(0, ClientPlayback::deviceAlias(0), song, QStringLiteral("MPEGVideo")),
              QStringLiteral("Success"));
    for (int i : {0, 1})
        ASSERT_EQ(holdingMedia.MediaOpen(0, ClientPlayback::deviceAlias(i), song, QStringLiteral("MPEGVideo")),
                  QStringLiteral("Success"));
    const auto mode = [](MediaService &service, int slot) {
        QString answer;
        service.sendString(QStringLiteral("status %1 mode").arg(ClientPlayback::deviceAlias(slot)), &answer);
        return answer;
    };

    first.playMusic("0");
    second.playMusic("0");
    first.playMusic("1");
    second.playMusic("1");
    EXPECT_EQ(mode(lacking, 0), QStringLiteral("stopped"));
    EXPECT_EQ(mode(holding, 0), QStringLiteral("stopped"));
    EXPECT_EQ(mode(holding, 1), QStringLiteral("playing"));
    ASSERT_EQ(playing.size(), 2);
    EXPECT_EQ(playing.at(1).at(0).toString(), QStringLiteral("/s/å.mp3"));

    // Numbers that name no slot of a run are not acted on.
    for (const QByteArray bad : {"", "201", "-1", "1 ", "x"})
        second.playMusic(bad);
    EXPECT_EQ(mode(holding, 1), QStringLiteral("playing"));
    EXPECT_EQ(playing.size(), 2);
    second.stopAllMusic();
    EXPECT_EQ(mode(holding, 1), QStringLiteral("stopped"));

    // A new run: every device is closed before the song list is handed on.
    int handed = 0;
    QObject::connect(&second, &ClientPlayback::songListArrived, [&] {
        ++handed;
        for (int i : {0, 1})
            EXPECT_NE(holdingMedia.MediaStop(ClientPlayback::deviceAlias(i)), QStringLiteral("Success"));
    });
    second.setMusic("/s/c.mp3\r\n/s/d.mp3\r\n\r\n/s/e.mp3"); // an empty line ends the list
    EXPECT_EQ(handed, 1);
    EXPECT_EQ(second.songs(), (QList<QByteArray>{"/s/c.mp3", "/s/d.mp3"}));
}
