// Transfer benchmark: the real server role in a process of its own serves generated songs to
// client roles in this process over 127.0.0.1. Measures the high and low speed of one client
// against the stop-and-wait ceiling, ten clients at high speed, and the server's memory while
// 200 clients fetch one 10 MB song at low speed. The last line of the output is one JSON
// object with the figures.
//   tunvero_transfer_bench            (runs everything; scripts/run-bench.sh calls it)
//   tunvero_transfer_bench server low|high CLIENTS SONG...   (the server process it starts)
#include "core/SessionState.h"
#include "net/ClientRole.h"
#include "net/ServerRole.h"
#include "playback/MediaCommandService.h"
#include "platform/MediaShortPath.h"
#include "playback/ModMultimedia.h"
#include "transfer/ClientTransfer.h"
#include "transfer/ServerTransfer.h"
#include "transfer/SongStore.h"
#include "transfer/TransferSpeed.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int waitMs = 600000;

// Opens nothing: the songs are random bytes, and the transfer does not look at the answer.
class NullMediaService : public MediaCommandService {
public:
    int sendString(const QString &, QString *) override { return 0; }
    QString errorString(int) const override { return {}; }
};

// ---- server process -------------------------------------------------------------------------

int runServer(const QStringList &args)
{
    const bool high = args.value(0) == QStringLiteral("high");
    const int expected = args.value(1).toInt();
    const QStringList songs = args.mid(2);

    SessionState session;
    session.setAcceptNewClients(true);
    ServerRole server(session);
    server.setListenAddress(QHostAddress::LocalHost);
    SongStore store;
    ServerTransfer transfer(server, session, store);
    if (high)
        transfer.speed().cmdSpeed_Click();
    if (!server.listen(0))
        return 1;

    QByteArray list;
    for (const QString &song : songs)
        list += (list.isEmpty() ? "" : "\r\n") + song.toLocal8Bit();
    bool announced = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &server, [&] {
        int ready = 0;
        for (int i = 1; i <= ServerRole::lastIndex; ++i)
            ready += server.isReady(i) ? 1 : 0;
        if (!announced && ready >= expected && !store.isPreparing() && store.songCount() == songs.size()) {
            announced = true;
            session.setRunActive(true);
            server.SendMessageAll("SetMusic", list);
        }
    });
    QObject::connect(&store, &SongStore::prepared, &server, [&] {
        std::printf("port %d\n", server.listeningPort());
        std::fflush(stdout);
        poll.start(20);
    });
    store.prepare(songs);
    return QCoreApplication::exec();
}

// ---- clients --------------------------------------------------------------------------------

struct Client {
    Client(const QString &downloadFolder, ModMultimedia &media)
        : folder(downloadFolder), transfer(role, media, &tmrGetFile, [this] { return folder; })
    {
        QObject::connect(&role, &ClientRole::setMusic, &transfer, &ClientTransfer::startSongList);
        QObject::connect(&role, &ClientRole::fileData, &transfer,
                         [this](const QByteArray &piece) { received += piece.size(); });
        // Runs after the transfer has sent its "GetFile".
        QObject::connect(&tmrGetFile, &QTimer::timeout, &transfer, [this] {
            if (!clock.isValid())
                clock.start();
            if (armed.isValid()) {
                timerNs += armed.nsecsElapsed();
                ++ticks;
            }
            asked.start();
        });
        QObject::connect(&role, &ClientRole::doGetFile, &transfer, [this] {
            if (asked.isValid()) {
                roundTripNs += asked.nsecsElapsed();
                ++chunks;
            }
            armed.start();
            fetchNs = clock.nsecsElapsed();
        });
        QObject::connect(&transfer, &ClientTransfer::allFilesLoaded, &transfer, [this] {
            if (!done) {
                seconds = static_cast<double>(fetchNs) / 1e9;
                done = true;
            }
        });
    }

    QString folder;
    QTimer tmrClient;
    QTimer tmrGetFile;
    ClientRole role{&tmrClient};
    ClientTransfer transfer;
    QElapsedTimer clock;
    QElapsedTimer asked;
    QElapsedTimer armed;
    qint64 timerNs = 0;
    int ticks = 0;
    qint64 received = 0;
    qint64 roundTripNs = 0;
    // From the first "GetFile" to the last chunk's "DoGetFile": the song's bytes on the wire,
    // without storing it (a whole song is synced to disk before it takes its name).
    qint64 fetchNs = 0;
    int chunks = 0;
    double seconds = 0;
    bool done = false;
};

QByteArray sha256(const QString &path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result();
}

bool writeSong(const QString &path, qint64 size, quint32 seed)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QRandomGenerator random(seed);
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (qint64 left = size; left > 0; left -= block.size()) {
        random.fillRange(reinterpret_cast<quint32 *>(block.data()), block.size() / 4);
        if (file.write(block.constData(), std::min<qint64>(left, block.size())) < 0)
            return false;
    }
    return true;
}

double residentMegabytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return -1;
}

// One run: a server process, `count` clients fetching `songs`. `midSong` (when set) is called
// once every client has received that many bytes, with the server's process id; the run then
// ends there.
struct Run {
    std::vector<std::unique_ptr<Client>> clients;
    double wallSeconds = 0;
    bool ok = false;
};

Run fetch(const QString &self, const QString &work, bool high, int count, const QStringList &songs, qint64 midSong = 0,
          const std::function<void(qint64 pid)> &atMidSong = {})
{
    Run run;
    static NullMediaService service;
    static ModMultimedia media(service, [](const QString &path) {
        return MediaShortPath::Result{MediaShortPath::Result::Outcome::Made, path};
    });

    QProcess server;
    server.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server.start(self, QStringList{QStringLiteral("server"), high ? QStringLiteral("high") : QStringLiteral("low"),
                                   QString::number(count)} +
                           songs);
    if (!server.waitForReadyRead(waitMs))
        return run;
    const QByteArray line = server.readLine().trimmed();
    const quint16 port = static_cast<quint16>(line.mid(5).toUInt());

    for (int i = 0; i < count; ++i) {
        run.clients.push_back(std::make_unique<Client>(QStringLiteral("%1/client%2/").arg(work).arg(i), media));
        run.clients.back()->role.connectToServer(QStringLiteral("127.0.0.1"), port);
    }
    QElapsedTimer wall;
    wall.start();
    bool started = false;
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        bool allDone = true;
        bool allMid = true;
        for (const auto &client : run.clients) {
            allDone = allDone && client->done;
            allMid = allMid && client->received >= midSong;
            if (!started && client->received > 0) {
                started = true;
                wall.start();
            }
        }
        if (midSong > 0 && allMid) {
            atMidSong(server.processId());
            run.ok = true;
            loop.quit();
        } else if (midSong == 0 && allDone) {
            run.wallSeconds = static_cast<double>(wall.nsecsElapsed()) / 1e9;
            run.ok = true;
            loop.quit();
        }
    });
    check.start(10);
    QTimer::singleShot(waitMs, &loop, &QEventLoop::quit);
    loop.exec();
    server.kill();
    server.waitForFinished();
    return run;
}

bool identical(const Run &run, const QStringList &songs, const QList<QByteArray> &hashes)
{
    for (const auto &client : run.clients) {
        for (qsizetype i = 0; i < songs.size(); ++i) {
            if (sha256(client->folder + songs[i].sliced(1)) != hashes[i])
                return false;
        }
    }
    return run.ok;
}

int runBench(const QString &self)
{
    QTemporaryDir temp;
    if (!temp.isValid())
        return 1;
    const QString songFolder = temp.path() + QStringLiteral("/songs");
    QDir().mkpath(songFolder);
    const auto song = [&](const char *name, qint64 megabytes, quint32 seed) {
        const QString path = songFolder + QLatin1Char('/') + QLatin1String(name);
        writeSong(path, megabytes * 1000 * 1000, seed);
        return path;
    };
    const QString big = song("high.mp3", 40, 1);
    const QString small = song("low.mp3", 2, 2);
    const QString ten = song("ten.mp3", 10, 3);
    const QString twenty = song("twenty.mp3", 20, 4);
    QHash<QString, QByteArray> hashes;
    for (const QString &path : {big, small, ten, twenty})
        hashes.insert(path, sha256(path));
    bool same = true;
    const auto check = [&](const Run &run, const QStringList &songs) {
        QList<QByteArray> expected;
        for (const QString &path : songs)
            expected.append(hashes.value(path));
        same = same && identical(run, songs, expected);
    };

    // One client, high speed, against the ceiling measured in the same run.
    Run high = fetch(self, temp.path() + QStringLiteral("/high"), true, 1, {big});
    check(high, {big});
    const Client &h = *high.clients.front();
    const double highMbs = h.seconds > 0 ? static_cast<double>(h.received) / 1e6 / h.seconds : 0;
    const double roundTrip = h.chunks ? static_cast<double>(h.roundTripNs) / h.chunks / 1e9 : 0;
    const double ceilingMbs = TransferSpeed::highBytes / (0.005 + roundTrip) / 1e6;
    std::printf("high, 1 client: %.2f MB/s; mean chunk round trip %.3f ms; request timer %.3f ms; ceiling %.2f MB/s\n",
                highMbs, roundTrip * 1e3, h.ticks ? static_cast<double>(h.timerNs) / h.ticks / 1e6 : 0.0, ceilingMbs);
    std::fflush(stdout);
    high.clients.clear();

    Run low = fetch(self, temp.path() + QStringLiteral("/low"), false, 1, {small});
    check(low, {small});
    const Client &l = *low.clients.front();
    const double lowMbs = l.seconds > 0 ? static_cast<double>(l.received) / 1e6 / l.seconds : 0;
    std::printf("low, 1 client: %.3f MB/s\n", lowMbs);
    std::fflush(stdout);
    low.clients.clear();

    Run ten10 = fetch(self, temp.path() + QStringLiteral("/ten"), true, 10, {twenty});
    check(ten10, {twenty});
    qint64 total = 0;
    for (const auto &client : ten10.clients)
        total += client->received;
    const double tenMbs = ten10.wallSeconds > 0 ? static_cast<double>(total) / 1e6 / ten10.wallSeconds : 0;
    std::printf("high, 10 clients: %.2f MB/s in total\n", tenMbs);
    std::fflush(stdout);
    ten10.clients.clear();

    // 200 clients at low speed, each well into the 10 MB song.
    double rss = -1;
    Run many = fetch(self, temp.path() + QStringLiteral("/many"), false, 200, {ten}, 400 * 1000,
                     [&](qint64 pid) { rss = residentMegabytes(pid); });
    std::printf("200 clients mid-song: server RSS %.1f MB (songs 10 MB)\n", rss);
    many.clients.clear();

    std::printf("{\"high_mb_s_1_client\": %.2f, \"high_ceiling_ratio\": %.3f, \"low_mb_s_1_client\": %.3f, "
                "\"high_mb_s_10_clients_total\": %.2f, \"server_rss_mb_200_clients\": %.1f, "
                "\"songs_identical\": %s}\n",
                highMbs, ceilingMbs > 0 ? highMbs / ceilingMbs : 0, lowMbs, tenMbs, rss, same ? "true" : "false");
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.value(1) == QStringLiteral("server"))
        return runServer(args.mid(2));
    return runBench(args.value(0));
}
