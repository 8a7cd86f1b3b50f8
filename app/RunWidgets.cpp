#include "app/RunWidgets.h"

#include "app/PercentBar.h"
#include "app/Twips.h"
#include "app/WindowLayouts.h"
#include "playlist/PlaylistEditor.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

RunWidgets::RunWidgets(const WindowControls &controls, WindowLayouts &layouts, const PlaylistEditor &playlist)
    : c(controls), m_layouts(layouts), m_playlist(playlist)
{
}

QString RunWidgets::serverCaption() const
{
    return c.cmdServer->text();
}

void RunWidgets::setServerCaption(const QString &caption)
{
    c.cmdServer->setText(caption);
}

QStringList RunWidgets::playlistTexts() const
{
    QStringList texts;
    for (int i = 0; i < c.lstFiles->count(); ++i)
        texts.append(c.lstFiles->item(i)->text());
    return texts;
}

QString RunWidgets::fullPathOf(const QString &entryText) const
{
    return m_playlist.fullPathOf(entryText);
}

bool RunWidgets::isPlaylistEnlarged() const
{
    return m_layouts.isPlaylistEnlarged();
}

void RunWidgets::enlargePlaylist()
{
    m_layouts.enlargePlaylist();
}

void RunWidgets::togglePlaylist()
{
    m_layouts.togglePlaylist();
}

void RunWidgets::showPlayList(const QStringList &entryTexts)
{
    for (QWidget *w : {static_cast<QWidget *>(c.drvFiles), static_cast<QWidget *>(c.filFiles),
                       static_cast<QWidget *>(c.dirFiles), static_cast<QWidget *>(c.lstFiles)})
        w->setEnabled(false);
    c.lstFiles->hide();
    twips::setGeometry(c.lstFilesPlay, twips::left(c.lstFiles), twips::top(c.lstFiles), twips::width(c.lstFiles),
                       twips::height(c.lstFiles) + 30);
    c.lstFilesPlay->show();
    // Filling the list is not the user changing ticks or picking an entry.
    const QSignalBlocker quiet(c.lstFilesPlay);
    c.lstFilesPlay->clear();
    for (const QString &text : entryTexts) {
        auto *item = new QListWidgetItem(text);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        c.lstFilesPlay->addItem(item);
    }
}

void RunWidgets::setProgress(double percent)
{
    c.prgFile->setPercent(percent);
}

void RunWidgets::showFilePath(const QString &fullPath)
{
    c.txtFiles->setText(fullPath);
}

void RunWidgets::showPlayButtons()
{
    c.cmdStartPlay->show();
    c.cmdStartPlay->setEnabled(true);
    c.cmdSpeed->show();
}

void RunWidgets::restoreEditing()
{
    for (QWidget *w : {static_cast<QWidget *>(c.drvFiles), static_cast<QWidget *>(c.filFiles),
                       static_cast<QWidget *>(c.dirFiles), static_cast<QWidget *>(c.lstFiles)}) {
        w->setEnabled(true);
        QPalette white = w->palette();
        white.setColor(QPalette::Base, Qt::white);
        w->setPalette(white);
    }
    c.lstFiles->show();
    c.lstFilesPlay->hide();
    c.cmdStartPlay->hide();
    c.cmdSpeed->hide();
}

int RunWidgets::count() const
{
    return c.lstFilesPlay->count();
}

bool RunWidgets::isTicked(int row) const
{
    return c.lstFilesPlay->item(row)->checkState() == Qt::Checked;
}

void RunWidgets::setTicked(int row, bool ticked)
{
    c.lstFilesPlay->item(row)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

void RunWidgets::setCurrent(int row)
{
    c.lstFilesPlay->setCurrentRow(row);
}
