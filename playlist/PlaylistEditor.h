#pragma once

#include "playlist/PlaylistEntries.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

// The playlist's model and every edit of it: entries shown by their short path, the full
// path behind each entry, reordering by dragging, and whether anything changed since the
// playlist was last loaded or saved.
class PlaylistEditor {
public:
    // `fileSelection` is the browser's file-selection reaction.
    PlaylistEditor(PlaylistEntries &entries, std::function<void()> fileSelection);

    // The browser's file goes in after the selected entry, or at the end when none is.
    void Add(const QString &selectedFullPath, const QString &selectedShortPath);
    void Remove(const QString &selectedShortPath);
    // Removes the selected entry (a double-click on the playlist).
    void RemoveEntry();

    // Left button pressed, moved with the button held, released. The release answers the
    // text for the full-path box, or nothing when it failed and nothing is to change.
    void dragStart();
    void dragStep();
    std::optional<QString> releaseLeft();

    // An empty playlist with a new, empty map of full paths.
    void reset();
    // Appends a song read from a playlist file; false when its entry is there already.
    bool appendLoaded(const QString &shortPath, const QString &fullPath);
    void setChanged(bool changed) { PlaylistChanged = changed; }

    bool contains(const QString &shortPath) const;
    QString fullPathOf(const QString &entryText) const { return FilePaths.value(entryText); }
    // The full paths in playing order.
    QStringList fullPaths() const;
    int count() const { return m_entries.count(); }
    bool playlistChanged() const { return PlaylistChanged; }
    // While an entry is removed by a double-click, the list's own selection changes must
    // not re-evaluate the browser's buttons: the browser then acts as for a client.
    bool removingEntry() const { return m_removingEntry; }
    int dragIndex() const { return DragIndex; }
    QString dragText() const { return DragText; }
    const QHash<QString, QString> &filePaths() const { return FilePaths; }

private:
    // Moves the dragged entry to the selected index when it is still where it was seen.
    void movePending();

    PlaylistEntries &m_entries;
    bool m_removingEntry = false;
    std::function<void()> m_fileSelection;

    QHash<QString, QString> FilePaths;
    bool PlaylistChanged = false;
    int DragIndex = -1;
    QString DragText;
};
