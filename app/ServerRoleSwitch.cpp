#include "app/ServerRoleSwitch.h"

#include "app/AppInfo.h"
#include "app/RoleTexts.h"
#include "net/ServerRole.h"
#include "platform/Dialogs.h"

#include <QCheckBox>
#include <QPushButton>

ServerRoleSwitch::ServerRoleSwitch(const WindowControls &controls, Dialogs &dialogs, ServerRole &server,
                                   bool &isServer, bool &stopWithoutAsking, const int &port, Hooks hooks,
                                   QObject *parent)
    : QObject(parent)
    , c(controls)
    , m_dialogs(dialogs)
    , m_server(server)
    , IsServer(isServer)
    , StopWithoutAsking(stopWithoutAsking)
    , Port(port)
    , m_hooks(std::move(hooks))
{
    connect(c.chkServer, &QCheckBox::toggled, this, &ServerRoleSwitch::chkServer_Click);
}

void ServerRoleSwitch::chkServer_Click()
{
    if (c.chkServer->isChecked() && c.chkClient->isChecked()
        && !m_dialogs.askYesNo(roleTexts::bothRolesText(), roleTexts::bothRolesTitle())) {
        c.chkServer->setChecked(false);
        return;
    }
    const bool clientStillConnected = m_server.sweep() > 0;
    if (!c.chkServer->isChecked() && !StopWithoutAsking && clientStillConnected
        && !m_dialogs.askYesNo(QStringLiteral("Vill du verkligen stänga ned server delen?\n\n"
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
    IsServer = c.chkServer->isChecked();
    if (IsServer)
        switchOn();
    else
        switchOff();
}

void ServerRoleSwitch::switchOff()
{
    c.cmdServer->setEnabled(false);
    c.cmdServer->setText(QStringLiteral("Stoppa"));
    StopWithoutAsking = true;
    m_hooks.cmdServer_Click();
    StopWithoutAsking = false;
    m_server.AcceptNewClients = false;
    m_server.dropAllConnections();
    m_server.closeListening();
    m_server.LastClientIndex = 0;
    m_hooks.applyWindowState(false);
}

void ServerRoleSwitch::switchOn()
{
    // The user refused to close the server: it runs on as it was.
    if (RestoringServerTick)
        return;
    m_server.closeListening();
    if (!m_server.listen(static_cast<quint16>(Port))) {
        if (m_server.listenError() == QAbstractSocket::AddressInUseError)
            m_dialogs.tell(QStringLiteral("Porten %1 används redan av ett annat program.\n"
                                          "Välj ett annat portnummer och försök igen.")
                               .arg(Port),
                           QStringLiteral("Porten är upptagen"), DialogIcon::Information);
        else
            m_dialogs.tell(QStringLiteral("Servern kunde inte lyssna på port %1.").arg(Port), applicationTitle(),
                           DialogIcon::Information);
        // Runs the box's reaction again, which switches the role off.
        c.chkServer->setChecked(false);
        return;
    }
    m_server.AcceptNewClients = true;
    c.cmdServer->setEnabled(true);
    m_hooks.applyWindowState(true);
}
