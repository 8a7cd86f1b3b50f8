#include "playback/PlayQueue.h"

#include "core/AppInfo.h"
#include "platform/Dialogs.h"
#include "playback/ModMultimedia.h"
#include "playback/PlayListTicks.h"

#include <QTimer>

namespace {

const QString measuringAlias = QStringLiteral("ServerTunvero");
const QString success = QStringLiteral("Success");
// The media service draws nothing, so its devices need no parent window.
constexpr qint32 noParentWindow = 0;

} // namespace

PlayQueue::PlayQueue(ModMultimedia &media, Dialogs &dialogs, PlayListTicks &ticks, QTimer *tmrStopMusic,
                     SendAll sendAll, Clock clock, QObject *parent)
    : QObject(parent), m_media(media), m_dialogs(dialogs), m_ticks(ticks), m_tmrStopMusic(tmrStopMusic),
      m_sendAll(std::move(sendAll)), m_clock(std::move(clock))
{
    if (!m_clock) {
        m_elapsed.start();
        m_clock = [this] { return m_elapsed.elapsed(); };
    }
    m_tmrStopMusic->setTimerType(Qt::PreciseTimer);
    connect(m_tmrStopMusic, &QTimer::timeout, this, &PlayQueue::tmrStopMusic_Timer);
}

void PlayQueue::setSongs(const QStringList &fullPaths)
{
    m_songs = fullPaths.mid(0, lastSlot + 1);
    TickState.fill(false);
}

void PlayQueue::cmdStartPlay_Click()
{
    PlayIndex = 0;
    measureFromHere();
    if (m_songMs != 0) {
        announce();
        m_tmrStopMusic->start();
        return;
    }
    m_dialogs.tell(QStringLiteral("Det är något fel, det går inte att hitta någon fil att spela..."),
                   applicationTitle());
}

void PlayQueue::tmrStopMusic_Timer()
{
    if (m_songMs == 0)
        return;
    if (!m_toldEnded && SongStart + m_songMs < m_clock()) {
        m_toldEnded = true;
        Q_EMIT songEnded();
    }
    // The song is over once its length and the gap have passed.
    if (SongStart + m_songMs + gapMs >= m_clock())
        return;
    ++PlayIndex;
    measureFromHere();
    if (m_songMs != 0) {
        announce();
        return;
    }
    // The list is exhausted: again from the top.
    PlayIndex = 0;
    measureFromHere();
    if (m_songMs != 0) {
        announce();
        return;
    }
    m_dialogs.tell(QStringLiteral("Det gick inte att repetera låten!"), applicationTitle());
}

void PlayQueue::stop()
{
    m_tmrStopMusic->stop();
}

qint64 PlayQueue::GetMusicLength(int &FileID)
{
    if (FileID < 0 || FileID >= m_songs.size()) {
        m_media.MediaClose(measuringAlias);
        return 0;
    }
    for (;;) {
        m_media.MediaClose(measuringAlias);
        if (m_media.MediaOpen(noParentWindow, measuringAlias, m_songs.at(FileID), QStringLiteral("MPEGVideo")) ==
            success) {
            const qint32 length = m_media.MediaLengthMs(measuringAlias);
            m_media.MediaClose(measuringAlias);
            // A song without a measurable length would be announced as if it had played,
            // every few seconds: pass it by like one that does not open.
            if (length > 0)
                return length;
        }
        if (FileID + 1 >= m_songs.size())
            return 0;
        ++FileID;
    }
}

void PlayQueue::setPlayingNumber(int n)
{
    const int count = std::min(m_ticks.count(), lastSlot + 1);
    if (n < -1 || n >= count)
        return;
    for (int i = 0; i < count; ++i)
        TickState[i] = i <= n;
    for (int i = 0; i < count; ++i)
        m_ticks.setTicked(i, TickState[i]);
    if (count > 0)
        m_ticks.setCurrent(std::max(n, 0));
}

void PlayQueue::lstFilesPlay_ItemCheck()
{
    const int count = std::min(m_ticks.count(), lastSlot + 1);
    for (int i = 0; i < count; ++i) {
        if (m_ticks.isTicked(i) != TickState[i])
            m_ticks.setTicked(i, TickState[i]);
    }
}

void PlayQueue::measureFromHere()
{
    m_songMs = GetMusicLength(PlayIndex);
    SongStart = m_clock();
}

void PlayQueue::announce()
{
    m_toldEnded = false;
    m_sendAll(QByteArrayLiteral("PlayMusic"), QByteArray::number(PlayIndex));
    setPlayingNumber(PlayIndex);
}
