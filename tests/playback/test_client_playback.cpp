// The client's side of a run: a new song list closes every song first, "PlayMusic" stops the
// songs and plays the announced one from its start, "StopAllMusic" stops them all.
#include "RecordingAudioOutput.h"
#include "RecordingMediaService.h"
#include "TestSongs.h"

#include "playback/ClientPlayback.h"
#include "playback/MediaService.h"
#include "platform/MediaShortPath.h"
#include "playback/ModMultimedia.h"
#include "tests/support/ScriptedDialogs.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace {

QStringList withoutBlanks(QStringList commands)
{
    for (QString &c : commands)
        c = c.trimmed();
    return commands;
}

class ClientPlaybackTest : public ::testing::Test {
protected:
    RecordingMediaService service;
    ModMultimedia media{service, [](const QString &path) {
                            return MediaShortPath::Result{MediaShortPath::Result::Outcome::Made, path};
                        }};
    ScriptedDialogs dialogs;
    int programEnds = 0;
    ClientPlayback playback{media, dialogs, [this] { ++programEnds; }};
};

TEST_F(ClientPlaybackTest, SongsThatCannotBeClosedEndTheProgram)
{
    service.reply(QStringLiteral("Close All"), 263);
    dialogs.then(DialogAnswer::Ok);
    QSignalSpy handed(&playback, &ClientPlayback::songListArrived);
    playback.setMusic("/m/a.mp3");
    EXPECT_EQ(handed.size(), 0);
    EXPECT_EQ(programEnds, 1);
    EXPECT_EQ(dialogs.messageTexts(), std::vector<QString>{QStringLiteral("Kunde inte stoppa musiken!")});
}

TEST_F(ClientPlaybackTest, PlayStopsEverySongThenPlaysTheOneAnnounced)
{
    playback.setMusic("/m/a.mp3\r\n/m/\xc3\xa5.mp3\r\n/m/c.mp3");
    QSignalSpy playing(&playback, &ClientPlayback::playingChanged);
    service.reply(QStringLiteral("status ClientTunveroID1 length"), 0, QStringLiteral("77"));
    playback.playMusic("1");
    EXPECT_EQ(
        withoutBlanks(service.commands().mid(1)),
        (QStringList{QStringLiteral("Stop ClientTunveroID0"), QStringLiteral("Stop ClientTunveroID1"),
                     QStringLiteral("Stop ClientTunveroID2"), QStringLiteral("set ClientTunveroID1 time format frames"),
                     QStringLiteral("status ClientTunveroID1 length"),
                     QStringLiteral("play ClientTunveroID1 from 0 to 77")}));
    ASSERT_EQ(playing.size(), 1);
    EXPECT_EQ(playing.at(0).at(0).toString(), QStringLiteral("/m/å.mp3"));

    // Numbers that name no slot of a run are not acted on.
    const qsizetype before = service.commands().size();
    for (const QByteArray bad : {"", "201", "-1", "1 ", "x"})
        playback.playMusic(bad);
    EXPECT_EQ(service.commands().size(), before);
    EXPECT_EQ(playing.size(), 1);

    playback.stopAllMusic();
    EXPECT_EQ(withoutBlanks(service.commands().mid(before)),
              (QStringList{QStringLiteral("Stop ClientTunveroID0"), QStringLiteral("Stop ClientTunveroID1"),
                           QStringLiteral("Stop ClientTunveroID2")}));
}

// Two clients on real media services; the first lacks song 1.
TEST(ClientPlaybackSongs, AMissingSongStaysSilentWhileOthersPlayAndANewRunClosesEverything)
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
    const QByteArray list = "/s/a.mp3\r\n/s/b.mp3";
    first.setMusic(list);
    second.setMusic(list);
    ASSERT_EQ(lackingMedia.MediaOpen(0, ClientPlayback::deviceAlias(0), TestSongs::path("cbr_48k_mono"),
                                     QStringLiteral("MPEGVideo")),
              QStringLiteral("Success"));
    for (int i : {0, 1})
        ASSERT_EQ(holdingMedia.MediaOpen(0, ClientPlayback::deviceAlias(i), TestSongs::path("cbr_48k_mono"),
                                         QStringLiteral("MPEGVideo")),
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

} // namespace
