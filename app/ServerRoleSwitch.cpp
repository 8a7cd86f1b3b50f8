#include "app/ServerRoleSwitch.h"

#include "core/AppInfo.h"
#include "core/SessionState.h"
#include "app/RoleTexts.h"
#include "net/ServerRole.h"
#include "platform/Dialogs.h"

#include <QCheckBox>
#include <QPushButton>

ServerRoleSwitch::ServerRoleSwitch(const WindowControls &controls, Dialogs &dialogs, ServerRole &server,
                                   SessionState &session, Hooks hooks, QObject *parent)
    : QObject(parent), c(controls), m_dialogs(dialogs), m_server(server), m_session(session), m_hooks(std::move(hooks))
{
    connect(c.chkServer, &QCheckBox::toggled, this, &ServerRoleSwitch::chkServer_Click);
}

void ServerRoleSwitch::chkServer_Click()
{
    if (c.chkServer->isChecked() && c.chkClient->isChecked() &&
        !m_dialogs.askYesNo(roleTexts::bothRolesText(), roleTexts::bothRolesTitle())) {
        c.chkServer->setChecked(false);
        return;
    }
    const bool clientStillConnected = m_server.sweep() > 0;
    if (!c.chkServer->isChecked() && !m_session.stopWithoutAsking() && clientStillConnected &&
        !m_dialogs.askYesNo(QStringLiteral("Vill du verkligen stänga ned server delen?\n\n"
                                           "Det finns fortfarande klienter anslutna."),
                            QStringLiteral("Stänga server?"))) {
        RestoringServerTick = true;
        c.chkServer->setChecked(true);
        RestoringServerTick = false;
        return;
    }
    SetServer();
}

void ServerRoleSwitch::SetServer()
{
    m_session.setServer(c.chkServer->isChecked());
    if (m_session.isServer())
        switchOn();
    else
        switchOff();
}

void ServerRoleSwitch::switchOff()
{
    c.cmdServer->setEnabled(false);
    c.cmdServer->setText(QStringLiteral("Stoppa"));
    {
        StopWithoutAskingScope silent(m_session);
        m_hooks.cmdServer_Click();
    }
    m_session.setAcceptNewClients(false);
    m_server.dropAllConnections();
    m_server.closeListening();
    m_server.setLastClientIndex(0);
    m_hooks.applyWindowState(false);
}

void ServerRoleSwitch::switchOn()
{
    // The user refused to close the server: it runs on as it was.
    if (RestoringServerTick)
        return;
    m_server.closeListening();
    if (!m_server.listen(static_cast<quint16>(m_session.port()))) {
        if (m_server.listenError() == QAbstractSocket::AddressInUseError)
            m_dialogs.tell(QStringLiteral("Porten %1 används redan av ett annat program.\n"
                                          "Välj ett annat portnummer och försök igen.")
                               .arg(m_session.port()),
                           QStringLiteral("Porten är upptagen"), DialogIcon::Information);
        else
            m_dialogs.tell(QStringLiteral("Servern kunde inte lyssna på port %1.").arg(m_session.port()),
                           applicationTitle(), DialogIcon::Information);
        // Runs the box's reaction again, which switches the role off.
        c.chkServer->setChecked(false);
        return;
    }
    m_session.setAcceptNewClients(true);
    c.cmdServer->setEnabled(true);
    m_hooks.applyWindowState(true);
}
