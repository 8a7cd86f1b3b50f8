#pragma once

#include <QString>
#include <QStringList>

// The window as the start and stop of a run see it: the start/stop button's caption, the
// playlist, the layouts, and the controls a run shows in place of the editing ones.
class ServerRunView {
public:
    virtual ~ServerRunView() = default;

    virtual QString serverCaption() const = 0;
    virtual void setServerCaption(const QString &caption) = 0;

    // The playlist's entry texts in playing order, and the full path behind an entry.
    virtual QStringList playlistTexts() const = 0;
    virtual QString fullPathOf(const QString &entryText) const = 0;

    virtual bool isPlaylistEnlarged() const = 0;
    virtual void enlargePlaylist() = 0;
    // As a right-button release on the playlist does.
    virtual void togglePlaylist() = 0;

    // The browser and the playlist disabled, the playlist hidden, and the play list in its
    // place holding these entries, all unticked.
    virtual void showPlayList(const QStringList &entryTexts) = 0;
    // 0.0001 (empty) to 100.
    virtual void setProgress(double percent) = 0;
    // The full path in the playlist's path box.
    virtual void showFilePath(const QString &fullPath) = 0;
    // The play and speed buttons shown, the play button enabled.
    virtual void showPlayButtons() = 0;
    // The editing window back: browser and playlist enabled on white, the playlist shown, the
    // play list and the play and speed buttons hidden.
    virtual void restoreEditing() = 0;
};
