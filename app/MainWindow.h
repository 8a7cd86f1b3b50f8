#pragma once

#include "app/DownloadFolderRule.h"
#include "app/Settings.h"
#include "app/ShutdownGuard.h"
#include "app/WindowControls.h"
#include "app/WindowLayouts.h"

#include <QWidget>

class Dialogs;

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
    bool isServer() const { return IsServer; }

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void fillPortList();
    void wireServerRole();
    void wireClientRole();
    void wirePlaylist();
    void wireBrowser();

    // The server box's reaction and its role update.
    void SetServer();
    void SetClient();
    // The file list's click reaction: with the server role off it hides the add and remove
    // buttons.
    void fileSelection();
    bool playlistChanged() const;

    Dialogs &m_dialogs;
    DownloadFolderRule m_downloadFolderRule;
    Settings m_settings;
    WindowControls c;
    WindowLayouts m_layouts;
    ShutdownGuard m_shutdownGuard;

    QString DownloadFolder;
    bool IsServer = false;
};
