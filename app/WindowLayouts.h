#pragma once

#include "app/WindowControls.h"

#include <initializer_list>

// The window's arrangements: the small client-only window and the full server window, and
// the enlarged playlist, folder-list and file-list layouts that a right-button release
// switches on and off. A list is enlarged exactly when its width is its enlarged width.
class WindowLayouts {
public:
    explicit WindowLayouts(const WindowControls &controls);

    bool isPlaylistEnlarged() const;
    bool isFolderListEnlarged() const;
    bool isFileListEnlarged() const;

    void togglePlaylist();
    void enlargePlaylist();
    void restorePlaylist();
    void toggleFolderList();
    void toggleFileList();

    // The window state of the server role: the full window with playlist and browser, or
    // the small window. The caller runs the file list's click reaction afterwards.
    void applyServerRole(bool on);

    // Lower end of `Line2`, in twips.
    int line2End() const;
    void setLine2End(int y2);

private:
    void setVisible(std::initializer_list<QWidget *> widgets, bool visible);
    void showCopyAll(int left, int top, int width);

    WindowControls c;
};
