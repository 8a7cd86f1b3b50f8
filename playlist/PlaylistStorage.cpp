#include "playlist/PlaylistStorage.h"

#include "core/AppInfo.h"
#include "core/ModGlobal.h"
#include "platform/Dialogs.h"
#include "playlist/PlaylistEditor.h"
#include "playlist/PlaylistFile.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString playlistFilter = QStringLiteral("*.tunvero");

} // namespace

PlaylistStorage::PlaylistStorage(Dialogs &dialogs, PlaylistEditor &playlist) : m_dialogs(dialogs), m_playlist(playlist)
{
}

void PlaylistStorage::cmdSavePlaylist_Click()
{
    if (m_playlist.count() == 0) {
        m_dialogs.tell(QStringLiteral("Du har inga låtar i spellistan!"), QStringLiteral("Inga låtar!"),
                       DialogIcon::Information);
        return;
    }
    const QString fileName =
        m_dialogs.saveFileName({QStringLiteral("Välj fil att spara playlisten till..."), playlistFilter, {}});
    if (fileName.isEmpty())
        return;
    if (!PlaylistFile::write(fileName, m_playlist.fullPaths())) {
        m_dialogs.tell(QStringLiteral("Kunde inte spara spellistan till %1.").arg(QDir::toNativeSeparators(fileName)),
                       applicationTitle(), DialogIcon::Critical);
        return;
    }
    m_playlist.setChanged(false);
}

void PlaylistStorage::cmdLoadPlaylist_Click()
{
    if (m_playlist.count() > 0 && m_playlist.playlistChanged() &&
        !m_dialogs.askYesNo(QStringLiteral("Du har en osparad spellista, vill du verkligen ta bort alla ändringar?"),
                            QStringLiteral("Ändringar?")))
        return;
    const QString fileName =
        m_dialogs.openFileName({QStringLiteral("Välj fil att ladda playlisten från..."), playlistFilter, {}});
    if (fileName.isEmpty())
        return;
    // Read before replacing, so a file that cannot be read costs the user nothing.
    const std::optional<QStringList> lines = PlaylistFile::read(fileName);
    if (!lines) {
        m_dialogs.tell(QStringLiteral("Kunde inte läsa spellistan %1.").arg(QDir::toNativeSeparators(fileName)),
                       applicationTitle(), DialogIcon::Critical);
        return;
    }
    m_playlist.reset();
    for (const QString &line : *lines) {
        // Empty lines, songs that are gone and songs listed twice are left out.
        if (line.isEmpty() || !QFileInfo(line).isFile())
            continue;
        m_playlist.appendLoaded(modGlobal::GetShortPath(line), line);
    }
    m_playlist.setChanged(false);
}
