#pragma once

#include <QString>

#include <functional>

// Decides whether an answer to the start-up question names a usable download folder.
class DownloadFolderRule {
public:
    using VolumeRootOf = std::function<QString(const QString &absolutePath)>;

    // Tests hand in their own volume lookup; the program uses the mounted volumes.
    explicit DownloadFolderRule(QString homeFolder, VolumeRootOf volumeRootOf = {});

    // The folder the answer stands for, "~" expanded and ending in "/", or "" when it is
    // not accepted: it must be absolute, longer than 2 characters, and the volume that
    // holds it must list at least one entry that is not hidden.
    QString accept(const QString &answer) const;

private:
    QString m_home;
    VolumeRootOf m_volumeRootOf;
};
