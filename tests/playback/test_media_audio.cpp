// The real audio path: a song played through the sound server (PulseAudio, as the program
// finds it), heard on the monitor of the server's sink. The test command starts a null sink.
#include "TestSongs.h"

#include "playback/MediaService.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

TEST(MediaAudio, SongsPlayOneAfterAnotherIntoOneStreamOfTheSoundServer)
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        GTEST_SKIP() << "PULSE_SERVER is not set: run through scripts/run-tests.sh, which starts a "
                        "PulseAudio null sink";
    ASSERT_FALSE(QMediaDevices::defaultAudioOutput().isNull()) << "the sound server offers no output";
    constexpr int kWaitCapMs = 60000;

    // The sink's monitor, recorded by the sound server's own recorder: Qt's device list leaves
    // monitors out, so Qt cannot listen here.
    QProcess recorder;
    recorder.start(QStringLiteral("parec"), {QStringLiteral("--device=@DEFAULT_MONITOR@"),
                                             QStringLiteral("--format=s16le"), QStringLiteral("--rate=48000"),
                                             QStringLiteral("--channels=2"), QStringLiteral("--latency-msec=20")});
    ASSERT_TRUE(recorder.waitForStarted(kWaitCapMs));
    QByteArray pending;
    // The loudest sample recorded since the last call; -1 when nothing arrived.
    const auto loudest = [&] {
        pending += recorder.readAllStandardOutput();
        int peak = -1;
        for (qsizetype i = 0; i + 1 < pending.size(); i += 2) {
            qint16 sample = 0;
            std::memcpy(&sample, pending.constData() + i, sizeof sample);
            peak = std::max(peak, std::abs(int(sample)));
        }
        pending.remove(0, pending.size() - pending.size() % 2);
        return peak;
    };

    MediaService service;
    const auto send = [&](const QString &command) { return service.sendString(command, nullptr); };
    const auto ask = [&](const QString &command) {
        QString answer;
        return service.sendString(command, &answer) == 0 ? answer : QString();
    };
    // Sound arrives from now on (what was recorded before is dropped).
    const auto soundsAgain = [&] {
        loudest();
        return QTest::qWaitFor([&] { return loudest() > 1000; }, kWaitCapMs);
    };
    const QString song = TestSongs::path("vbr_48k_stereo");
    for (const char *alias : {"s", "t"})
        ASSERT_EQ(send(QStringLiteral("open %1 type MPEGVideo Alias %2").arg(song, QLatin1String(alias))), 0);

    ASSERT_EQ(send(QStringLiteral("play s from 0")), 0);
    EXPECT_EQ(ask(QStringLiteral("status s mode")), QStringLiteral("playing"));
    EXPECT_TRUE(soundsAgain()); // the tone reaches the sink
    // Opening another song meanwhile, in a format of its own too, leaves it sounding.
    ASSERT_EQ(send(QStringLiteral("open %1 type MPEGVideo Alias u").arg(TestSongs::path("cbr_22k_mono"))), 0);
    EXPECT_EQ(ask(QStringLiteral("status s mode")), QStringLiteral("playing"));
    EXPECT_TRUE(soundsAgain());

    ASSERT_EQ(send(QStringLiteral("stop s")), 0);
    EXPECT_EQ(ask(QStringLiteral("status s mode")), QStringLiteral("stopped"));
    // Silence once the sink has played out what was buffered, though the stream stays open.
    EXPECT_TRUE(QTest::qWaitFor([&] { return loudest() == 0; }, kWaitCapMs));

    // The next device plays into the same stream and sounds, and so does the first once more,
    // to its end, where it stops by itself.
    ASSERT_EQ(send(QStringLiteral("play t from 0")), 0);
    EXPECT_TRUE(soundsAgain());
    ASSERT_EQ(send(QStringLiteral("stop t")), 0);
    ASSERT_EQ(send(QStringLiteral("play s from 0")), 0);
    EXPECT_TRUE(soundsAgain());
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return ask(QStringLiteral("status s mode")) == QStringLiteral("stopped"); }, kWaitCapMs));
    recorder.kill();
    recorder.waitForFinished(kWaitCapMs);
}

TEST(MediaAudio, APlayAfterAStopHandsItsFirstSamplesOverBeforeItReturns)
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        GTEST_SKIP() << "PULSE_SERVER is not set: run through scripts/run-tests.sh, which starts a "
                        "PulseAudio null sink";
    constexpr int kWaitCapMs = 30000;
    MediaService service;
    QSignalSpy handed(&service, &MediaService::firstSamplesHanded);
    const auto send = [&](const QString &command) { return service.sendString(command, nullptr); };
    const auto position = [&] {
        QString answer;
        return service.sendString(QStringLiteral("status s position"), &answer) == 0 ? answer.toLongLong() : -1;
    };
    ASSERT_EQ(send(QStringLiteral("open %1 type MPEGVideo Alias s").arg(TestSongs::path("vbr_48k_stereo"))), 0);
    ASSERT_EQ(send(QStringLiteral("set s time format ms")), 0);

    // Even into the stream the open has just begun to make; and after a stop, which drops what
    // was queued, whether or not the sink has begun to read the stream (an idle sink may take
    // seconds): a start placed on its moment is never late for this.
    ASSERT_EQ(send(QStringLiteral("play s from 0")), 0);
    EXPECT_EQ(handed.count(), 1) << "the first play";
    ASSERT_TRUE(QTest::qWaitFor([&] { return handed.count() == 1; }, kWaitCapMs));
    for (int round = 0; round < 6; ++round) {
        // The stream being made, then made (an idle sink may not read it yet), then played
        // (its position runs).
        if (round == 1)
            QTest::qWait(200);
        if (round >= 2) {
            EXPECT_TRUE(QTest::qWaitFor([&] { return position() > 0; }, kWaitCapMs)) << round;
        }
        ASSERT_EQ(send(QStringLiteral("stop s")), 0);
        handed.clear();
        ASSERT_EQ(send(QStringLiteral("play s from 0")), 0);
        EXPECT_EQ(handed.count(), 1) << "round " << round;
        ASSERT_TRUE(QTest::qWaitFor([&] { return handed.count() == 1; }, kWaitCapMs));
    }
}
