#include "playlist/FileBrowser.h"

#include "core/ModGlobal.h"
#include "playlist/PathText.h"

#include <QDir>
#include <QFileInfo>

namespace {

const FileBrowser::Error deviceUnavailable{68, QStringLiteral("Enheten är inte tillgänglig")};
const FileBrowser::Error pathAccessError{75, QStringLiteral("Åtkomstfel för sökväg/fil")};
const FileBrowser::Error pathNotFound{76, QStringLiteral("Sökvägen hittades inte")};

std::optional<FileBrowser::Error> folderError(const QString &folder)
{
    const QFileInfo info(folder);
    if (folder.isEmpty() || !info.isDir())
        return pathNotFound;
    if (!info.isReadable() || !info.isExecutable())
        return pathAccessError;
    return std::nullopt;
}

bool isOnDrive(const QString &path, const QString &root)
{
    return root == QStringLiteral("/") || path == root || path.startsWith(root + QLatin1Char('/'));
}

QStringList subfoldersOf(const QString &folder)
{
    return QDir(folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
}

// Name filters of QDir match without regard to case unless told otherwise, so ".MP3" counts.
QStringList songsIn(const QString &folder)
{
    return QDir(folder).entryList({QStringLiteral("*.mp3")}, QDir::Files, QDir::Name | QDir::IgnoreCase);
}

} // namespace

FileBrowser::FileBrowser(Hooks hooks, QObject *parent) : QObject(parent), m_hooks(std::move(hooks))
{
}

void FileBrowser::setDrives(const QList<DriveEntry> &drives)
{
    m_drives = drives.mid(0, Drives::maximumCount);
    DriveFolders.clear();
    DriveFiles.clear();
    for (int i = 0; i < Drives::maximumCount; ++i) {
        DriveFolders.append(i < m_drives.size() ? m_drives.at(i).root : QString());
        DriveFiles.append(QString());
    }
    m_currentDrive = 0;
}

void FileBrowser::setCurrentDrive(int index)
{
    if (index < 0 || index >= m_drives.size() || index == m_currentDrive)
        return;
    m_currentDrive = index;
    Q_EMIT currentDriveChanged(index);
    drvFiles_Change();
}

std::optional<FileBrowser::Error> FileBrowser::setFolderPath(const QString &path)
{
    const QString folder = QDir::cleanPath(path);
    if (const auto error = folderError(folder))
        return error;
    if (folder == m_folderPath)
        return std::nullopt;
    m_folderPath = folder;
    m_subfolders = subfoldersOf(folder);
    Q_EMIT folderPathChanged();
    dirFiles_Change();
    return std::nullopt;
}

void FileBrowser::setFileFolder(const QString &folder)
{
    if (folder == m_fileFolder)
        return;
    m_fileFolder = folder;
    m_files = songsIn(folder);
    m_currentFile = -1;
    Q_EMIT fileListChanged();
    filFiles_PathChange();
}

void FileBrowser::setCurrentFile(int row)
{
    m_currentFile = row >= 0 && row < m_files.size() ? row : -1;
    Q_EMIT currentFileChanged(m_currentFile);
    filFiles_Click();
}

void FileBrowser::openFolder(const QString &path)
{
    if (const auto error = setFolderPath(path)) {
        report(*error);
        m_subfolders = subfoldersOf(m_folderPath);
        Q_EMIT folderPathChanged();
    }
}

void FileBrowser::drvFiles_Change()
{
    const int d = m_currentDrive;
    if (d < 0 || d >= m_drives.size())
        return;
    DriveChanging = true;
    const QString root = m_drives.at(d).root;
    if (!m_hooks.driveAvailable(root)) {
        // A volume that has gone away: back to "/", which cannot go away.
        if (d != 0)
            setCurrentDrive(0);
        else
            report(deviceUnavailable);
        return;
    }
    // DriveChanging stays set after an error, so nothing is remembered for this drive.
    if (const auto error = setFolderPath(existingFolderOnDrive(DriveFolders.at(d), root))) {
        report(*error);
        return;
    }
    DriveChanging = false;

    const QString remembered = DriveFiles.at(d);
    int row = remembered.isEmpty() ? -1 : m_files.indexOf(remembered);
    if (row < 0 && !m_files.isEmpty())
        row = 0;
    if (row >= 0)
        setCurrentFile(row);
}

void FileBrowser::dirFiles_Change()
{
    setFileFolder(m_folderPath);
    if (!DriveChanging)
        filFiles_Click();
    DriveFolders[m_currentDrive] = m_folderPath;
    Q_EMIT pathTextChanged(m_folderPath);
}

void FileBrowser::filFiles_PathChange()
{
    if (!DriveChanging)
        filFiles_Click();
    if (!m_files.isEmpty())
        setCurrentFile(0);
}

void FileBrowser::filFiles_Click()
{
    if (!m_hooks.isServer()) {
        Q_EMIT addRemoveVisible(false);
        return;
    }
    computeSelected();
    const bool inList = m_hooks.inPlaylist(SelectedShortPath);
    const QString name = currentFileName();
    if (!name.isEmpty()) {
        Q_EMIT addRemoveEnabled(!inList, inList);
        Q_EMIT addRemoveVisible(true);
        Q_EMIT pathTextChanged(currentFilePathText());
    } else {
        Q_EMIT addRemoveVisible(true);
        Q_EMIT addRemoveEnabled(false, false);
    }
    if (!DriveChanging)
        DriveFiles[m_currentDrive] = name;
}

void FileBrowser::computeSelected()
{
    SelectedFullPath = PathText::joinPath(m_fileFolder, currentFileName());
    SelectedShortPath = modGlobal::GetShortPath(SelectedFullPath);
}

QStringList FileBrowser::folderChain() const
{
    if (m_folderPath.isEmpty())
        return {};
    const QString root = m_drives.value(m_currentDrive).root;
    QStringList chain;
    QString path = m_folderPath;
    for (;;) {
        chain.prepend(path);
        const QString parent = QFileInfo(path).path();
        if (path == root || parent == path)
            break;
        path = parent;
    }
    return chain;
}

QString FileBrowser::currentFileName() const
{
    return m_files.value(m_currentFile);
}

QString FileBrowser::currentFilePathText() const
{
    return m_files.isEmpty() ? QString() : PathText::joinPath(m_fileFolder, currentFileName());
}

QStringList FileBrowser::filePaths() const
{
    QStringList paths;
    for (const QString &name : m_files)
        paths.append(PathText::joinPath(m_fileFolder, name));
    return paths;
}

void FileBrowser::report(const Error &error)
{
    m_hooks.showError(QStringLiteral("%1, %2").arg(error.number).arg(error.description));
}

QString FileBrowser::existingFolderOnDrive(const QString &folder, const QString &root) const
{
    QString path = QDir::cleanPath(folder);
    while (folderError(path)) {
        const QString parent = QFileInfo(path).path();
        if (path == root || parent == path || !isOnDrive(parent, root))
            return root;
        path = parent;
    }
    return isOnDrive(path, root) ? path : root;
}
