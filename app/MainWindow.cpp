#include "app/MainWindow.h"

#include "core/AppInfo.h"
#include "app/ClientRoleSwitch.h"
#include "app/DownloadFolderQuestion.h"
#include "app/PortSelection.h"
#include "app/ServerRoleSwitch.h"
#include "app/Twips.h"
#include "net/ClientRole.h"
#include "net/ServerRole.h"
#include "platform/Dialogs.h"
#include "platform/Drives.h"
#include "playlist/PathText.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

MainWindow::MainWindow(Dialogs &dialogs, DownloadFolderRule downloadFolderRule, QWidget *parent)
    : QWidget(parent)
    , m_dialogs(dialogs)
    , m_downloadFolderRule(std::move(downloadFolderRule))
    , m_settings([this] { return windowTitle(); })
    , c(createWindowControls(this))
    , m_layouts(c)
    , m_shutdownGuard(dialogs, c.chkServer, c.chkClient)
{
    setWindowTitle(windowCaption());
    // The design's client area; the role update sets the size the window really has.
    setFixedSize(twips::toPixels(9615), twips::toPixels(6390));

    // Qt runs pending events by itself, so this timer has nothing to do.
    c.tmrDoEvents->start();

    wireServerRole();
    wireClientRole();
    wirePort();
    wirePlaylist();
    wireBrowser();
}

MainWindow::~MainWindow() = default;

bool MainWindow::Form_Load()
{
    m_media.MediaCloseAll();
    DownloadFolder = askDownloadFolder(m_dialogs, m_settings, m_downloadFolderRule);
    if (DownloadFolder.isEmpty())
        return false;
    m_playlist.reset();
    m_browser.setDrives(Drives::list());
    m_browserWidgets.showDrives();
    m_server->setLastClientIndex(1);
    m_session.setPort(SessionState::defaultPort);
    fillPortList();
    m_browser.drvFiles_Change();
    m_browser.dirFiles_Change();
    fileSelection();
    SetServer();
    return true;
}

bool MainWindow::Form_Unload()
{
    return m_shutdownGuard.mayClose({c.lstFiles->count() > 0, playlistChanged(), m_session.isServer()});
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

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseMove || type == QEvent::MouseButtonRelease) {
        const auto &mouse = *static_cast<QMouseEvent *>(event);
        if (watched == c.lstFiles->viewport()) {
            lstFilesMouse(type, mouse);
        } else if (type == QEvent::MouseButtonRelease && mouse.button() == Qt::RightButton) {
            if (watched == c.dirFiles->viewport())
                dirFiles_MouseUp();
            else if (watched == c.filFiles->viewport())
                filFiles_MouseUp();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::fillPortList()
{
    m_portSelection->fillPortList();
}

void MainWindow::wireServerRole()
{
    m_server = std::make_unique<ServerRole>(m_session);
    ServerRoleSwitch::Hooks hooks{
        // Stopping playback leaves the start button reading "Starta"; the start/stop
        // procedure itself comes with playback.
        .cmdServer_Click = [this] { c.cmdServer->setText(QStringLiteral("Starta")); },
        .applyWindowState =
            [this](bool on) {
                m_layouts.applyServerRole(on);
                fileSelection();
            },
    };
    m_serverSwitch = std::make_unique<ServerRoleSwitch>(c, m_dialogs, *m_server, m_session, std::move(hooks),
                                                        nullptr);
    // The listening socket failed and could not listen again: newcomers cannot connect.
    connect(m_server.get(), &ServerRole::listenFailed, this, [this](quint16 port, const QString &reason) {
        m_dialogs.tell(QStringLiteral("Servern kunde inte lyssna på port %1.").arg(port) + QStringLiteral("\n\n")
                           + reason,
                       applicationTitle(), DialogIcon::Information);
    });
}

void MainWindow::wireClientRole()
{
    m_client = std::make_unique<ClientRole>(c.tmrClient);
    m_clientSwitch = std::make_unique<ClientRoleSwitch>(c, m_dialogs, *m_client, m_settings, m_session, nullptr);
}

void MainWindow::wirePort()
{
    m_portSelection =
        std::make_unique<PortSelection>(c, m_dialogs, *m_client, m_session, nullptr);
}

// The playlist's and the browser's connections take the browser as their context: it goes
// before the lists do, so the lists' last signals while they are destroyed reach nobody.
void MainWindow::wirePlaylist()
{
    // Entries are whole paths: keep the file name in sight rather than scroll sideways.
    c.lstFiles->setTextElideMode(Qt::ElideMiddle);
    c.lstFiles->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    c.lstFiles->viewport()->installEventFilter(this);
    connect(c.lstFiles, &QListWidget::currentRowChanged, &m_browser, [this] { lstFiles_Click(); });
    connect(c.lstFiles, &QListWidget::itemDoubleClicked, &m_browser, [this] { m_playlist.RemoveEntry(); });
    connect(c.cmdAdd, &QPushButton::clicked, &m_browser,
            [this] { m_playlist.Add(m_browser.selectedFullPath(), m_browser.selectedShortPath()); });
    connect(c.cmdRemove, &QPushButton::clicked, &m_browser,
            [this] { m_playlist.Remove(m_browser.selectedShortPath()); });
    connect(c.cmdSavePlaylist, &QPushButton::clicked, &m_browser, [this] { m_playlistStorage.cmdSavePlaylist_Click(); });
    connect(c.cmdLoadPlaylist, &QPushButton::clicked, &m_browser, [this] { m_playlistStorage.cmdLoadPlaylist_Click(); });
    connect(c.cmdFilesCopy, &QPushButton::clicked, &m_browser, [this] { cmdFilesCopy_Click(); });
    connect(c.cmdFilesCopyAll, &QPushButton::clicked, &m_browser, [this] { cmdFilesCopyAll_Click(); });
}

void MainWindow::wireBrowser()
{
    c.dirFiles->viewport()->installEventFilter(this);
    c.filFiles->viewport()->installEventFilter(this);
    connect(c.filFiles, &QListWidget::itemDoubleClicked, &m_browser, [this] { filFiles_DblClick(); });
    connect(c.cmdDirectorysCopy, &QPushButton::clicked, &m_browser, [this] { cmdDirectorysCopy_Click(); });
    connect(&m_browser, &FileBrowser::addRemoveVisible, this, [this](bool visible) {
        c.cmdAdd->setVisible(visible);
        c.cmdRemove->setVisible(visible);
    });
    connect(&m_browser, &FileBrowser::addRemoveEnabled, this, [this](bool addEnabled, bool removeEnabled) {
        c.cmdAdd->setEnabled(addEnabled);
        c.cmdRemove->setEnabled(removeEnabled);
    });
    connect(&m_browser, &FileBrowser::pathTextChanged, c.txtDirectorys, &QLineEdit::setText);
}

void MainWindow::SetServer()
{
    m_serverSwitch->SetServer();
}

void MainWindow::SetClient()
{
    m_clientSwitch->SetClient();
}

void MainWindow::fileSelection()
{
    m_browser.filFiles_Click();
}

bool MainWindow::playlistChanged() const
{
    return m_playlist.playlistChanged();
}

void MainWindow::lstFilesMouse(QEvent::Type type, const QMouseEvent &event)
{
    // The list moves its selection to the entry under a pressed left button only after this
    // filter has seen the event; the drag must see the entry under the pointer already.
    const auto selectUnderPointer = [this, &event] {
        const QModelIndex under = c.lstFiles->indexAt(event.position().toPoint());
        if (under.isValid() && under.row() != c.lstFiles->currentRow())
            c.lstFiles->setCurrentRow(under.row());
    };
    if (type == QEvent::MouseButtonPress && event.button() == Qt::LeftButton) {
        selectUnderPointer();
        m_playlist.dragStart();
    } else if (type == QEvent::MouseMove && (event.buttons() & Qt::LeftButton)) {
        selectUnderPointer();
        m_playlist.dragStep();
    } else if (type == QEvent::MouseButtonRelease && event.button() == Qt::LeftButton) {
        if (const std::optional<QString> fullPath = m_playlist.releaseLeft())
            c.txtFiles->setText(*fullPath);
    } else if (type == QEvent::MouseButtonRelease && event.button() == Qt::RightButton) {
        m_layouts.togglePlaylist();
    }
}

void MainWindow::lstFiles_Click()
{
    if (!m_layouts.isPlaylistEnlarged())
        fileSelection();
}

void MainWindow::filFiles_DblClick()
{
    if (m_browser.currentFileName().isEmpty())
        return;
    m_browser.computeSelected();
    if (m_playlist.contains(m_browser.selectedShortPath()))
        m_playlist.Remove(m_browser.selectedShortPath());
    else
        m_playlist.Add(m_browser.selectedFullPath(), m_browser.selectedShortPath());
}

void MainWindow::filFiles_MouseUp()
{
    c.txtDirectorys->setText(m_browser.currentFilePathText());
    m_layouts.toggleFileList();
}

void MainWindow::dirFiles_MouseUp()
{
    m_browser.setFileFolder(m_browser.folderPath());
    m_layouts.toggleFolderList();
}

void MainWindow::cmdDirectorysCopy_Click()
{
    QGuiApplication::clipboard()->clear();
    QGuiApplication::clipboard()->setText(c.txtDirectorys->text());
}

void MainWindow::cmdFilesCopy_Click()
{
    QGuiApplication::clipboard()->clear();
    QGuiApplication::clipboard()->setText(c.txtFiles->text());
}

void MainWindow::cmdFilesCopyAll_Click()
{
    // The playlist's path box is shown only in its enlarged layout; then it is the source.
    QStringList lines;
    if (c.txtFiles->isVisibleTo(this))
        lines = m_playlist.fullPaths();
    else if (c.txtDirectorys->isVisibleTo(this))
        lines = m_browser.filePaths();
    QGuiApplication::clipboard()->clear();
    QGuiApplication::clipboard()->setText(PathText::joinLines(lines));
}

void MainWindow::showBrowserError(const QString &text)
{
    m_dialogs.tell(text, applicationTitle());
}
