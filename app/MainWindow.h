#pragma once

#include "app/DownloadFolderRule.h"
#include "app/Settings.h"
#include "app/ShutdownGuard.h"
#include "app/WindowControls.h"
#include "app/WindowLayouts.h"
#include "core/SessionState.h"
#include "playback/MediaService.h"
#include "playback/ModMultimedia.h"
#include "playlist/BrowserWidgets.h"
#include "playlist/FileBrowser.h"
#include "playlist/ListWidgetEntries.h"
#include "playlist/PlaylistEditor.h"
#include "playlist/PlaylistStorage.h"

#include <QEvent>
#include <QWidget>

#include <memory>

class ClientRole;
class ClientRoleSwitch;
class Dialogs;
class PortSelection;
class QMouseEvent;
class ServerRole;
class ServerRoleSwitch;
class TransferWiring;

// The one window of the program, `frmMain`. It owns every control, every subsystem and all
// window-level state, and wires the subsystems to the controls; the logic of each
// subsystem lives in its own class.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    MainWindow(Dialogs &dialogs, DownloadFolderRule downloadFolderRule, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The start-up sequence, run before the window is first shown. False when the user
    // declined to name a download folder: the program then ends.
    bool Form_Load();

    // The shutdown guard; true when the window may close.
    bool Form_Unload();

    const WindowControls &controls() const { return c; }
    WindowLayouts &layouts() { return m_layouts; }
    QString downloadFolder() const { return DownloadFolder; }
    bool isServer() const { return m_session.isServer(); }
    SessionState &session() { return m_session; }
    ServerRole &serverRole() { return *m_server; }
    ClientRole &clientRole() { return *m_client; }
    int port() const { return m_session.port(); }
    PlaylistEditor &playlist() { return m_playlist; }
    FileBrowser &browser() { return m_browser; }

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fillPortList();
    void wireServerRole();
    void wireClientRole();
    void wirePort();
    void wirePlaylist();
    void wireBrowser();

    // The role updates of the server and the client box.
    void SetServer();
    void SetClient();
    // The browser's file-selection reaction.
    void fileSelection();
    bool playlistChanged() const;
    // Mouse events of the playlist, the folder list and the file list.
    void lstFilesMouse(QEvent::Type type, const QMouseEvent &event);
    void lstFiles_Click();
    void filFiles_DblClick();
    void filFiles_MouseUp();
    void dirFiles_MouseUp();
    void cmdDirectorysCopy_Click();
    void cmdFilesCopy_Click();
    void cmdFilesCopyAll_Click();
    void showBrowserError(const QString &text);

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

    // The playlist and the file browser.
    ListWidgetEntries m_playlistEntries{c.lstFiles};
    PlaylistEditor m_playlist{m_playlistEntries, [this] { fileSelection(); }};
    PlaylistStorage m_playlistStorage{m_dialogs, m_playlist};
    FileBrowser m_browser{FileBrowser::Hooks{
        .isServer = [this] { return m_session.isServer() && !m_playlist.removingEntry(); },
        .inPlaylist = [this](const QString &shortPath) { return m_playlist.contains(shortPath); },
        .showError = [this](const QString &text) { showBrowserError(text); },
    }};
    BrowserWidgets m_browserWidgets{m_browser, c.drvFiles, c.dirFiles, c.filFiles};
};
