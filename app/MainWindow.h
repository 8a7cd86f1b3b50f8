#pragma once

#include "app/DownloadFolderRule.h"
#include "app/Settings.h"
#include "app/ShutdownGuard.h"
#include "app/WindowControls.h"
#include "app/WindowLayouts.h"
#include "core/SessionState.h"
#include "playback/MediaService.h"
#include "playback/ModMultimedia.h"
#include "playlist/PlaylistPanel.h"

#include <QWidget>

#include <memory>

class ClientNotices;
class ClientRole;
class ClientRoleSwitch;
class Dialogs;
class EventLog;
class PortSelection;
class RunEventLog;
class RunWiring;
class ServerRole;
class ServerRoleSwitch;
class TransferWiring;

// The one window of the program, `frmMain`. It owns every control, every subsystem and all
// window-level state, and wires the subsystems to the controls; the logic of each
// subsystem lives in its own class.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    // With an event log, the run's events are written to it.
    MainWindow(Dialogs &dialogs, DownloadFolderRule downloadFolderRule, QWidget *parent = nullptr,
               EventLog *eventLog = nullptr);
    ~MainWindow() override;

    // The start-up sequence, run before the window is first shown. False when the user
    // declined to name a download folder: the program then ends.
    bool Form_Load();

    // The shutdown guard; true when the window may close.
    bool Form_Unload();

    const WindowControls &controls() const { return c; }
    WindowLayouts &layouts() { return m_layouts; }
    QString downloadFolder() const { return DownloadFolder; }
    SessionState &session() { return m_session; }
    ServerRole &serverRole() { return *m_server; }
    ClientRole &clientRole() { return *m_client; }
    ClientRoleSwitch &clientSwitch() { return *m_clientSwitch; }
    MediaCommandService &mediaService() { return m_mediaService; }
    PlaylistEditor &playlist() { return m_playlistPanel.editor(); }
    FileBrowser &browser() { return m_playlistPanel.browser(); }
    RunWiring &run() { return *m_run; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void wireServerRole();
    void wireRunToTransfer();

    Dialogs &m_dialogs;
    DownloadFolderRule m_downloadFolderRule;
    Settings m_settings;
    WindowControls c;
    WindowLayouts m_layouts;
    ShutdownGuard m_shutdownGuard;

    // The media layer: the client's songs and the server's measuring device.
    MediaService m_mediaService;
    ModMultimedia m_media{m_mediaService};

    QString DownloadFolder;
    SessionState m_session;

    // The network roles and the controls that switch them.
    std::unique_ptr<ServerRole> m_server;
    std::unique_ptr<ClientRole> m_client;
    std::unique_ptr<ServerRoleSwitch> m_serverSwitch;
    std::unique_ptr<ClientRoleSwitch> m_clientSwitch;
    std::unique_ptr<PortSelection> m_portSelection;
    // The file transfer with its progress bar, speed button and request timer.
    std::unique_ptr<TransferWiring> m_transfer;
    // What keeps this computer from sounding, told to the user.
    std::unique_ptr<ClientNotices> m_notices;

    // The playlist and the file browser.
    PlaylistPanel m_playlistPanel;

    // A playback run: its start and stop, the play queue and the client's playing.
    std::unique_ptr<RunWiring> m_run;

    std::unique_ptr<RunEventLog> m_eventLog;
};
