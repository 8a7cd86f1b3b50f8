#include "app/DownloadFolderRule.h"

#include "platform/VolumeRoots.h"

#include <QDir>

DownloadFolderRule::DownloadFolderRule(QString homeFolder, VolumeRootOf volumeRootOf)
    : m_home(std::move(homeFolder)),
      m_volumeRootOf(volumeRootOf ? std::move(volumeRootOf) : VolumeRootOf(&VolumeRoots::volumeRootOf))
{
}

QString DownloadFolderRule::accept(const QString &answer) const
{
    QString folder = answer;
    if (folder == QStringLiteral("~") || folder.startsWith(QStringLiteral("~/")))
        folder = m_home + folder.mid(1);
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');

    if (folder.size() <= 2 || !QDir::isAbsolutePath(folder))
        return {};
    const QString root = m_volumeRootOf(folder);
    if (root.isEmpty() || !VolumeRoots::listsVisibleEntry(root))
        return {};
    return folder;
}
