#pragma once

#include "platform/Drives.h"
#include "playlist/BrowserWidgets.h"
#include "playlist/FileBrowser.h"
#include "playlist/ListWidgetEntries.h"
#include "playlist/PlaylistEditor.h"
#include "playlist/PlaylistStorage.h"

#include <QEvent>
#include <QObject>

#include <functional>

class Dialogs;
class QComboBox;
class QLineEdit;
class QListWidget;
class QMouseEvent;
class QPushButton;
class SessionState;

// The playlist and the file browser as the user works them in the window: the mouse on the
// three lists, the add, remove, load, save and copy buttons, and the browser's messages.
class PlaylistPanel : public QObject {
    Q_OBJECT
public:
    struct Widgets {
        QListWidget *lstFiles = nullptr;
        QComboBox *drvFiles = nullptr;
        QListWidget *dirFiles = nullptr;
        QListWidget *filFiles = nullptr;
        QPushButton *cmdAdd = nullptr;
        QPushButton *cmdRemove = nullptr;
        QPushButton *cmdSavePlaylist = nullptr;
        QPushButton *cmdLoadPlaylist = nullptr;
        QLineEdit *txtDirectorys = nullptr;
        QPushButton *cmdDirectorysCopy = nullptr;
        QLineEdit *txtFiles = nullptr;
        QPushButton *cmdFilesCopy = nullptr;
        QPushButton *cmdFilesCopyAll = nullptr;
    };

    // The window's enlarged layouts, switched by a right-button release on a list.
    struct Layouts {
        std::function<bool()> isPlaylistEnlarged;
        std::function<void()> togglePlaylist;
        std::function<void()> toggleFolderList;
        std::function<void()> toggleFileList;
    };

    PlaylistPanel(const Widgets &widgets, Dialogs &dialogs, const SessionState &session, Layouts layouts,
                  QObject *parent = nullptr);

    // Start-up: an empty playlist, the drive list filled, the browser opened at the first
    // drive with its file chosen.
    void start(const QList<DriveEntry> &drives);

    PlaylistEditor &editor() { return m_editor; }
    const PlaylistEditor &editor() const { return m_editor; }
    FileBrowser &browser() { return m_browser; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void wirePlaylist();
    void wireBrowser();

    void lstFilesMouse(QEvent::Type type, const QMouseEvent &event);
    void lstFiles_Click();
    void filFiles_DblClick();
    void filFiles_MouseUp();
    void dirFiles_MouseUp();
    void cmdDirectorysCopy_Click();
    void cmdFilesCopy_Click();
    void cmdFilesCopyAll_Click();
    void showBrowserError(const QString &text);

    Widgets w;
    Dialogs &m_dialogs;
    const SessionState &m_session;
    Layouts m_layouts;

    ListWidgetEntries m_entries{w.lstFiles};
    PlaylistEditor m_editor{m_entries, [this] { m_browser.filFiles_Click(); }};
    PlaylistStorage m_storage{m_dialogs, m_editor};
    FileBrowser m_browser;
    BrowserWidgets m_browserWidgets{m_browser, w.drvFiles, w.dirFiles, w.filFiles};
};
