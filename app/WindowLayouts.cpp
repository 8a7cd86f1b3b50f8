#include "app/WindowLayouts.h"

#include "app/Twips.h"
#include "app/WindowGeometry.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

namespace {

constexpr int enlargedPlaylistWidth = 9360;
constexpr int enlargedBrowserWidth = 5280;
constexpr int enlargedBrowserHeight = 6165;
constexpr int line2FullEnd = 6360;
constexpr int line2ShortEnd = 1455;

// Outer sizes of the window (title bar and borders included) and what the design's
// border takes of them; the role sizes are met by sizing the client area.
constexpr int fullOuterWidth = 9735;
constexpr int fullOuterHeight = 6870;
constexpr int borderWidth = fullOuterWidth - windowGeometry::clientWidth;
constexpr int borderHeight = fullOuterHeight - windowGeometry::clientHeight;

void setWidth(QWidget *w, int width)
{
    twips::setGeometry(w, twips::left(w), twips::top(w), width, twips::height(w));
}

void setSize(QWidget *w, int left, int width, int height)
{
    twips::setGeometry(w, left, twips::top(w), width, height);
}

void setClientSizeForOuter(QWidget *window, int outerWidth, int outerHeight)
{
    window->setFixedSize(twips::toPixels(outerWidth - borderWidth), twips::toPixels(outerHeight - borderHeight));
}

} // namespace

WindowLayouts::WindowLayouts(const WindowControls &controls) : c(controls)
{
}

bool WindowLayouts::isPlaylistEnlarged() const
{
    return twips::width(c.lstFiles) == enlargedPlaylistWidth;
}

bool WindowLayouts::isFolderListEnlarged() const
{
    return twips::width(c.dirFiles) == enlargedBrowserWidth;
}

bool WindowLayouts::isFileListEnlarged() const
{
    return twips::width(c.filFiles) == enlargedBrowserWidth;
}

void WindowLayouts::togglePlaylist()
{
    if (isPlaylistEnlarged())
        restorePlaylist();
    else
        enlargePlaylist();
}

void WindowLayouts::enlargePlaylist()
{
    setVisible({c.drvFiles, c.filFiles, c.dirFiles, c.cmdAdd, c.cmdRemove}, false);
    setWidth(c.lstFiles, enlargedPlaylistWidth);
    setVisible({c.lblFiles, c.txtFiles, c.txtFilesCopy, c.cmdFilesCopy}, true);
    setLine2End(line2ShortEnd);
    showCopyAll(4200, 120, 5295);
}

void WindowLayouts::restorePlaylist()
{
    setVisible({c.cmdFilesCopyAll, c.txtFilesCopy, c.cmdFilesCopy, c.txtFiles, c.lblFiles}, false);
    setLine2End(line2FullEnd);
    setVisible({c.drvFiles, c.filFiles, c.dirFiles, c.cmdAdd, c.cmdRemove}, true);
    setWidth(c.lstFiles, windowGeometry::listWidth);
}

void WindowLayouts::toggleFolderList()
{
    if (isFolderListEnlarged()) {
        setVisible({c.cmdFilesCopyAll, c.lblDirectorys}, false);
        setVisible({c.drvFiles, c.lstFiles, c.filFiles, c.cmdAdd, c.cmdRemove}, true);
        // Restored 2295 wide, not the design's 2280: both count as not enlarged.
        setSize(c.dirFiles, twips::left(c.dirFiles), 2295, 5715);
        return;
    }
    setVisible({c.drvFiles, c.lstFiles, c.filFiles, c.cmdAdd, c.cmdRemove}, false);
    setSize(c.dirFiles, twips::left(c.dirFiles), enlargedBrowserWidth, enlargedBrowserHeight);
    c.lblDirectorys->setText(QStringLiteral("Fullständig sökväg till katalogen:"));
    c.lblDirectorys->show();
    showCopyAll(120, 2400, windowGeometry::listWidth);
}

void WindowLayouts::toggleFileList()
{
    if (isFileListEnlarged()) {
        setVisible({c.cmdFilesCopyAll, c.lblDirectorys}, false);
        setVisible({c.drvFiles, c.lstFiles, c.dirFiles, c.cmdAdd, c.cmdRemove}, true);
        setSize(c.filFiles, 6600, 2895, 5745);
        return;
    }
    setVisible({c.drvFiles, c.lstFiles, c.dirFiles, c.cmdAdd, c.cmdRemove}, false);
    setSize(c.filFiles, 4200, enlargedBrowserWidth, enlargedBrowserHeight);
    c.lblDirectorys->setText(QStringLiteral("Fullständig sökväg till filen:"));
    c.lblDirectorys->show();
    showCopyAll(120, 2400, windowGeometry::listWidth);
}

void WindowLayouts::applyServerRole(bool on)
{
    setVisible({c.drvFiles, c.dirFiles, c.filFiles, c.lstFiles, c.txtDirectorys, c.txtDirectorysCopy,
                c.cmdDirectorysCopy, c.cmdLoadPlaylist, c.cmdSavePlaylist},
               on);
    if (on) {
        setClientSizeForOuter(c.window, fullOuterWidth, fullOuterHeight);
        setLine2End(line2FullEnd);
        return;
    }
    setVisible({c.lblDirectorys, c.lblFiles, c.txtFiles, c.cmdFilesCopy, c.txtFilesCopy, c.cmdFilesCopyAll}, false);
    setWidth(c.lstFiles, windowGeometry::listWidth);
    setSize(c.dirFiles, twips::left(c.dirFiles), 2295, 5715);
    setSize(c.filFiles, 6600, 2895, 5745);
    setLine2End(line2ShortEnd);
    setClientSizeForOuter(c.window, 4200, 1950);
}

int WindowLayouts::line2End() const
{
    return twips::height(c.Line2);
}

void WindowLayouts::setLine2End(int y2)
{
    twips::setGeometry(c.Line2, twips::left(c.Line2), 0, twips::width(c.Line2), y2);
}

void WindowLayouts::setVisible(std::initializer_list<QWidget *> widgets, bool visible)
{
    for (QWidget *w : widgets)
        w->setVisible(visible);
}

void WindowLayouts::showCopyAll(int left, int top, int width)
{
    c.cmdFilesCopyAll->show();
    twips::setGeometry(c.cmdFilesCopyAll, left, top, width, twips::height(c.cmdFilesCopyAll));
}
