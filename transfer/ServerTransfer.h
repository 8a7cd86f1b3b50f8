#pragma once

#include "net/ServerRole.h"
#include "transfer/SongStore.h"
#include "transfer/TransferSpeed.h"

#include <QByteArray>
#include <QHash>
#include <QObject>

#include <array>
#include <optional>

class SessionState;

// The server's side of the file transfer: answers each client's "SetFile" and "GetFile" from
// the one master copy of each song, one chunk per request, and records the clients' reports.
// Each client has its own read position per song, never its own copy of the song.
class ServerTransfer : public QObject {
    Q_OBJECT
public:
    ServerTransfer(ServerRole &role, const SessionState &session, SongStore &store, QObject *parent = nullptr);

    TransferSpeed &speed() { return m_speed; }

    bool ClientHasNeededFiles(int index) const;
    bool ClientAllFilesLoaded(int index) const;

    // Handlers of the client messages, as the server role hands them over.
    void handleSetFile(int index, const QByteArray &data);
    void handleGetFile(int index, const QByteArray &data);
    void handleAllFilesLoaded(int index);
    void handleHasNeededFiles(int index);

private:
    // The slot a "SetFile" or "GetFile" asks for; nothing when it gets no answer but
    // "SkipFiles" (no run) or none at all.
    std::optional<int> requestedSlot(int index, const QByteArray &data);
    // What is left to send of one song to one client: the shared master and a position in it.
    struct Cell {
        QByteArray song;
        qint64 sent = 0;
    };

    static bool validIndex(int index) { return index >= 1 && index <= ServerRole::lastIndex; }
    void setCopyRead(int Index, int FileID);
    // The next at most `PartBytes` bytes of the client's song, copied out of the master;
    // empty when nothing is left.
    QByteArray getDataPart(int Index, int FileID, qint64 PartBytes);
    void forgetClient(int index);
    void forgetAll();

    ServerRole &m_role;
    const SessionState &m_session;
    SongStore &m_store;
    TransferSpeed m_speed;
    std::array<QHash<int, Cell>, ServerRole::lastIndex + 1> m_cells;
    std::array<bool, ServerRole::lastIndex + 1> m_hasNeededFiles{};
    std::array<bool, ServerRole::lastIndex + 1> m_allFilesLoaded{};
};
