#include "app/DownloadFolderQuestion.h"

#include "core/AppInfo.h"
#include "app/DownloadFolderRule.h"
#include "app/Settings.h"
#include "platform/Dialogs.h"

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
            return folder;
        }
        dialogs.tell(QStringLiteral("Ej godkänd katalog/enhet"), applicationTitle());
    }
}
