// Media benchmark: how long "open" takes per song and for a five-minute song, how long from
// "play" until the first samples reach the output (the first play of the process apart), how
// late a 1 ms timer runs while songs open and play, how much memory 201 open five-minute songs
// hold, and how long a play minutes into a song holds the event loop. The last line of the
// output is one JSON object with the figures.
//   tunvero_media_bench SONG_FOLDER   (scripts/run-bench.sh makes the songs and runs it)
#include "core/MonotonicClock.h"
#include "playback/MediaService.h"
#include "playback/ModMultimedia.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QEventLoop>
#include <QMediaDevices>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kOpensPerSong = 5;
constexpr int kPlays = 100;
constexpr int kOpenDevices = 201;
constexpr int kLongOpens = 21;
constexpr int kStallOpens = 20;
constexpr int kStallOpenIntervalMs = 50;
const char kLongSong[] = "five_minutes_44k_stereo.mp3";
const char kPlaySong[] = "cbr_44k_stereo.mp3";

double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double worst(const std::vector<double> &values)
{
    return values.empty() ? 0 : *std::max_element(values.begin(), values.end());
}

double residentMegabytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

void print(const QString &line)
{
    std::printf("%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s SONG_FOLDER\n", argv[0]);
        return 2;
    }
    const QDir songs(QString::fromLocal8Bit(argv[1]));
    if (!songs.exists(QLatin1String(kPlaySong)) || !songs.exists(QLatin1String(kLongSong))) {
        std::fprintf(stderr, "%s lacks %s or %s: make them with scripts/make-test-songs.sh DIR --long\n", argv[1],
                     kPlaySong, kLongSong);
        return 2;
    }

    MediaService service;
    ModMultimedia media(service);
    const QAudioDevice output = QMediaDevices::defaultAudioOutput();
    print(QStringLiteral("Output: %1")
              .arg(output.isNull() ? QStringLiteral("none, silent clock") : output.description()));

    // The first play of the process, from the command to the first samples handed over.
    QElapsedTimer playClock;
    qint64 handedAt = -1;
    QObject::connect(&service, &MediaService::firstSamplesHanded, &app, [&] { handedAt = playClock.nsecsElapsed(); });
    const auto timePlay = [&](const QString &alias) -> double {
        handedAt = -1;
        playClock.start();
        media.MediaPlay(alias, QString(), QString());
        QElapsedTimer cap;
        cap.start();
        while (handedAt < 0 && !cap.hasExpired(5000))
            app.processEvents(QEventLoop::AllEvents, 1);
        return handedAt < 0 ? -1 : handedAt / 1e6;
    };
    media.MediaOpen(0, QStringLiteral("BenchPlay"), songs.filePath(QLatin1String(kPlaySong)),
                    QStringLiteral("MPEGVideo"));
    const double coldPlay = timePlay(QStringLiteral("BenchPlay"));
    media.MediaStop(QStringLiteral("BenchPlay"));
    if (coldPlay < 0) {
        print(QStringLiteral("the first play handed nothing to the output within 5 s"));
        return 1;
    }
    print(QStringLiteral("first play of the process to first sample: %1 ms").arg(coldPlay, 0, 'f', 3));

    // Open time per song: the median of a few opens of each.
    std::vector<double> openMedians;
    for (const QString &name : songs.entryList({QStringLiteral("*.mp3")}, QDir::Files, QDir::Name)) {
        std::vector<double> times;
        for (int i = 0; i < kOpensPerSong; ++i) {
            QElapsedTimer clock;
            clock.start();
            const QString answer =
                media.MediaOpen(0, QStringLiteral("BenchOpen"), songs.filePath(name), QStringLiteral("MPEGVideo"));
            times.push_back(clock.nsecsElapsed() / 1e6);
            if (answer != QStringLiteral("Success")) {
                print(QStringLiteral("open %1 failed: %2").arg(name, answer));
                return 1;
            }
            media.MediaClose(QStringLiteral("BenchOpen"));
        }
        openMedians.push_back(median(times));
        print(QStringLiteral("open %1: %2 ms").arg(name, -28).arg(openMedians.back(), 0, 'f', 2));
    }

    // Opening a five-minute song, as a client does for each song of a run.
    const QString longSong = songs.filePath(QLatin1String(kLongSong));
    std::vector<double> longOpens;
    for (int i = 0; i < kLongOpens; ++i) {
        QElapsedTimer clock;
        clock.start();
        const QString answer = media.MediaOpen(0, QStringLiteral("BenchLong"), longSong, QStringLiteral("MPEGVideo"));
        longOpens.push_back(clock.nsecsElapsed() / 1e6);
        if (answer != QStringLiteral("Success")) {
            print(QStringLiteral("open of the five-minute song failed: %1").arg(answer));
            return 1;
        }
        media.MediaClose(QStringLiteral("BenchLong"));
    }
    print(QStringLiteral("open five-minute song over %1 opens: median %2 ms, worst %3 ms")
              .arg(kLongOpens)
              .arg(median(longOpens), 0, 'f', 2)
              .arg(worst(longOpens), 0, 'f', 2));

    // How late a 1 ms timer runs (standing in for a message waiting to be handled) while a
    // five-minute song plays and twenty more open, one every 50 ms.
    double stallMs = 0;
    {
        QEventLoop loop;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        probe.setInterval(1);
        QElapsedTimer clock;
        qint64 last = -1;
        QObject::connect(&probe, &QTimer::timeout, &loop, [&] {
            const qint64 now = clock.nsecsElapsed();
            if (last >= 0)
                stallMs = std::max(stallMs, (now - last) / 1e6 - 1);
            last = now;
        });
        QTimer opener;
        opener.setTimerType(Qt::PreciseTimer);
        opener.setInterval(kStallOpenIntervalMs);
        int opened = 0;
        QObject::connect(&opener, &QTimer::timeout, &loop, [&] {
            media.MediaOpen(0, QStringLiteral("Stall%1").arg(opened), longSong, QStringLiteral("MPEGVideo"));
            if (++opened == kStallOpens) {
                opener.stop();
                QTimer::singleShot(500, &loop, &QEventLoop::quit);
            }
        });
        media.MediaOpen(0, QStringLiteral("StallPlay"), longSong, QStringLiteral("MPEGVideo"));
        media.MediaPlay(QStringLiteral("StallPlay"), QString(), QString());
        clock.start();
        probe.start();
        opener.start();
        loop.exec();
        media.MediaCloseAll();
    }
    print(QStringLiteral("worst lateness of a 1 ms timer while playing and opening %1 five-minute songs: %2 ms")
              .arg(kStallOpens)
              .arg(stallMs, 0, 'f', 2));

    // From "play" (as a client sends it: from the start to the length in frames) to the first
    // samples handed to the output.
    media.MediaOpen(0, QStringLiteral("BenchPlay"), songs.filePath(QLatin1String(kPlaySong)),
                    QStringLiteral("MPEGVideo"));
    std::vector<double> playTimes;
    for (int i = 0; i < kPlays; ++i) {
        const double handedMs = timePlay(QStringLiteral("BenchPlay"));
        if (handedMs < 0) {
            print(QStringLiteral("play %1 handed nothing to the output within 5 s").arg(i));
            return 1;
        }
        playTimes.push_back(handedMs);
        // Let it sound a moment, as a real song would, before the next start.
        QElapsedTimer pause;
        pause.start();
        while (!pause.hasExpired(20))
            app.processEvents(QEventLoop::AllEvents, 5);
        media.MediaStop(QStringLiteral("BenchPlay"));
    }
    media.MediaClose(QStringLiteral("BenchPlay"));
    const double playMedian = median(playTimes);
    const double playMax = worst(playTimes);
    print(QStringLiteral("play to first sample over %1 plays: median %2 ms, worst %3 ms")
              .arg(kPlays)
              .arg(playMedian, 0, 'f', 3)
              .arg(playMax, 0, 'f', 3));

    // A play whose moment passed minutes ago (a client joining the song the others play): the
    // time the command holds the event loop, seeking there and handing the first samples over.
    std::vector<double> joinTimes;
    media.MediaOpen(0, QStringLiteral("BenchJoin"), longSong, QStringLiteral("MPEGVideo"));
    for (int i = 0; i < kLongOpens; ++i) {
        const qint64 pastNs = (10 + qint64(i) * 13) * 1000000000LL;
        QElapsedTimer clock;
        clock.start();
        media.startNextPlayAt(MonotonicClock::nowNs() - pastNs);
        media.MediaPlay(QStringLiteral("BenchJoin"), QString(), QString());
        joinTimes.push_back(clock.nsecsElapsed() / 1e6);
        QElapsedTimer pause;
        pause.start();
        while (!pause.hasExpired(50))
            app.processEvents(QEventLoop::AllEvents, 5);
        media.MediaStop(QStringLiteral("BenchJoin"));
    }
    media.MediaClose(QStringLiteral("BenchJoin"));
    print(QStringLiteral("play joined 10 s to 270 s into the five-minute song over %1 plays: median %2 ms, worst %3 ms")
              .arg(kLongOpens)
              .arg(median(joinTimes), 0, 'f', 3)
              .arg(worst(joinTimes), 0, 'f', 3));

    // 201 five-minute songs open at once, as a client holds a full run.
    const double rssBefore = residentMegabytes();
    QElapsedTimer openAll;
    openAll.start();
    for (int i = 0; i < kOpenDevices; ++i) {
        const QString answer = media.MediaOpen(0, QStringLiteral("ClientTunveroID%1").arg(i),
                                               songs.filePath(QLatin1String(kLongSong)), QStringLiteral("MPEGVideo"));
        if (answer != QStringLiteral("Success")) {
            print(QStringLiteral("open %1 of the five-minute song failed: %2").arg(i).arg(answer));
            return 1;
        }
    }
    const double openAllMs = openAll.nsecsElapsed() / 1e6;
    const double rssOpen = residentMegabytes();
    print(QStringLiteral("%1 five-minute songs open: %2 MB resident (%3 MB before), opened in %4 ms")
              .arg(kOpenDevices)
              .arg(rssOpen, 0, 'f', 1)
              .arg(rssBefore, 0, 'f', 1)
              .arg(openAllMs, 0, 'f', 0));
    media.MediaCloseAll();

    print(QStringLiteral("{\"open_ms_median\": %1, \"play_first_sample_ms_median\": %2, "
                         "\"play_first_sample_ms_max\": %3, \"rss_mb_201_open\": %4, "
                         "\"open_5min_song_ms_p50\": %5, \"open_5min_song_ms_max\": %6, "
                         "\"cold_first_play_ms\": %7, \"event_loop_max_stall_ms\": %8, "
                         "\"join_play_ms_p50\": %9, \"join_play_ms_max\": %10}")
              .arg(median(openMedians), 0, 'f', 3)
              .arg(playMedian, 0, 'f', 3)
              .arg(playMax, 0, 'f', 3)
              .arg(rssOpen, 0, 'f', 1)
              .arg(median(longOpens), 0, 'f', 3)
              .arg(worst(longOpens), 0, 'f', 3)
              .arg(coldPlay, 0, 'f', 3)
              .arg(stallMs, 0, 'f', 3)
              .arg(median(joinTimes), 0, 'f', 3)
              .arg(worst(joinTimes), 0, 'f', 3));
    return 0;
}
