#pragma once

#include <QString>

// Which mounted volume holds a path: the Linux stand-in for "the root of its drive".
namespace VolumeRoots {

// The mount point that holds the nearest existing ancestor of an absolute path; "" when
// none can be found.
QString volumeRootOf(const QString &absolutePath);

// True when the folder lists at least one entry that is not hidden.
bool listsVisibleEntry(const QString &folder);

} // namespace VolumeRoots
