#include "app/TransferWiring.h"

#include "app/PercentBar.h"
#include "app/WindowControls.h"

#include <QPushButton>

TransferWiring::TransferWiring(const WindowControls &c, const SessionState &session, ServerRole &server,
                               ClientRole &client, ModMultimedia &media, std::function<QString()> downloadFolder,
                               QObject *parent)
    : QObject(parent), m_server(server, session, m_store),
      m_client(client, media, c.tmrGetFile, std::move(downloadFolder))
{
    connect(&m_client, &ClientTransfer::progress, c.prgFile, &PercentBar::setPercent);
    connect(c.cmdSpeed, &QPushButton::clicked, &m_server, [this] { m_server.speed().cmdSpeed_Click(); });
    connect(&m_server.speed(), &TransferSpeed::captionChanged, c.cmdSpeed, &QPushButton::setText);
}
