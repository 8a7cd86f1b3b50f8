#pragma once

#include <QString>

#include <memory>

// The media layer's short form of a path. Linux has no 8.3 names, and a download folder plus a
// deep server path would not fit the media service's 255-character "open" command, so a song is
// reached through a short symbolic link ("1A2B3C4D.MP3") in a private per-user folder, named
// from a hash of the long path and made on first use.
class MediaShortPath {
public:
    struct Result {
        enum class Outcome { Made, Missing, Failed };
        Outcome outcome = Outcome::Missing;
        QString path; // the short form; "" unless Made
    };

    // aliasFolder: where the links should live; by default defaultAliasFolder(). It is used
    // only when it is a real folder of this user that no one else may enter; otherwise the
    // links go to a fresh folder of a unique name beside it.
    explicit MediaShortPath(QString aliasFolder = defaultAliasFolder());

    static QString defaultAliasFolder();

    // The short form of an existing file or folder. Missing when the path does not exist,
    // Failed when it exists but no private folder or link could be made.
    Result shortPathOf(const QString &longPath);

    // The folder the links go to, chosen on first use; "" when none could be made.
    QString aliasFolder();

private:
    struct Folder;
    QString m_wanted;
    // Shared by copies, so a fresh folder is made once and removed with the last copy.
    std::shared_ptr<Folder> m_folder;
};
