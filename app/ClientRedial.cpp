#include "app/ClientRedial.h"

#include "app/ClientRoleSwitch.h"
#include "net/ClientRole.h"
#include "net/SocketCodes.h"

#include <algorithm>

ClientRedial::ClientRedial(ClientRoleSwitch &clientSwitch, ClientRole &client, QString server, Print print,
                           QObject *parent)
    : QObject(parent), m_switch(clientSwitch), m_client(client), m_server(std::move(server)), m_print(std::move(print))
{
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, [this] { m_switch.connectAgain(); });
    m_held.setSingleShot(true);
    m_held.setInterval(heldMs);
    connect(&m_held, &QTimer::timeout, this, &ClientRedial::held);
    connect(&m_client, &ClientRole::connected, &m_held, qOverload<>(&QTimer::start));
    m_switch.setConnectionLost([this](int number, const QString &description) { lost(number, description); });
}

ClientRedial::~ClientRedial()
{
    m_switch.setConnectionLost({});
}

void ClientRedial::stop()
{
    m_stopped = true;
    m_retry.stop();
    m_held.stop();
}

void ClientRedial::lost(int number, const QString &description)
{
    m_held.stop();
    if (m_stopped)
        return;
    if (m_withServer || !m_toldLost) {
        const QString why = number == 0 ? QStringLiteral("servern stängde anslutningen") : description;
        m_print(m_withServer
                    ? QStringLiteral("Kontakten med servern %1 bröts (%2). Försöker ansluta igen.").arg(m_server, why)
                    : QStringLiteral("Kunde inte ansluta till servern %1 (%2). Försöker igen tills den svarar.")
                          .arg(m_server, why));
        m_withServer = false;
        m_toldLost = true;
    }
    m_retry.start(m_pauseMs);
    m_pauseMs = std::min(m_pauseMs * 2, longestPauseMs);
}

void ClientRedial::held()
{
    if (m_stopped || m_client.state() != socketCodes::stateConnected)
        return;
    m_pauseMs = firstPauseMs;
    if (m_withServer)
        return;
    m_withServer = true;
    m_toldLost = false;
    m_print(QStringLiteral("Ansluten till servern %1.").arg(m_server));
}
