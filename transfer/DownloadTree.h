#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Where a client keeps a song: the download folder followed by the server's path with every
// ":" removed and "\" and "/" both taken as separators. A path that could land anywhere but
// inside the download folder has no place in the tree.
namespace downloadTree {

struct Place {
    QString folder; // ends with "/"
    QString file;   // folder + file name
};

// The place of `serverPath` (the bytes "SetMusic" carried) under `downloadFolder`. Nothing
// for a path with an empty, "." or ".." component, no file name, or a NUL character.
std::optional<Place> placeOf(const QString &downloadFolder, const QByteArray &serverPath);

// Creates `folder` one level at a time below the root, each new level readable by all and
// writable by its owner only. True when it then exists as a folder that, with links
// resolved, lies inside `downloadFolder`.
bool makeFolder(const QString &downloadFolder, const QString &folder);

} // namespace downloadTree
