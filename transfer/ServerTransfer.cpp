#include "transfer/ServerTransfer.h"

#include "core/SessionState.h"
#include "transfer/TransferText.h"

#include <QFile>
#include <QFileInfo>

ServerTransfer::ServerTransfer(ServerRole &role, const SessionState &session, SongStore &store, QObject *parent)
    : QObject(parent), m_role(role), m_session(session), m_store(store)
{
    connect(&m_role, &ServerRole::setFileReceived, this, &ServerTransfer::handleSetFile);
    connect(&m_role, &ServerRole::getFileReceived, this, &ServerTransfer::handleGetFile);
    connect(&m_role, &ServerRole::allFilesLoadedReceived, this, &ServerTransfer::handleAllFilesLoaded);
    connect(&m_role, &ServerRole::hasNeededFilesReceived, this, &ServerTransfer::handleHasNeededFiles);
    connect(&m_role, &ServerRole::clientGone, this, &ServerTransfer::forgetClient);
    connect(&m_store, &SongStore::songsForgotten, this, &ServerTransfer::forgetAll);
}

bool ServerTransfer::ClientHasNeededFiles(int index) const
{
    return validIndex(index) && m_hasNeededFiles[index];
}

bool ServerTransfer::ClientAllFilesLoaded(int index) const
{
    return validIndex(index) && m_allFilesLoaded[index];
}

std::optional<int> ServerTransfer::requestedSlot(int index, const QByteArray &data)
{
    if (!validIndex(index))
        return std::nullopt;
    if (!m_session.runActive()) {
        m_role.Send(index, "SkipFiles", " ");
        return std::nullopt;
    }
    // A slot outside the run, or no number at all, gets no answer.
    const std::optional<int> slot = transferText::slotOf(data);
    if (!slot || *slot >= m_store.songCount())
        return std::nullopt;
    return slot;
}

void ServerTransfer::handleSetFile(int index, const QByteArray &data)
{
    const std::optional<int> slot = requestedSlot(index, data);
    if (!slot)
        return;
    const QByteArray path = transferText::pathOf(data);
    // A song the preparation could not read has no content to give: the client gives it up
    // rather than storing an empty or cut file under the song's name.
    if (!QFileInfo::exists(QFile::decodeName(path)) || !m_store.isReadable(*slot)) {
        m_role.Send(index, "SkipFile", data);
        return;
    }
    setCopyRead(index, *slot);
    m_role.Send(index, "SetFileDone", path + "\r\n" + QByteArray::number(m_store.FileSizes(*slot)));
}

void ServerTransfer::handleGetFile(int index, const QByteArray &data)
{
    const std::optional<int> slot = requestedSlot(index, data);
    if (!slot)
        return;
    const QByteArray chunk = getDataPart(index, *slot, m_speed.TransferPartBytes());
    if (chunk.isEmpty()) {
        m_role.Send(index, "PutFileReady", transferText::pathOf(data));
        return;
    }
    // Back to back: nothing may come between a chunk and its "DoGetFile".
    m_role.Send(index, chunk, {});
    m_role.Send(index, "DoGetFile", " ");
}

void ServerTransfer::handleAllFilesLoaded(int index)
{
    if (!validIndex(index))
        return;
    m_hasNeededFiles[index] = true;
    m_allFilesLoaded[index] = true;
}

void ServerTransfer::handleHasNeededFiles(int index)
{
    if (validIndex(index))
        m_hasNeededFiles[index] = true;
}

void ServerTransfer::setCopyRead(int Index, int FileID)
{
    // A new request starts the song over.
    m_cells[Index].insert(FileID, Cell{m_store.master(FileID), 0});
}

QByteArray ServerTransfer::getDataPart(int Index, int FileID, qint64 PartBytes)
{
    const auto it = m_cells[Index].find(FileID);
    if (it == m_cells[Index].end())
        return {};
    const qint64 left = it->song.size() - it->sent;
    if (left <= 0 || PartBytes <= 0) {
        m_cells[Index].erase(it);
        return {};
    }
    const qint64 length = std::min(left, PartBytes);
    // A chunk of its own: the socket may keep the very array queued, and a stop can free the
    // master before the peer has taken it. Only the chunk is copied, never the song.
    const QByteArray chunk = it->song.sliced(it->sent, length);
    it->sent += length;
    return chunk;
}

void ServerTransfer::forgetClient(int index)
{
    if (!validIndex(index))
        return;
    m_cells[index].clear();
    m_hasNeededFiles[index] = false;
    m_allFilesLoaded[index] = false;
}

void ServerTransfer::forgetAll()
{
    for (auto &cells : m_cells)
        cells.clear();
    m_hasNeededFiles.fill(false);
    m_allFilesLoaded.fill(false);
}
