#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// One entry of the drive list: what the list shows and the folder it stands for. The root
// is kept beside the text because mount points can hold blanks.
struct DriveEntry {
    QString text;
    QString root;
};

// The Linux stand-in for the drive list: "/" first (the program's drive C), then every
// mounted volume a person would browse.
namespace Drives {

// The list holds at most this many entries: the browser remembers a folder per entry.
constexpr int maximumCount = 100;

struct Mount {
    QString root;
    QByteArray fileSystemType;
    QString name;
    bool ready = true;
};

// The browsable drives among `mounts`, "/" first whatever the mounts say.
QList<DriveEntry> browsable(const QList<Mount> &mounts);

// The browsable drives of this machine.
QList<DriveEntry> list();

// False once a volume has gone away: its folder is missing or no longer a mount point.
bool isAvailable(const QString &root);

} // namespace Drives
