#include "app/RunEventLog.h"

#include "core/EventLog.h"
#include "net/ClientRole.h"
#include "net/RunAttendance.h"
#include "net/ServerRole.h"
#include "playback/ClientPlayback.h"
#include "playback/MediaService.h"
#include "transfer/ClientTransfer.h"
#include "transfer/DownloadTree.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonObject>
#include <QThreadPool>

namespace {

constexpr int tickMs = 1;
constexpr int reportMs = 1000;

// The song count of a song list: lines up to the first empty one.
int songCount(const QByteArray &data)
{
    int n = 0;
    for (const QByteArray &line : data.split('\n')) {
        if (line.isEmpty() || line == "\r")
            break;
        ++n;
    }
    return n;
}

// The slot of "ClientTunveroID<n>"; -1 for another alias.
int slotOfAlias(const QString &alias)
{
    const QString prefix = ClientPlayback::deviceAlias(0).chopped(1);
    if (!alias.startsWith(prefix, Qt::CaseInsensitive))
        return -1;
    bool ok = false;
    const int slot = alias.mid(prefix.size()).toInt(&ok);
    return ok ? slot : -1;
}

QJsonObject aliasFields(const QString &alias)
{
    return {{QStringLiteral("alias"), alias}, {QStringLiteral("slot"), slotOfAlias(alias)}};
}

// "playing" or "stopped"; "none" when the device is not open.
QString modeOf(MediaService &media, const QString &alias)
{
    QString mode;
    if (media.sendString(QStringLiteral("status %1 mode").arg(alias), &mode) != 0)
        return QStringLiteral("none");
    return mode;
}

QJsonObject slotField(const QByteArray &data)
{
    bool ok = false;
    const int slot = data.toInt(&ok);
    return ok ? QJsonObject{{QStringLiteral("slot"), slot}}
              : QJsonObject{{QStringLiteral("data"), QString::fromLatin1(data)}};
}

} // namespace

RunEventLog::RunEventLog(EventLog &log, ClientRole &client, ServerRole &server, QObject *parent)
    : QObject(parent), m_log(log)
{
    connect(&client, &ClientRole::connected, this, [this] { m_log.write(QStringLiteral("connected")); });
    connect(&client, &ClientRole::closedByServer, this, [this] { m_log.write(QStringLiteral("closed_by_server")); });
    connect(&client, &ClientRole::failed, this, [this](int number, const QString &text) {
        m_log.write(QStringLiteral("connect_failed"),
                    {{QStringLiteral("number"), number}, {QStringLiteral("text"), text}});
    });
    connect(&client, &ClientRole::setMusic, this, [this](const QByteArray &data) {
        m_log.write(QStringLiteral("message"),
                    {{QStringLiteral("word"), QStringLiteral("SetMusic")}, {QStringLiteral("songs"), songCount(data)}});
    });
    connect(&client, &ClientRole::playMusic, this, [this](const QByteArray &data, qint64 arrivalNs) {
        m_lastArrivalNs = arrivalNs;
        message("PlayMusic", data, {{QStringLiteral("arrival_ns"), arrivalNs}});
    });
    connect(&client, &ClientRole::playMusicAt, this, [this](int slot, qint64 serverAtNs, int, qint64 arrivalNs) {
        m_lastArrivalNs = arrivalNs;
        message("PlayMusic", QByteArray::number(slot),
                {{QStringLiteral("arrival_ns"), arrivalNs}, {QStringLiteral("server_at_ns"), serverAtNs}});
    });
    connect(&client, &ClientRole::stopAllMusic, this, [this] { message("StopAllMusic"); });
    connect(&client, &ClientRole::setFileDone, this, [this] { message("SetFileDone"); });
    connect(&client, &ClientRole::putFileReady, this, [this] { message("PutFileReady"); });
    connect(&client, &ClientRole::skipFile, this, [this] { message("SkipFile"); });
    connect(&client, &ClientRole::skipFiles, this, [this] { message("SkipFiles"); });
    connect(&client, &ClientRole::reStartPutFile, this, [this] { message("ReStartPutFile"); });

    connect(&server, &ServerRole::clientAccepted, this, [this](int index) {
        m_log.write(QStringLiteral("client_accepted"), {{QStringLiteral("index"), index}});
    });
    connect(&server, &ServerRole::clientGone, this, [this](int index) {
        m_log.write(QStringLiteral("client_gone"), {{QStringLiteral("index"), index}});
    });
    connect(&server, &ServerRole::allFilesLoadedReceived, this, [this](int index) {
        m_log.write(QStringLiteral("all_files_loaded"), {{QStringLiteral("index"), index}});
    });

    m_tick.setTimerType(Qt::PreciseTimer);
    m_tick.setInterval(tickMs);
    connect(&m_tick, &QTimer::timeout, this, &RunEventLog::stallTick);
    m_report.setInterval(reportMs);
    connect(&m_report, &QTimer::timeout, this, &RunEventLog::reportStall);
    m_clock.start();
    m_tick.start();
    m_report.start();
}

void RunEventLog::watchRun(ClientRole &client, MediaService &media, ClientTransfer &transfer,
                           std::function<QString()> downloadFolder)
{
    connect(&transfer, &ClientTransfer::songStored, this,
            [this, &transfer, folder = std::move(downloadFolder)](int slot) {
                const auto place = downloadTree::placeOf(folder(), transfer.songs().value(slot));
                songStored(slot, place ? place->file : QString());
            });
    connect(&transfer, &ClientTransfer::songNotStored, this,
            [this](int slot, const QString &file, const QString &reason) {
                m_log.write(QStringLiteral("song_not_stored"), {{QStringLiteral("slot"), slot},
                                                                {QStringLiteral("file"), file},
                                                                {QStringLiteral("reason"), reason}});
            });
    connect(&transfer, &ClientTransfer::songGivenUp, this, [this](int slot) {
        m_log.write(QStringLiteral("song_given_up"), {{QStringLiteral("slot"), slot}});
    });
    connect(&transfer, &ClientTransfer::allFilesLoaded, this,
            [this] { m_log.write(QStringLiteral("all_files_loaded_sent")); });
    // With the state the devices are left in, as the media service reports it.
    const auto playHandled = [this, &media](const QByteArray &data) {
        QJsonObject fields = slotField(data);
        if (fields.contains(QStringLiteral("slot")))
            fields.insert(QStringLiteral("mode"),
                          modeOf(media, ClientPlayback::deviceAlias(fields.value(QStringLiteral("slot")).toInt())));
        m_log.write(QStringLiteral("play_handled"), fields);
    };
    connect(&client, &ClientRole::playMusic, this, playHandled);
    connect(&client, &ClientRole::playMusicAt, this,
            [playHandled](int slot) { playHandled(QByteArray::number(slot)); });
    connect(&client, &ClientRole::stopAllMusic, this, [this, &media, &transfer] {
        int playing = 0;
        for (int slot = 0; slot < transfer.songs().size(); ++slot)
            playing += modeOf(media, ClientPlayback::deviceAlias(slot)) == QStringLiteral("playing") ? 1 : 0;
        m_log.write(QStringLiteral("stop_handled"), {{QStringLiteral("playing"), playing}});
    });
    // Stamped by the media layer at the moment each happened.
    connect(&media, &MediaService::deviceOpened, this, [this](const QString &alias, const QString &, qint64 ns) {
        m_log.writeAt(ns, QStringLiteral("device_opened"), aliasFields(alias));
    });
    connect(&media, &MediaService::firstSamplesHanded, this, [this](const QString &alias, qint64 ns) {
        m_log.writeAt(ns, QStringLiteral("first_samples"), aliasFields(alias));
    });
    // Once, for the first of the client's songs that will play without sound.
    connect(&media, &MediaService::noSoundOutput, this, [this](const QString &alias) {
        if (m_toldNoSound || slotOfAlias(alias) < 0)
            return;
        m_toldNoSound = true;
        m_log.write(QStringLiteral("no_sound_output"), aliasFields(alias));
    });
    connect(&media, &MediaService::deviceStopped, this, [this](const QString &alias, qint64 ns) {
        m_log.writeAt(ns, QStringLiteral("device_stopped"), aliasFields(alias));
    });
    connect(&media, &MediaService::playScheduled, this, [this](const QString &alias, qint64 startAtNs, qint64 lateNs) {
        QJsonObject fields = aliasFields(alias);
        fields.insert(QStringLiteral("arrival_ns"), m_lastArrivalNs);
        fields.insert(QStringLiteral("scheduled_ns"), startAtNs);
        fields.insert(QStringLiteral("late_ns"), lateNs);
        m_log.write(QStringLiteral("play_scheduled"), fields);
    });
    connect(&media, &MediaService::firstSampleHeard, this,
            [this](const QString &alias, qint64 startAtNs, qint64 heardNs, qint64 firstSample) {
                // A late start is heard from a later sample: which one says how much was lost.
                QJsonObject fields = aliasFields(alias);
                fields.insert(QStringLiteral("scheduled_ns"), startAtNs);
                fields.insert(QStringLiteral("sample"), firstSample);
                m_log.writeAt(heardNs, QStringLiteral("first_heard"), fields);
            });
}

void RunEventLog::watchHouse(const RunAttendance &attendance)
{
    const auto house = [this](const QString &event) {
        return [this, event](int index, int inRun, int holdingAll) {
            m_log.write(event, {{QStringLiteral("index"), index},
                                {QStringLiteral("in_run"), inRun},
                                {QStringLiteral("holding_all"), holdingAll}});
        };
    };
    connect(&attendance, &RunAttendance::joined, this, house(QStringLiteral("client_joined")));
    connect(&attendance, &RunAttendance::left, this, house(QStringLiteral("client_left")));
    connect(&attendance, &RunAttendance::holdsAll, this, house(QStringLiteral("client_holds_all")));
}

void RunEventLog::message(const char *word, const QByteArray &data, const QJsonObject &more)
{
    QJsonObject fields = data.isEmpty() ? QJsonObject{} : slotField(data);
    for (auto it = more.begin(); it != more.end(); ++it)
        fields.insert(it.key(), it.value());
    fields.insert(QStringLiteral("word"), QString::fromLatin1(word));
    m_log.write(QStringLiteral("message"), fields);
}

void RunEventLog::songStored(int slot, const QString &file)
{
    const qint64 at = EventLog::nowNs();
    // Hashing a long song takes longer than the event loop may be kept busy.
    m_hashers.start([this, at, slot, file] {
        QFile song(file);
        qint64 bytes = -1;
        QString sha256;
        if (song.open(QIODevice::ReadOnly)) {
            QCryptographicHash hash(QCryptographicHash::Sha256);
            hash.addData(&song);
            bytes = song.size();
            sha256 = QString::fromLatin1(hash.result().toHex());
        }
        QMetaObject::invokeMethod(
            this,
            [this, at, slot, file, bytes, sha256] {
                m_log.writeAt(at, QStringLiteral("song_stored"),
                              {{QStringLiteral("slot"), slot},
                               {QStringLiteral("file"), file},
                               {QStringLiteral("bytes"), bytes},
                               {QStringLiteral("sha256"), sha256}});
            },
            Qt::QueuedConnection);
    });
}

void RunEventLog::stallTick()
{
    const qint64 now = m_clock.nsecsElapsed();
    if (m_lastTickNs >= 0)
        m_worstNs = std::max(m_worstNs, now - m_lastTickNs - qint64(tickMs) * 1'000'000);
    m_lastTickNs = now;
}

void RunEventLog::reportStall()
{
    m_log.write(QStringLiteral("loop_stall"), {{QStringLiteral("worst_ms"), double(m_worstNs) / 1e6}});
    m_worstNs = 0;
}
