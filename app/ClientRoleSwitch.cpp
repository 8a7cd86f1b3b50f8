#include "app/ClientRoleSwitch.h"

#include "core/AppInfo.h"
#include "core/ModGlobal.h"
#include "core/SessionState.h"
#include "app/RoleTexts.h"
#include "app/Settings.h"
#include "net/ClientRole.h"
#include "net/SocketCodes.h"
#include "platform/Dialogs.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace {

const QString captionConnect = QStringLiteral("Anslut");
const QString captionConnecting = QStringLiteral("Ansluter...");
const QString captionDisconnect = QStringLiteral("Koppla från");

} // namespace

ClientRoleSwitch::ClientRoleSwitch(const WindowControls &controls, Dialogs &dialogs, ClientRole &client,
                                   Settings &settings, const SessionState &session, QObject *parent)
    : QObject(parent), c(controls), m_dialogs(dialogs), m_client(client), m_settings(settings), m_session(session)
{
    connect(c.chkClient, &QCheckBox::toggled, this, &ClientRoleSwitch::chkClient_Click);
    connect(c.cmdClient, &QPushButton::clicked, this, &ClientRoleSwitch::cmdClient_Click);
    connect(&m_client, &ClientRole::connected, this, &ClientRoleSwitch::sckClient_Connect);
    connect(&m_client, &ClientRole::closedByServer, this, &ClientRoleSwitch::sckClient_Close);
    connect(&m_client, &ClientRole::failed, this, &ClientRoleSwitch::sckClient_Error);
}

void ClientRoleSwitch::chkClient_Click()
{
    if (c.chkServer->isChecked() && c.chkClient->isChecked() &&
        !m_dialogs.askYesNo(roleTexts::bothRolesText(), roleTexts::bothRolesTitle())) {
        c.chkClient->setChecked(false);
        return;
    }
    if (m_client.state() == socketCodes::stateConnected && !c.chkClient->isChecked() &&
        !m_dialogs.askYesNo(
            QStringLiteral("Du är ansluten till en Tunvero server, vill du verkligen stänga av klienten?"),
            QStringLiteral("Stänga av klient?"))) {
        c.chkClient->setChecked(true);
        return;
    }
    SetClient();
}

void ClientRoleSwitch::SetClient()
{
    if (c.chkClient->isChecked()) {
        c.cmdClient->setEnabled(true);
        return;
    }
    m_client.close();
    c.cmdClient->setEnabled(false);
    c.cmdClient->setText(captionConnect);
    resetPlayingTip();
}

void ClientRoleSwitch::cmdClient_Click()
{
    if (c.cmdClient->text() != captionConnect) {
        resetPlayingTip();
        c.cmdClient->setText(captionConnect);
        m_client.close();
        return;
    }
    c.cmdClient->setText(captionConnecting);
    m_client.close();
    const int port = m_session.port();
    const QString host =
        m_dialogs.input(QStringLiteral("Vilken dator vill du ansluta klienten till?"), QStringLiteral("Dator?"),
                        m_session.isServer() ? modGlobal::ComputerName() : m_settings.serverName());
    if (host.isEmpty()) {
        c.cmdClient->setText(captionConnect);
        return;
    }
    m_host = host;
    m_client.connectToServer(host, static_cast<quint16>(port));
}

void ClientRoleSwitch::connectAgain()
{
    if (!c.chkClient->isChecked() || c.cmdClient->text() != captionConnect || m_host.isEmpty())
        return;
    c.cmdClient->setText(captionConnecting);
    m_client.connectToServer(m_host, static_cast<quint16>(m_session.port()));
}

void ClientRoleSwitch::sckClient_Connect()
{
    // The greeting has gone out already.
    c.cmdClient->setText(captionDisconnect);
    m_settings.setServerName(m_client.remoteHost());
}

void ClientRoleSwitch::sckClient_Close()
{
    c.cmdClient->setText(captionConnect);
    if (m_connectionLost)
        m_connectionLost(0, {});
}

void ClientRoleSwitch::sckClient_Error(int number, const QString &description)
{
    c.cmdClient->setText(captionConnect);
    if (m_connectionLost) {
        if (m_afterConnectionError)
            m_afterConnectionError();
        m_connectionLost(number, description);
        return;
    }
    // Asks for a server again at once; the message comes after the new prompt.
    cmdClient_Click();
    switch (number) {
    case socketCodes::hostNotFound:
        m_dialogs.tell(QStringLiteral("Den datorn du försökte ansluta till var inte tillgänglig!\n\n"
                                      "Var vänlig att kolla om datorn är påslagen och att du stavat rätt"),
                       QStringLiteral("Kunde inte hitta dator..."), DialogIcon::Information);
        break;
    case socketCodes::connectionRefused:
        m_dialogs.tell(QStringLiteral("Datorn som du försökte ansluta till var tillgänglig, men den hade inte "
                                      "någon Tunvero server påsatt"),
                       QStringLiteral("Ingen server"), DialogIcon::Information);
        break;
    case socketCodes::connectionAborted:
    case socketCodes::connectionReset:
        m_dialogs.tell(QStringLiteral("Servern kopplade bort dig!"), QStringLiteral("Bortkopplad..."),
                       DialogIcon::Information);
        break;
    default:
        m_dialogs.tell(QString::number(number) + QStringLiteral("\n\n") + description, applicationTitle());
        break;
    }
    if (m_afterConnectionError)
        m_afterConnectionError();
}

void ClientRoleSwitch::resetPlayingTip()
{
    c.lblPlaying->setToolTip(QStringLiteral("Ingen låt spelas just nu..."));
}
