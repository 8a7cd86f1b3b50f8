#pragma once

#include <QString>

// The media layer's short form of a path. Linux has no 8.3 names, and a download folder plus a
// deep server path would not fit the media service's 255-character "open" command, so a song is
// reached through a short symbolic link ("1A2B3C4D.MP3") in a per-user folder under the runtime
// directory, named from a hash of the long path and made on first use.
class MediaShortPath
{
public:
    // aliasFolder: where the links live; by default defaultAliasFolder().
    explicit MediaShortPath(QString aliasFolder = defaultAliasFolder());

    static QString defaultAliasFolder();

    // The short form of an existing file or folder; "" when the path does not exist or no link
    // can be made.
    QString shortPathOf(const QString &longPath) const;

private:
    QString m_aliasFolder;
};
