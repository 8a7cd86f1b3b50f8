#include "app/DownloadFolderQuestion.h"

#include "core/AppInfo.h"
#include "app/DownloadFolderRule.h"
#include "app/Settings.h"
#include "platform/Dialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace {

// Creates the missing levels of a folder one at a time, each readable by all and writable
// by its owner only, whatever the umask lets through.
bool createFolder(const QString &folder)
{
    QStringList missing;
    QString path = QDir::cleanPath(folder);
    while (!QFileInfo::exists(path)) {
        missing.prepend(path);
        const QString parent = QFileInfo(path).path();
        if (parent == path)
            return false;
        path = parent;
    }
    const auto mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner |
                      QFileDevice::ReadGroup | QFileDevice::ExeGroup | QFileDevice::ReadOther | QFileDevice::ExeOther;
    for (const QString &level : std::as_const(missing)) {
        if (!QDir().mkdir(level, mode))
            return false;
    }
    return QFileInfo(folder).isDir();
}

} // namespace

QString askDownloadFolder(Dialogs &dialogs, Settings &settings, const DownloadFolderRule &rule)
{
    for (;;) {
        // A repeated question offers the stored folder again, not the rejected answer.
        const QString answer = dialogs.input(QStringLiteral("I vilken katalog vill du spara nedladdade filer?"),
                                             QStringLiteral("Var?"), settings.lastSaveFolder());
        if (answer.isEmpty())
            return {};
        const QString folder = rule.accept(answer);
        if (!folder.isEmpty()) {
            settings.setLastSaveFolder(folder);
            // The default folder is made now, so a new user finds it before the first song
            // arrives; a folder the user typed is made when the first song is stored. A folder
            // that cannot be made now is reported by the song reception.
            if (folder == Settings::defaultDownloadFolder())
                createFolder(folder);
            return folder;
        }
        dialogs.tell(QStringLiteral("Ej godkänd katalog/enhet"), applicationTitle());
    }
}
