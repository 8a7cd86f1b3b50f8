#include "app/MainWindow.h"

#include "app/AppInfo.h"
#include "app/DownloadFolderQuestion.h"
#include "app/Twips.h"
#include "platform/Dialogs.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>

namespace {

constexpr int firstPort = 49931;
constexpr int portListLength = 21;

} // namespace

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

    // Qt runs pending events by itself; the timer is kept for the design's timing and
    // has nothing to do.
    c.tmrDoEvents->start();

    wireServerRole();
    wireClientRole();
    wirePlaylist();
    wireBrowser();
}

MainWindow::~MainWindow() = default;

bool MainWindow::Form_Load()
{
    DownloadFolder = askDownloadFolder(m_dialogs, m_settings, m_downloadFolderRule);
    if (DownloadFolder.isEmpty())
        return false;
    fillPortList();
    fileSelection();
    SetServer();
    return true;
}

bool MainWindow::Form_Unload()
{
    return m_shutdownGuard.mayClose({c.lstFiles->count() > 0, playlistChanged(), IsServer});
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (Form_Unload())
        event->accept();
    else
        event->ignore();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::RightButton) {
        if (watched == c.lstFiles->viewport())
            m_layouts.togglePlaylist();
        else if (watched == c.dirFiles->viewport())
            m_layouts.toggleFolderList();
        else if (watched == c.filFiles->viewport())
            m_layouts.toggleFileList();
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::fillPortList()
{
    for (int k = 0; k < portListLength; ++k)
        c.cmbPort->addItem(QString::number(firstPort + k));
    c.cmbPort->setEditText(QString::number(firstPort));
}

void MainWindow::wireServerRole()
{
    connect(c.chkServer, &QCheckBox::toggled, this, [this] { SetServer(); });
}

void MainWindow::wireClientRole()
{
    connect(c.chkClient, &QCheckBox::toggled, this, [this] { SetClient(); });
}

void MainWindow::wirePlaylist()
{
    c.lstFiles->viewport()->installEventFilter(this);
}

void MainWindow::wireBrowser()
{
    c.dirFiles->viewport()->installEventFilter(this);
    c.filFiles->viewport()->installEventFilter(this);
}

void MainWindow::SetServer()
{
    IsServer = c.chkServer->isChecked();
    c.cmdServer->setEnabled(IsServer);
    if (!IsServer)
        c.cmdServer->setText(QStringLiteral("Starta"));
    m_layouts.applyServerRole(IsServer);
    fileSelection();
}

void MainWindow::SetClient()
{
    const bool on = c.chkClient->isChecked();
    c.cmdClient->setEnabled(on);
    if (!on) {
        c.cmdClient->setText(QStringLiteral("Anslut"));
        c.lblPlaying->setToolTip(QStringLiteral("Ingen låt spelas just nu..."));
    }
}

void MainWindow::fileSelection()
{
    c.cmdAdd->setVisible(IsServer);
    c.cmdRemove->setVisible(IsServer);
}

bool MainWindow::playlistChanged() const
{
    return false;
}
