#include "platform/VolumeRoots.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace VolumeRoots {

namespace {

QString parentOf(const QString &path)
{
    return QFileInfo(path).path();
}

QString mountPointFromTable(const QString &existingPath)
{
    const QStorageInfo storage(existingPath);
    return storage.isValid() ? storage.rootPath() : QString();
}

} // namespace

QString volumeRootOf(const QString &absolutePath)
{
    return volumeRootWith(absolutePath, &mountPointFromTable);
}

QString volumeRootWith(const QString &absolutePath, const MountPointOf &mountPointOf)
{
    QString path = QDir::cleanPath(absolutePath);
    while (!QFileInfo::exists(path)) {
        const QString parent = parentOf(path);
        if (parent == path)
            return {};
        path = parent;
    }
    const QString mountPoint = mountPointOf(path);
    if (!mountPoint.isEmpty())
        return mountPoint;

    // An empty folder (the download folder created on an earlier start) or a fresh home that
    // holds only hidden files says nothing about the volume, so look further out.
    const QString nearest = path;
    for (;;) {
        if (listsVisibleEntry(path))
            return path;
        const QString parent = parentOf(path);
        if (parent == path)
            return nearest;
        path = parent;
    }
}

bool listsVisibleEntry(const QString &folder)
{
    const QDir dir(folder);
    return dir.exists() && !dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty();
}

} // namespace VolumeRoots
