#include "app/MainWindow.h"

#include "app/ClientNotices.h"
#include "app/ClientRoleSwitch.h"
#include "app/DownloadFolderQuestion.h"
#include "app/PortSelection.h"
#include "app/RunEventLog.h"
#include "app/RunWiring.h"
#include "app/ServerRoleSwitch.h"
#include "app/TransferWiring.h"
#include "app/Twips.h"
#include "app/WindowGeometry.h"
#include "core/AppInfo.h"
#include "net/ClientRole.h"
#include "net/ServerRole.h"
#include "platform/Dialogs.h"
#include "platform/Drives.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPushButton>
#include <QTimer>

namespace {

PlaylistPanel::Widgets playlistWidgets(const WindowControls &c)
{
    return {
        .lstFiles = c.lstFiles,
        .drvFiles = c.drvFiles,
        .dirFiles = c.dirFiles,
        .filFiles = c.filFiles,
        .cmdAdd = c.cmdAdd,
        .cmdRemove = c.cmdRemove,
        .cmdSavePlaylist = c.cmdSavePlaylist,
        .cmdLoadPlaylist = c.cmdLoadPlaylist,
        .txtDirectorys = c.txtDirectorys,
        .cmdDirectorysCopy = c.cmdDirectorysCopy,
        .txtFiles = c.txtFiles,
        .cmdFilesCopy = c.cmdFilesCopy,
        .cmdFilesCopyAll = c.cmdFilesCopyAll,
    };
}

PlaylistPanel::Layouts playlistLayouts(WindowLayouts &layouts)
{
    return {
        .isPlaylistEnlarged = [&layouts] { return layouts.isPlaylistEnlarged(); },
        .togglePlaylist = [&layouts] { layouts.togglePlaylist(); },
        .toggleFolderList = [&layouts] { layouts.toggleFolderList(); },
        .toggleFileList = [&layouts] { layouts.toggleFileList(); },
    };
}

} // namespace

MainWindow::MainWindow(Dialogs &dialogs, DownloadFolderRule downloadFolderRule, QWidget *parent, EventLog *eventLog)
    : QWidget(parent), m_dialogs(dialogs), m_downloadFolderRule(std::move(downloadFolderRule)),
      m_settings([this] { return windowTitle(); }), c(createWindowControls(this)), m_layouts(c),
      m_shutdownGuard(dialogs, c.chkServer, c.chkClient),
      m_playlistPanel(playlistWidgets(c), dialogs, m_session, playlistLayouts(m_layouts))
{
    setWindowTitle(windowCaption());
    // The design's client area; the role update sets the size the window really has.
    setFixedSize(twips::toPixels(windowGeometry::clientWidth), twips::toPixels(windowGeometry::clientHeight));

    // Qt runs pending events by itself, so this timer has nothing to do.
    c.tmrDoEvents->start();

    wireServerRole();
    m_client = std::make_unique<ClientRole>(c.tmrClient);
    m_clientSwitch = std::make_unique<ClientRoleSwitch>(c, m_dialogs, *m_client, m_settings, m_session, nullptr);
    m_portSelection = std::make_unique<PortSelection>(c, m_dialogs, *m_client, m_session, nullptr);
    if (eventLog)
        m_eventLog = std::make_unique<RunEventLog>(*eventLog, *m_client, *m_server);
    m_transfer = std::make_unique<TransferWiring>(c, m_session, *m_server, *m_client, m_media,
                                                  [this] { return DownloadFolder; });
    m_run = std::make_unique<RunWiring>(c, m_layouts, m_playlistPanel.editor(), m_dialogs, m_session, *m_server,
                                        *m_client, m_media, [] { QCoreApplication::quit(); });
    wireRunToTransfer();
    m_notices = std::make_unique<ClientNotices>(m_dialogs, m_mediaService, m_transfer->clientTransfer());
    if (m_eventLog) {
        m_eventLog->watchRun(*m_client, m_mediaService, m_transfer->clientTransfer(),
                             [this] { return DownloadFolder; });
        m_eventLog->watchHouse(m_run->attendance());
    }
}

MainWindow::~MainWindow() = default;

// The run prepares the songs in the transfer's store and hands each client's song list to
// the reception once every device is closed.
void MainWindow::wireRunToTransfer()
{
    SongStore &store = m_transfer->songStore();
    m_run->setTransfer({
        .prepare = [&store](const QStringList &fullPaths) { store.prepare(fullPaths); },
        .clear = [&store] { store.clear(); },
        .resetSpeed = [this] { m_transfer->serverTransfer().speed().setLow(); },
    });
    ServerRun &run = m_run->serverRun();
    connect(&store, &SongStore::progress, &run, &ServerRun::preparationProgress);
    connect(&store, &SongStore::prepared, &run, &ServerRun::preparationDone);
    connect(&m_run->clientPlayback(), &ClientPlayback::songListArrived, &m_transfer->clientTransfer(),
            &ClientTransfer::startSongList);
}

bool MainWindow::Form_Load()
{
    m_media.MediaCloseAll();
    DownloadFolder = askDownloadFolder(m_dialogs, m_settings, m_downloadFolderRule);
    if (DownloadFolder.isEmpty())
        return false;
    m_server->setLastClientIndex(1);
    m_session.setPort(SessionState::defaultPort);
    m_portSelection->fillPortList();
    m_playlistPanel.start(Drives::list());
    m_serverSwitch->SetServer();
    return true;
}

bool MainWindow::Form_Unload()
{
    const PlaylistEditor &playlist = m_playlistPanel.editor();
    return m_shutdownGuard.mayClose({playlist.count() > 0, playlist.playlistChanged(), m_session.isServer()});
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!Form_Unload()) {
        event->ignore();
        return;
    }
    m_media.MediaCloseAll();
    event->accept();
}

void MainWindow::wireServerRole()
{
    m_server = std::make_unique<ServerRole>(m_session);
    ServerRoleSwitch::Hooks hooks{
        .cmdServer_Click = [this] { m_run->cmdServer_Click(); },
        .applyWindowState =
            [this](bool on) {
                m_layouts.applyServerRole(on);
                m_playlistPanel.browser().filFiles_Click();
            },
    };
    m_serverSwitch = std::make_unique<ServerRoleSwitch>(c, m_dialogs, *m_server, m_session, std::move(hooks), nullptr);
    // The listening socket failed and could not listen again: newcomers cannot connect.
    connect(m_server.get(), &ServerRole::listenFailed, this, [this](quint16 port, const QString &reason) {
        m_dialogs.tell(QStringLiteral("Servern kunde inte lyssna på port %1.").arg(port) + QStringLiteral("\n\n") +
                           reason,
                       applicationTitle(), DialogIcon::Information);
    });
}
