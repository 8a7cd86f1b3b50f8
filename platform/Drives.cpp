#include "platform/Drives.h"

#include <QFileInfo>
#include <QSet>
#include <QStorageInfo>

namespace Drives {

namespace {

bool isPseudoFileSystem(const QByteArray &type)
{
    static const QSet<QByteArray> pseudo = {
        "autofs",   "binfmt_misc", "bpf",      "cgroup",  "cgroup2",         "configfs",    "debugfs",
        "devpts",   "devtmpfs",    "efivarfs", "fusectl", "hugetlbfs",       "mqueue",      "nsfs",
        "overlay",  "proc",        "pstore",   "ramfs",   "rpc_pipefs",      "securityfs",  "selinuxfs",
        "squashfs", "sysfs",       "tmpfs",    "tracefs", "fuse.gvfsd-fuse", "fuse.portal", "fuse.snapfuse",
    };
    return pseudo.contains(type);
}

// Mount points of the system's own machinery, not of anything a person keeps songs on.
bool isSystemPlace(const QString &root)
{
    static const QStringList places = {QStringLiteral("/proc"),    QStringLiteral("/sys"),  QStringLiteral("/dev"),
                                       QStringLiteral("/run"),     QStringLiteral("/boot"), QStringLiteral("/snap"),
                                       QStringLiteral("/var/lib"), QStringLiteral("/etc")};
    // Removable media are mounted under /run/media on some systems.
    if (root.startsWith(QStringLiteral("/run/media/")))
        return false;
    for (const QString &place : places)
        if (root == place || root.startsWith(place + QLatin1Char('/')))
            return true;
    return false;
}

QString textOf(const Mount &mount)
{
    // Removable media are usually mounted under their label already.
    if (mount.name.isEmpty() || mount.root.endsWith(QLatin1Char('/') + mount.name))
        return mount.root;
    return QStringLiteral("%1 [%2]").arg(mount.root, mount.name);
}

} // namespace

QList<DriveEntry> browsable(const QList<Mount> &mounts)
{
    QList<DriveEntry> drives{{QStringLiteral("/"), QStringLiteral("/")}};
    QSet<QString> seen{QStringLiteral("/")};
    for (const Mount &mount : mounts) {
        if (drives.size() >= maximumCount)
            break;
        if (!mount.ready || mount.root.isEmpty() || seen.contains(mount.root) ||
            isPseudoFileSystem(mount.fileSystemType) || isSystemPlace(mount.root))
            continue;
        seen.insert(mount.root);
        drives.append({textOf(mount), mount.root});
    }
    return drives;
}

QList<DriveEntry> list()
{
    QList<Mount> mounts;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        // Single files bound into a container show up as volumes too.
        if (!QFileInfo(volume.rootPath()).isDir())
            continue;
        mounts.append(
            {volume.rootPath(), volume.fileSystemType(), volume.name(), volume.isValid() && volume.isReady()});
    }
    return browsable(mounts);
}

bool isAvailable(const QString &root)
{
    if (root == QStringLiteral("/"))
        return true;
    if (!QFileInfo(root).isDir())
        return false;
    const QStorageInfo volume(root);
    return volume.isValid() && volume.rootPath() == root;
}

} // namespace Drives
