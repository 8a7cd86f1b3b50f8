#include "playback/ClientPlayback.h"

#include "platform/Dialogs.h"
#include "platform/EightBitText.h"
#include "playback/ModMultimedia.h"
#include "core/MonotonicClock.h"
#include "core/RunClock.h"

namespace {

// The slots a song list fills: lines up to the first empty one, at most 201.
QList<QByteArray> songSlots(const QByteArray &data, int slots)
{
    QList<QByteArray> songs;
    qsizetype from = 0;
    while (from < data.size() && songs.size() < slots) {
        qsizetype end = data.indexOf("\r\n", from);
        if (end < 0)
            end = data.size();
        if (end == from)
            break;
        songs.append(data.mid(from, end - from));
        from = end + 2;
    }
    return songs;
}

// A slot written in decimal digits only, 0 to 200; -1 for anything else.
int slotNumber(const QByteArray &data)
{
    if (data.isEmpty() || data.size() > 3)
        return -1;
    for (const char c : data) {
        if (c < '0' || c > '9')
            return -1;
    }
    const int n = data.toInt();
    return n <= ClientPlayback::lastSlot ? n : -1;
}

} // namespace

ClientPlayback::ClientPlayback(ModMultimedia &media, Dialogs &dialogs, std::function<void()> endProgram,
                               QObject *parent)
    : QObject(parent), m_media(media), m_dialogs(dialogs), m_endProgram(std::move(endProgram))
{
    m_joinTimer.setInterval(joinPollMs);
    connect(&m_joinTimer, &QTimer::timeout, this, &ClientPlayback::tryJoin);
}

QString ClientPlayback::deviceAlias(int slot)
{
    return QStringLiteral("ClientTunveroID%1").arg(slot);
}

void ClientPlayback::setMusic(const QByteArray &data)
{
    m_join.reset();
    if (m_media.MediaCloseAll() != QStringLiteral("Success")) {
        m_dialogs.tell(QStringLiteral("Kunde inte stoppa musiken!"), QStringLiteral("Fel!"), DialogIcon::Critical);
        m_endProgram();
        return;
    }
    Songs = songSlots(data, lastSlot + 1);
    // Running well before the first song must be placed on it: a new stream's clock may take
    // a while to start.
    m_media.prepareOutput();
    Q_EMIT songListArrived(data);
}

void ClientPlayback::playMusic(const QByteArray &data, qint64 arrivalNs)
{
    // Never sent by this server; not a song of the run.
    const int n = slotNumber(data);
    if (n < 0)
        return;
    start(n, (arrivalNs > 0 ? arrivalNs : MonotonicClock::nowNs()) + qint64(startDelayMs) * 1000000, {});
}

void ClientPlayback::playMusicAt(int slot, qint64 serverAtNs, int delayMs, qint64 arrivalNs)
{
    if (slot < 0 || slot > lastSlot)
        return;
    const std::optional<qint64> localAtNs = m_runClock ? m_runClock->localAtRoughly(serverAtNs) : std::nullopt;
    if (!localAtNs) {
        start(slot, (arrivalNs > 0 ? arrivalNs : MonotonicClock::nowNs()) + qint64(delayMs) * 1000000, {});
        return;
    }
    if (*localAtNs <= MonotonicClock::nowNs()) {
        // Playing already in the house: a rough estimate would put this client off the others
        // for the whole song, so it waits for a good one.
        announce(slot);
        m_join = Join{slot, serverAtNs};
        tryJoin();
        return;
    }
    start(slot, *localAtNs, timelineOf(serverAtNs, *localAtNs));
}

std::function<qint64(qint64)> ClientPlayback::timelineOf(qint64 serverAtNs, qint64 startLocalNs) const
{
    // Each point of the song falls on the server's clock as our estimate of it stands then; a
    // connection that ended leaves the song on the last estimate.
    const RunClock *clock = m_runClock;
    return [clock, serverAtNs, startLocalNs](qint64 songNs) {
        return clock->localAtRoughly(serverAtNs + songNs).value_or(startLocalNs + songNs);
    };
}

void ClientPlayback::tryJoin()
{
    // An estimate gone means the connection ended.
    const std::optional<qint64> roughNs =
        m_join && m_runClock ? m_runClock->localAtRoughly(m_join->serverAtNs) : std::nullopt;
    if (!roughNs) {
        m_join.reset();
        m_joinTimer.stop();
        return;
    }
    const std::optional<qint64> localAtNs = m_runClock->localAt(m_join->serverAtNs);
    // Not open yet: later in a song list being checked, or being fetched.
    const qint32 lengthMs = m_media.MediaLengthMs(deviceAlias(m_join->slot));
    if (lengthMs >= 0 && MonotonicClock::nowNs() >= localAtNs.value_or(*roughNs) + qint64(lengthMs) * 1000000) {
        m_join.reset(); // over already
    } else if (lengthMs >= 0 && localAtNs) {
        const Join join = *std::exchange(m_join, std::nullopt);
        play(join.slot, *localAtNs, timelineOf(join.serverAtNs, *localAtNs));
    }
    if (!m_join)
        m_joinTimer.stop();
    else if (!m_joinTimer.isActive())
        m_joinTimer.start();
}

void ClientPlayback::start(int slot, qint64 localAtNs, std::function<qint64(qint64)> timeline)
{
    announce(slot);
    play(slot, localAtNs, std::move(timeline));
}

void ClientPlayback::announce(int slot)
{
    stopEverySong();
    Q_EMIT playingChanged(EightBitText::decode(Songs.value(slot)));
}

void ClientPlayback::play(int slot, qint64 localAtNs, std::function<qint64(qint64)> timeline)
{
    // A song whose file is missing has no device: it stays silent.
    m_media.startNextPlayAt(localAtNs, std::move(timeline));
    m_media.MediaPlay(deviceAlias(slot), QString(), QString());
}

void ClientPlayback::stopAllMusic()
{
    stopEverySong();
}

void ClientPlayback::stopEverySong()
{
    m_join.reset();
    for (int i = 0; i < Songs.size(); ++i)
        m_media.MediaStop(deviceAlias(i));
}
