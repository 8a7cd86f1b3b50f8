#pragma once

#include <QObject>

class FileBrowser;
class QComboBox;
class QListWidget;

// Shows the browser's drive, folder and file panes in the window's lists and hands the
// user's choices to the browser. The browser runs the reactions; the lists only follow.
class BrowserWidgets : public QObject {
    Q_OBJECT
public:
    static constexpr int pathRole = Qt::UserRole;

    BrowserWidgets(FileBrowser &browser, QComboBox *drvFiles, QListWidget *dirFiles, QListWidget *filFiles,
                   QObject *parent = nullptr);

    // Fills the drive list from the browser's drives.
    void showDrives();

private:
    void showFolders();
    void showFiles();
    void showCurrentFile(int row);

    FileBrowser &m_browser;
    QComboBox *m_drvFiles;
    QListWidget *m_dirFiles;
    QListWidget *m_filFiles;
};
