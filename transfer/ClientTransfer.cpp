#include "transfer/ClientTransfer.h"

#include "net/ClientRole.h"
#include "net/WireScan.h"
#include "playback/ModMultimedia.h"
#include "transfer/DownloadTree.h"
#include "transfer/TransferSpeed.h"
#include "transfer/TransferText.h"

#include <QFileInfo>
#include <QTimer>

#include <cerrno>

namespace {

// Why the last system call failed, in the system's words.
QString systemReason()
{
    return qt_error_string(errno);
}

} // namespace

// The receiver cuts chunks by the sizes the server's speed button sets.
static_assert(ClientReceiver::smallChunkBytes == TransferSpeed::lowBytes &&
              ClientReceiver::largeChunkBytes == TransferSpeed::highBytes);

ClientTransfer::ClientTransfer(ClientRole &role, ModMultimedia &media, QTimer *tmrGetFile,
                               std::function<QString()> downloadFolder, QObject *parent)
    : QObject(parent), m_role(role), m_media(media), m_tmrGetFile(tmrGetFile),
      m_downloadFolder(std::move(downloadFolder))
{
    // One tick per arming; the 5 ms between a chunk and the next request carry timing.
    m_tmrGetFile->setInterval(requestDelayMs);
    m_tmrGetFile->setSingleShot(true);
    m_tmrGetFile->setTimerType(Qt::PreciseTimer);
    connect(m_tmrGetFile, &QTimer::timeout, this, &ClientTransfer::tmrGetFile_Timer);

    // Direct connections: the file-data mode must be set before the receiver cuts what follows.
    connect(&m_role, &ClientRole::setFileDone, this, &ClientTransfer::setFileDone);
    connect(&m_role, &ClientRole::fileData, this, &ClientTransfer::fileData);
    connect(&m_role, &ClientRole::doGetFile, this, &ClientTransfer::doGetFile);
    connect(&m_role, &ClientRole::putFileReady, this, &ClientTransfer::putFileReady);
    connect(&m_role, &ClientRole::skipFile, this, &ClientTransfer::skipFile);
    connect(&m_role, &ClientRole::reStartPutFile, this, &ClientTransfer::reStartPutFile);
    connect(&m_role, &ClientRole::skipFiles, this, &ClientTransfer::skipFiles);
    // A connection that ends or starts anew leaves no song half received.
    connect(&m_role, &ClientRole::closedByServer, this, &ClientTransfer::abandon);
    connect(&m_role, &ClientRole::failed, this, &ClientTransfer::abandon);
    connect(&m_role, &ClientRole::connected, this, &ClientTransfer::abandon);
}

void ClientTransfer::startSongList(const QByteArray &data)
{
    abandon();
    Songs = wireScan::songLines(data);
    CurrentSong = 0;
    checkFrom(0);
}

void ClientTransfer::abandon()
{
    m_tmrGetFile->stop();
    m_song.discard();
    m_notStoredReason.clear();
    m_role.endFileData();
    m_state = State::Idle;
}

void ClientTransfer::checkFrom(int k)
{
    for (; k <= transferText::lastSlot && k < Songs.size(); ++k) {
        CurrentSong = k;
        const std::optional<downloadTree::Place> place = downloadTree::placeOf(m_downloadFolder(), Songs[k]);
        if (!place) {
            // Stored, it would land outside the download folder.
            Q_EMIT songGivenUp(k);
            continue;
        }
        if (QFileInfo::exists(place->file)) {
            openSong(k, place->file);
            continue;
        }
        m_localFile = place->file;
        m_attempts = 1;
        sendSetFile();
        return;
    }
    LoadedAllFilesDone();
}

void ClientTransfer::LoadedAllFilesDone()
{
    m_state = State::Idle;
    m_role.SendClient("AllFilesLoaded", {});
    Q_EMIT allFilesLoaded();
}

void ClientTransfer::sendSetFile()
{
    m_state = State::Asking;
    m_role.SendClient("SetFile", Songs[CurrentSong] + "\r\n" + QByteArray::number(CurrentSong));
}

void ClientTransfer::giveUp()
{
    const int slot = CurrentSong;
    const QString reason = std::exchange(m_notStoredReason, {});
    abandon();
    if (!reason.isEmpty())
        Q_EMIT songNotStored(slot, m_localFile, reason);
    Q_EMIT songGivenUp(slot);
    checkFrom(slot + 1);
}

void ClientTransfer::setFileDone(const QByteArray &data)
{
    if (m_state != State::Asking)
        return;
    const qsizetype lineEnd = data.indexOf("\r\n");
    ExpectedFileSize = lineEnd < 0 ? 0 : data.sliced(lineEnd + 2).toLongLong();
    const QString folder = m_downloadFolder();
    const std::optional<downloadTree::Place> place = downloadTree::placeOf(folder, Songs[CurrentSong]);
    if (!place) {
        giveUp();
        return;
    }
    if (!downloadTree::makeFolder(folder, place->folder)) {
        m_notStoredReason = QStringLiteral("mappen %1 kunde inte skapas").arg(place->folder);
        giveUp();
        return;
    }
    if (!m_song.open(place->file)) {
        m_notStoredReason = systemReason();
        giveUp();
        return;
    }
    m_state = State::Fetching;
    m_role.expectFileData(ExpectedFileSize);
    m_tmrGetFile->start();
}

void ClientTransfer::tmrGetFile_Timer()
{
    m_tmrGetFile->stop();
    if (m_state == State::Fetching) {
        m_role.SendClient("GetFile", Songs[CurrentSong] + "\r\n" + QByteArray::number(CurrentSong));
        m_role.chunkAsked();
    }
}

void ClientTransfer::fileData(const QByteArray &piece)
{
    m_tmrGetFile->stop();
    if (m_state != State::Fetching)
        return;
    if (!m_song.append(piece)) {
        // No room or no access: the rest of this chunk is read and dropped, then the song is
        // given up.
        m_notStoredReason = systemReason();
        m_state = State::Draining;
        return;
    }
    showProgress(transferText::shownValue(transferText::receivedPercent(m_song.size(), ExpectedFileSize)));
}

void ClientTransfer::doGetFile()
{
    if (m_state == State::Fetching)
        m_tmrGetFile->start();
    else if (m_state == State::Draining)
        giveUp();
}

void ClientTransfer::putFileReady(const QByteArray &data)
{
    m_tmrGetFile->stop();
    showProgress(transferText::emptyBar);
    m_role.endFileData();
    if (m_state == State::Draining) {
        giveUp();
        return;
    }
    if (m_state != State::Fetching)
        return;
    if (data != Songs[CurrentSong]) {
        // Not the song asked for: nothing more until the next song list.
        abandon();
        return;
    }
    if (m_song.size() != ExpectedFileSize || m_song.failed()) {
        m_song.discard();
        if (m_attempts < maxAttempts) {
            ++m_attempts;
            sendSetFile();
        } else {
            giveUp();
        }
        return;
    }
    if (!m_song.commit()) {
        m_notStoredReason = systemReason();
        giveUp();
        return;
    }
    const int slot = CurrentSong;
    openSong(slot, m_localFile);
    Q_EMIT songStored(slot);
    checkFrom(slot + 1);
}

void ClientTransfer::skipFile()
{
    if (m_state == State::Idle) {
        abandon();
        return;
    }
    giveUp();
}

void ClientTransfer::reStartPutFile()
{
    const bool busy = m_state != State::Idle;
    abandon();
    if (busy)
        sendSetFile();
}

void ClientTransfer::skipFiles()
{
    abandon();
    CurrentSong = 0;
}

void ClientTransfer::openSong(int slot, const QString &file)
{
    // No native parent window: the media service draws nothing.
    m_media.MediaOpen(0, QStringLiteral("ClientTunveroID") + QString::number(slot), file, QStringLiteral("MPEGVideo"));
}

void ClientTransfer::showProgress(double percent)
{
    if (percent == m_shown)
        return;
    m_shown = percent;
    Q_EMIT progress(percent);
}
