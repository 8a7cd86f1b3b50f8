#include "playlist/BrowserWidgets.h"

#include "playlist/FileBrowser.h"
#include "playlist/FolderIndentDelegate.h"

#include <QComboBox>
#include <QFileInfo>
#include <QListWidget>
#include <QSignalBlocker>
#include <QStyle>

BrowserWidgets::BrowserWidgets(FileBrowser &browser, QComboBox *drvFiles, QListWidget *dirFiles, QListWidget *filFiles,
                               QObject *parent)
    : QObject(parent), m_browser(browser), m_drvFiles(drvFiles), m_dirFiles(dirFiles), m_filFiles(filFiles)
{
    m_dirFiles->setItemDelegate(new FolderIndentDelegate(m_dirFiles));
    m_dirFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    m_filFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    for (QListWidget *list : {m_dirFiles, m_filFiles}) {
        list->setTextElideMode(Qt::ElideMiddle);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }

    connect(&m_browser, &FileBrowser::currentDriveChanged, this, [this](int index) {
        const QSignalBlocker blocker(m_drvFiles);
        m_drvFiles->setCurrentIndex(index);
    });
    connect(&m_browser, &FileBrowser::folderPathChanged, this, &BrowserWidgets::showFolders);
    connect(&m_browser, &FileBrowser::fileListChanged, this, &BrowserWidgets::showFiles);
    connect(&m_browser, &FileBrowser::currentFileChanged, this, &BrowserWidgets::showCurrentFile);

    connect(m_drvFiles, &QComboBox::currentIndexChanged, this, [this](int index) { m_browser.setCurrentDrive(index); });
    // Double-click or Enter opens a folder, as in a classic folder list.
    connect(m_dirFiles, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { m_browser.openFolder(item->data(pathRole).toString()); });
    connect(m_filFiles, &QListWidget::currentRowChanged, this, [this](int row) { m_browser.setCurrentFile(row); });
}

void BrowserWidgets::showDrives()
{
    const QSignalBlocker blocker(m_drvFiles);
    m_drvFiles->clear();
    for (const DriveEntry &drive : m_browser.drives())
        m_drvFiles->addItem(drive.text, drive.root);
    m_drvFiles->setCurrentIndex(m_browser.currentDrive());
}

void BrowserWidgets::showFolders()
{
    const QSignalBlocker blocker(m_dirFiles);
    m_dirFiles->clear();
    const QIcon open = m_dirFiles->style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = m_dirFiles->style()->standardIcon(QStyle::SP_DirClosedIcon);
    const QStringList chain = m_browser.folderChain();
    for (int depth = 0; depth < chain.size(); ++depth) {
        const QString &path = chain.at(depth);
        const QString name = depth == 0 ? path : QFileInfo(path).fileName();
        auto *item = new QListWidgetItem(open, name, m_dirFiles);
        item->setData(pathRole, path);
        item->setData(FolderIndentDelegate::depthRole, depth);
        item->setToolTip(path);
    }
    const QString current = m_browser.folderPath();
    const int subDepth = static_cast<int>(chain.size());
    for (const QString &name : m_browser.subfolders()) {
        auto *item = new QListWidgetItem(closed, name, m_dirFiles);
        item->setData(pathRole,
                      current.endsWith(QLatin1Char('/')) ? current + name : current + QLatin1Char('/') + name);
        item->setData(FolderIndentDelegate::depthRole, subDepth);
    }
    if (!chain.isEmpty()) {
        m_dirFiles->setCurrentRow(static_cast<int>(chain.size()) - 1);
        m_dirFiles->scrollToItem(m_dirFiles->currentItem());
    }
}

void BrowserWidgets::showFiles()
{
    const QSignalBlocker blocker(m_filFiles);
    m_filFiles->clear();
    m_filFiles->addItems(m_browser.files());
}

void BrowserWidgets::showCurrentFile(int row)
{
    const QSignalBlocker blocker(m_filFiles);
    m_filFiles->setCurrentRow(row);
}
