#pragma once

#include <QString>

#include <functional>

// Which mounted volume holds a path: the Linux stand-in for "the root of its drive".
namespace VolumeRoots {

// The mount point that holds an existing path, or "" when no known mount covers it.
using MountPointOf = std::function<QString(const QString &existingPath)>;

// The mount point that holds the nearest existing ancestor of an absolute path. Where no
// mount covers it (a plain chroot, some containers), the nearest existing ancestor that lists
// a visible entry stands in, so that a usable folder is not refused for want of a mount table.
// "" when no ancestor exists.
QString volumeRootOf(const QString &absolutePath);
// The same with the mount lookup handed in.
QString volumeRootWith(const QString &absolutePath, const MountPointOf &mountPointOf);

// True when the folder lists at least one entry that is not hidden.
bool listsVisibleEntry(const QString &folder);

} // namespace VolumeRoots
