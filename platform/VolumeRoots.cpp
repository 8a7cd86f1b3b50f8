#include "platform/VolumeRoots.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>

namespace VolumeRoots {

QString volumeRootOf(const QString &absolutePath)
{
    QString path = QDir::cleanPath(absolutePath);
    while (!QFileInfo::exists(path)) {
        const QString parent = QFileInfo(path).path();
        if (parent == path)
            return {};
        path = parent;
    }
    const QStorageInfo storage(path);
    return storage.isValid() ? storage.rootPath() : QString();
}

bool listsVisibleEntry(const QString &folder)
{
    const QDir dir(folder);
    return dir.exists() && !dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty();
}

} // namespace VolumeRoots
