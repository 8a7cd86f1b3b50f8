#pragma once

#include "transfer/ClientTransfer.h"
#include "transfer/ServerTransfer.h"
#include "transfer/SongStore.h"

#include <QObject>
#include <QString>

#include <functional>

class ClientRole;
class ModMultimedia;
class ServerRole;
class SessionState;
struct WindowControls;

// Wires the file transfer to the window: the song store and chunk serving on the server
// side, the reception on the client side, the progress bar `prgFile`, the speed button
// `cmdSpeed` and the request timer `tmrGetFile`.
class TransferWiring : public QObject {
    Q_OBJECT
public:
    TransferWiring(const WindowControls &c, const SessionState &session, ServerRole &server, ClientRole &client,
                   ModMultimedia &media, std::function<QString()> downloadFolder, QObject *parent = nullptr);

    // The run's start prepares the songs here and its stop clears them.
    SongStore &songStore() { return m_store; }
    // The run's start sets the low speed through `serverTransfer().speed().setLow()`.
    ServerTransfer &serverTransfer() { return m_server; }
    // The run's client side hands each song list to `clientTransfer().startSongList` once it
    // has closed every device.
    ClientTransfer &clientTransfer() { return m_client; }

private:
    SongStore m_store;
    ServerTransfer m_server;
    ClientTransfer m_client;
};
