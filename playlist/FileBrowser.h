#pragma once

#include "platform/Drives.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The drive, folder and file panes of the browser kept in step, with the last folder and
// file remembered for every drive. Every change of a pane, the program's own included,
// runs its reaction at once, so the reactions nest as the panes follow one another; the
// widgets only show this state and pass the user's choices in.
class FileBrowser : public QObject {
    Q_OBJECT
public:
    struct Error {
        int number = 0;
        QString description;
    };

    struct Hooks {
        std::function<bool()> isServer;
        // True when a playlist entry equals the short path.
        std::function<bool(const QString &shortPath)> inPlaylist;
        // A message box with an OK button and the program's title.
        std::function<void(const QString &text)> showError;
        // False once the volume of a drive has gone away.
        std::function<bool(const QString &root)> driveAvailable = Drives::isAvailable;
    };

    explicit FileBrowser(Hooks hooks, QObject *parent = nullptr);

    // The drive list; every drive's memory starts at its root with no file. The current
    // drive becomes the first one, without its reaction: start-up runs that.
    void setDrives(const QList<DriveEntry> &drives);

    // The user's and the program's changes; each raises its pane's reaction when it changes
    // something (a file selection always does).
    void setCurrentDrive(int index);
    std::optional<Error> setFolderPath(const QString &path);
    void setFileFolder(const QString &folder);
    void setCurrentFile(int row);
    // The user opening a folder of the folder list: a folder that cannot be opened is
    // reported, and the list is read again so that a vanished folder disappears from it.
    void openFolder(const QString &path);

    // The reactions.
    void drvFiles_Change();
    void dirFiles_Change();
    void filFiles_PathChange();
    void filFiles_Click();

    // SelectedFullPath and SelectedShortPath for the file list's current file.
    void computeSelected();

    const QList<DriveEntry> &drives() const { return m_drives; }
    int currentDrive() const { return m_currentDrive; }
    QString folderPath() const { return m_folderPath; }
    // The folders from the drive's root down to the current folder, and the current
    // folder's subfolders (names).
    QStringList folderChain() const;
    QStringList subfolders() const { return m_subfolders; }
    QString fileFolder() const { return m_fileFolder; }
    QStringList files() const { return m_files; }
    int currentFile() const { return m_currentFile; }
    QString currentFileName() const;
    // The current file's full path as the path box shows it; "" when the list is empty.
    QString currentFilePathText() const;
    // Every file of the list with its folder, in list order.
    QStringList filePaths() const;

    QString selectedFullPath() const { return SelectedFullPath; }
    QString selectedShortPath() const { return SelectedShortPath; }
    QString driveFolder(int index) const { return DriveFolders.value(index); }
    QString driveFile(int index) const { return DriveFiles.value(index); }
    bool driveChanging() const { return DriveChanging; }

Q_SIGNALS:
    void currentDriveChanged(int index);
    void folderPathChanged();
    void fileListChanged();
    void currentFileChanged(int row);
    void addRemoveVisible(bool visible);
    void addRemoveEnabled(bool addEnabled, bool removeEnabled);
    // The text of the path box `txtDirectorys`.
    void pathTextChanged(const QString &text);

private:
    void report(const Error &error);
    // The remembered folder, or its nearest ancestor on the drive that still exists.
    QString existingFolderOnDrive(const QString &folder, const QString &root) const;

    Hooks m_hooks;
    QList<DriveEntry> m_drives;
    int m_currentDrive = 0;
    QString m_folderPath;
    QStringList m_subfolders;
    QString m_fileFolder;
    QStringList m_files;
    int m_currentFile = -1;

    QStringList DriveFolders;
    QStringList DriveFiles;
    bool DriveChanging = false;
    QString SelectedFullPath;
    QString SelectedShortPath;
};
