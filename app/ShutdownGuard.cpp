#include "app/ShutdownGuard.h"

#include "platform/Dialogs.h"

#include <QCheckBox>

ShutdownGuard::ShutdownGuard(Dialogs &dialogs, QCheckBox *chkServer, QCheckBox *chkClient)
    : m_dialogs(dialogs), m_chkServer(chkServer), m_chkClient(chkClient)
{
}

bool ShutdownGuard::mayClose(const State &state)
{
    if (state.playlistHasEntries && state.playlistChanged && state.isServer &&
        !m_dialogs.askYesNo(QStringLiteral("Vill du verkligen avsluta eftersom att du har en osparad playlist?"),
                            QStringLiteral("Avsluta?")))
        return false;

    // With both roles on, only the server is switched off.
    QCheckBox *role = m_chkServer->isChecked() ? m_chkServer : m_chkClient->isChecked() ? m_chkClient : nullptr;
    if (!role)
        return true;
    role->setChecked(false);
    return !role->isChecked();
}
