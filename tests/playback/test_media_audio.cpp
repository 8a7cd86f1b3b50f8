// The real audio path: a song played through Qt Multimedia into the sound server, heard on the
// monitor of the server's sink. The test command starts a PulseAudio daemon with a null sink.
#include "TestSongs.h"

#include "playback/MediaService.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kWaitCapMs = 60000;

// Records the sink's monitor with the sound server's own recorder (parec) and remembers how
// loud the latest samples were. Qt's device list leaves monitors out, so Qt cannot listen here.
class MonitorListener
{
public:
    ~MonitorListener()
    {
        m_recorder.kill();
        m_recorder.waitForFinished(5000);
    }

    bool start()
    {
        m_recorder.start(QStringLiteral("parec"),
                         {QStringLiteral("--device=@DEFAULT_MONITOR@"), QStringLiteral("--format=s16le"),
                          QStringLiteral("--rate=48000"), QStringLiteral("--channels=2"),
                          QStringLiteral("--latency-msec=20")});
        return m_recorder.waitForStarted(kWaitCapMs);
    }

    // The loudest sample of what arrived since the last call; -1 when nothing arrived.
    int loudestSinceLastCall()
    {
        m_pending += m_recorder.readAllStandardOutput();
        const qsizetype whole = m_pending.size() - m_pending.size() % 2;
        if (whole == 0)
            return -1;
        int loudest = 0;
        for (qsizetype i = 0; i < whole; i += 2) {
            qint16 sample = 0;
            std::memcpy(&sample, m_pending.constData() + i, sizeof sample);
            loudest = std::max(loudest, std::abs(int(sample)));
        }
        m_pending.remove(0, whole);
        return loudest;
    }

private:
    QProcess m_recorder;
    QByteArray m_pending;
};

} // namespace

TEST(MediaAudio, ASongPlaysIntoTheSoundServerAndStops)
{
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        GTEST_SKIP() << "PULSE_SERVER is not set: run through scripts/run-tests.sh, which starts a "
                        "PulseAudio null sink";
    ASSERT_FALSE(QMediaDevices::defaultAudioOutput().isNull()) << "the sound server offers no output";

    MonitorListener monitor;
    ASSERT_TRUE(monitor.start());
    MediaService service;
    auto send = [&](const QString &command) { return service.sendString(command, nullptr); };
    auto ask = [&](const QString &command) {
        QString answer;
        service.sendString(command, &answer);
        return answer;
    };
    ASSERT_EQ(send(QStringLiteral("open %1 type MPEGVideo Alias s").arg(TestSongs::path("vbr_48k_stereo"))), 0);
    ASSERT_EQ(send(QStringLiteral("set s time format ms")), 0);

    ASSERT_EQ(send(QStringLiteral("play s from 0")), 0);
    EXPECT_EQ(ask(QStringLiteral("status s mode")), QStringLiteral("playing"));
    // The tone reaches the sink, and the position follows what the server has played.
    EXPECT_TRUE(QTest::qWaitFor([&] { return monitor.loudestSinceLastCall() > 1000; }, kWaitCapMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return ask(QStringLiteral("status s position")).toInt() > 0; }, kWaitCapMs));
    const int earlier = ask(QStringLiteral("status s position")).toInt();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ask(QStringLiteral("status s position")).toInt() > earlier; },
                                kWaitCapMs));

    ASSERT_EQ(send(QStringLiteral("stop s")), 0);
    EXPECT_EQ(ask(QStringLiteral("status s mode")), QStringLiteral("stopped"));
    const int stoppedAt = ask(QStringLiteral("status s position")).toInt();
    EXPECT_GT(stoppedAt, 0);
    EXPECT_LT(stoppedAt, 4000);
    // Silence once the sink has played out what was buffered.
    EXPECT_TRUE(QTest::qWaitFor([&] { return monitor.loudestSinceLastCall() == 0; }, kWaitCapMs));

    // Played again from the start, the device runs to its end and stops by itself.
    ASSERT_EQ(send(QStringLiteral("play s from 0")), 0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return ask(QStringLiteral("status s mode")) == QStringLiteral("stopped"); },
                                kWaitCapMs));
    EXPECT_EQ(ask(QStringLiteral("status s position")).toInt(), 4000);
}
