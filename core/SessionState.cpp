#include "core/SessionState.h"

void SessionState::setServer(bool on)
{
    if (m_isServer == on)
        return;
    m_isServer = on;
    Q_EMIT serverChanged(on);
}

void SessionState::setPort(int port)
{
    if (m_port == port)
        return;
    m_port = port;
    Q_EMIT portChanged(port);
}

void SessionState::setAcceptNewClients(bool accept)
{
    if (m_acceptNewClients == accept)
        return;
    m_acceptNewClients = accept;
    Q_EMIT acceptNewClientsChanged(accept);
}

void SessionState::setRunActive(bool active)
{
    if (m_runActive == active)
        return;
    m_runActive = active;
    Q_EMIT runActiveChanged(active);
}
