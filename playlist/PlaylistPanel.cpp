#include "playlist/PlaylistPanel.h"

#include "core/AppInfo.h"
#include "core/SessionState.h"
#include "platform/Dialogs.h"
#include "playlist/PathText.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>

PlaylistPanel::PlaylistPanel(const Widgets &widgets, Dialogs &dialogs, const SessionState &session, Layouts layouts,
                             QObject *parent)
    : QObject(parent), w(widgets), m_dialogs(dialogs), m_session(session), m_layouts(std::move(layouts)),
      m_browser(FileBrowser::Hooks{
          .isServer = [this] { return m_session.isServer() && !m_editor.removingEntry(); },
          .inPlaylist = [this](const QString &shortPath) { return m_editor.contains(shortPath); },
          .showError = [this](const QString &text) { showBrowserError(text); },
      })
{
    wirePlaylist();
    wireBrowser();
}

void PlaylistPanel::start(const QList<DriveEntry> &drives)
{
    m_editor.reset();
    m_browser.setDrives(drives);
    m_browserWidgets.showDrives();
    m_browser.drvFiles_Change();
    m_browser.dirFiles_Change();
    m_browser.filFiles_Click();
}

// The connections take the browser as their context: it goes before the editor and the
// storage do, so a list's last signals reach nobody.
void PlaylistPanel::wirePlaylist()
{
    // Entries are whole paths: keep the file name in sight rather than scroll sideways.
    w.lstFiles->setTextElideMode(Qt::ElideMiddle);
    w.lstFiles->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    w.lstFiles->viewport()->installEventFilter(this);
    connect(w.lstFiles, &QListWidget::currentRowChanged, &m_browser, [this] { lstFiles_Click(); });
    connect(w.lstFiles, &QListWidget::itemDoubleClicked, &m_browser, [this] { m_editor.RemoveEntry(); });
    connect(w.cmdAdd, &QPushButton::clicked, &m_browser,
            [this] { m_editor.Add(m_browser.selectedFullPath(), m_browser.selectedShortPath()); });
    connect(w.cmdRemove, &QPushButton::clicked, &m_browser, [this] { m_editor.Remove(m_browser.selectedShortPath()); });
    connect(w.cmdSavePlaylist, &QPushButton::clicked, &m_browser, [this] { m_storage.cmdSavePlaylist_Click(); });
    connect(w.cmdLoadPlaylist, &QPushButton::clicked, &m_browser, [this] { m_storage.cmdLoadPlaylist_Click(); });
    connect(w.cmdFilesCopy, &QPushButton::clicked, &m_browser, [this] { cmdFilesCopy_Click(); });
    connect(w.cmdFilesCopyAll, &QPushButton::clicked, &m_browser, [this] { cmdFilesCopyAll_Click(); });
}

void PlaylistPanel::wireBrowser()
{
    w.dirFiles->viewport()->installEventFilter(this);
    w.filFiles->viewport()->installEventFilter(this);
    connect(w.filFiles, &QListWidget::itemDoubleClicked, &m_browser, [this] { filFiles_DblClick(); });
    connect(w.cmdDirectorysCopy, &QPushButton::clicked, &m_browser, [this] { cmdDirectorysCopy_Click(); });
    connect(&m_browser, &FileBrowser::addRemoveVisible, this, [this](bool visible) {
        w.cmdAdd->setVisible(visible);
        w.cmdRemove->setVisible(visible);
    });
    connect(&m_browser, &FileBrowser::addRemoveEnabled, this, [this](bool addEnabled, bool removeEnabled) {
        w.cmdAdd->setEnabled(addEnabled);
        w.cmdRemove->setEnabled(removeEnabled);
    });
    connect(&m_browser, &FileBrowser::pathTextChanged, w.txtDirectorys, &QLineEdit::setText);
}

bool PlaylistPanel::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseMove || type == QEvent::MouseButtonRelease) {
        const auto &mouse = *static_cast<QMouseEvent *>(event);
        if (watched == w.lstFiles->viewport()) {
            lstFilesMouse(type, mouse);
        } else if (type == QEvent::MouseButtonRelease && mouse.button() == Qt::RightButton) {
            if (watched == w.dirFiles->viewport())
                dirFiles_MouseUp();
            else if (watched == w.filFiles->viewport())
                filFiles_MouseUp();
        }
    }
    return QObject::eventFilter(watched, event);
}

void PlaylistPanel::lstFilesMouse(QEvent::Type type, const QMouseEvent &event)
{
    // The list moves its selection to the entry under a pressed left button only after this
    // filter has seen the event; the drag must see the entry under the pointer already.
    const auto selectUnderPointer = [this, &event] {
        const QModelIndex under = w.lstFiles->indexAt(event.position().toPoint());
        if (under.isValid() && under.row() != w.lstFiles->currentRow())
            w.lstFiles->setCurrentRow(under.row());
    };
    if (type == QEvent::MouseButtonPress && event.button() == Qt::LeftButton) {
        selectUnderPointer();
        m_editor.dragStart();
    } else if (type == QEvent::MouseMove && (event.buttons() & Qt::LeftButton)) {
        selectUnderPointer();
        m_editor.dragStep();
    } else if (type == QEvent::MouseButtonRelease && event.button() == Qt::LeftButton) {
        if (const std::optional<QString> fullPath = m_editor.releaseLeft())
            w.txtFiles->setText(*fullPath);
    } else if (type == QEvent::MouseButtonRelease && event.button() == Qt::RightButton) {
        m_layouts.togglePlaylist();
    }
}

void PlaylistPanel::lstFiles_Click()
{
    if (!m_layouts.isPlaylistEnlarged())
        m_browser.filFiles_Click();
}

void PlaylistPanel::filFiles_DblClick()
{
    if (m_browser.currentFileName().isEmpty())
        return;
    m_browser.computeSelected();
    if (m_editor.contains(m_browser.selectedShortPath()))
        m_editor.Remove(m_browser.selectedShortPath());
    else
        m_editor.Add(m_browser.selectedFullPath(), m_browser.selectedShortPath());
}

void PlaylistPanel::filFiles_MouseUp()
{
    w.txtDirectorys->setText(m_browser.currentFilePathText());
    m_layouts.toggleFileList();
}

void PlaylistPanel::dirFiles_MouseUp()
{
    m_browser.setFileFolder(m_browser.folderPath());
    m_layouts.toggleFolderList();
}

void PlaylistPanel::cmdDirectorysCopy_Click()
{
    QGuiApplication::clipboard()->clear();
    QGuiApplication::clipboard()->setText(w.txtDirectorys->text());
}

void PlaylistPanel::cmdFilesCopy_Click()
{
    QGuiApplication::clipboard()->clear();
    QGuiApplication::clipboard()->setText(w.txtFiles->text());
}

void PlaylistPanel::cmdFilesCopyAll_Click()
{
    // The playlist's path box is shown only in its enlarged layout; then it is the source.
    QStringList lines;
    if (w.txtFiles->isVisibleTo(w.txtFiles->parentWidget()))
        lines = m_editor.fullPaths();
    else if (w.txtDirectorys->isVisibleTo(w.txtDirectorys->parentWidget()))
        lines = m_browser.filePaths();
    QGuiApplication::clipboard()->clear();
    QGuiApplication::clipboard()->setText(PathText::joinLines(lines));
}

void PlaylistPanel::showBrowserError(const QString &text)
{
    m_dialogs.tell(text, applicationTitle());
}
