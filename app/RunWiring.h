#pragma once

#include "app/RunHouseStatus.h"
#include "app/RunWidgets.h"
#include "app/WindowControls.h"
#include "net/RunAttendance.h"
#include "playback/ClientPlayback.h"
#include "playback/PlayQueue.h"
#include "playback/ServerRun.h"

#include <QObject>
#include <QStringList>

#include <functional>

class ClientRole;
class Dialogs;
class ModMultimedia;
class PlaylistEditor;
class ServerRole;
class SessionState;
class WindowLayouts;

// A playback run in the window: the start/stop button, the play button, the play list and
// the client's reactions to the server's run messages, wired to the network roles, and who
// takes part in the run.
class RunWiring : public QObject {
    Q_OBJECT
public:
    // What the run needs of the file distribution; any part may be left empty. Without a
    // preparation, every song is reported ready at once.
    struct Transfer {
        std::function<void(const QStringList &fullPaths)> prepare;
        std::function<void()> clear;
        // Called after the speed button reads "Hastighet: Låg" again.
        std::function<void()> resetSpeed;
    };

    RunWiring(const WindowControls &controls, WindowLayouts &layouts, const PlaylistEditor &playlist, Dialogs &dialogs,
              SessionState &session, ServerRole &server, ClientRole &client, ModMultimedia &media,
              std::function<void()> endProgram, QObject *parent = nullptr);

    // The song store reports through `serverRun().preparationProgress` / `preparationDone`.
    void setTransfer(Transfer transfer) { m_transfer = std::move(transfer); }

    void cmdServer_Click() { m_serverRun.cmdServer_Click(); }

    ServerRun &serverRun() { return m_serverRun; }
    PlayQueue &playQueue() { return m_queue; }
    // Its `songListArrived` hands the song list to the file reception.
    ClientPlayback &clientPlayback() { return m_clientPlayback; }
    // Who takes part in the server's run; the start/stop button's tooltip shows it.
    const RunAttendance &attendance() const { return m_attendance; }

private:
    void prepareAtOnce(const QStringList &fullPaths);

    WindowControls c;
    Transfer m_transfer;
    RunWidgets m_widgets;
    PlayQueue m_queue;
    ServerRun m_serverRun;
    ClientPlayback m_clientPlayback;
    RunAttendance m_attendance;
    RunHouseStatus m_houseStatus;
};
