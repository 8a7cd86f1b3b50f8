#include "app/RunWiring.h"

#include "net/ClientRole.h"
#include "net/ServerRole.h"
#include "playback/ModMultimedia.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

RunWiring::RunWiring(const WindowControls &controls, WindowLayouts &layouts, const PlaylistEditor &playlist,
                     Dialogs &dialogs, SessionState &session, ServerRole &server, ClientRole &client,
                     ModMultimedia &media, std::function<void()> endProgram, QObject *parent)
    : QObject(parent), c(controls), m_widgets(controls, layouts, playlist),
      m_queue(media, dialogs, m_widgets, controls.tmrStopMusic,
              [&server](const QByteArray &command, const QByteArray &data) { server.SendMessageAll(command, data); }),
      m_serverRun(m_widgets, m_queue, dialogs, session,
                  ServerRun::Hooks{
                      .lastClientIndex = [&server] { return server.lastClientIndex(); },
                      .sendAll = [&server](const QByteArray &command,
                                           const QByteArray &data) { server.SendMessageAll(command, data); },
                      .prepare =
                          [this](const QStringList &fullPaths) {
                              if (m_transfer.prepare)
                                  m_transfer.prepare(fullPaths);
                              else
                                  prepareAtOnce(fullPaths);
                          },
                      .clearPrepared =
                          [this] {
                              if (m_transfer.clear)
                                  m_transfer.clear();
                          },
                      .resetSpeed =
                          [this] {
                              c.cmdSpeed->setText(QStringLiteral("Hastighet: Låg"));
                              if (m_transfer.resetSpeed)
                                  m_transfer.resetSpeed();
                          },
                  }),
      m_clientPlayback(media, dialogs, std::move(endProgram)), m_houseStatus(c.cmdServer, m_attendance)
{
    m_attendance.watch(server, session);
    // A client that comes after the song's end waits for the next one.
    connect(&m_queue, &PlayQueue::songEnded, &server, &ServerRole::forgetPlayingSong);
    connect(c.cmdServer, &QPushButton::clicked, this, [this] { m_serverRun.cmdServer_Click(); });
    connect(c.cmdStartPlay, &QPushButton::clicked, this, [this] {
        c.cmdStartPlay->setEnabled(false);
        m_queue.cmdStartPlay_Click();
    });
    connect(c.lstFilesPlay, &QListWidget::itemChanged, this, [this] { m_queue.lstFilesPlay_ItemCheck(); });
    connect(c.lstFilesPlay, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            c.txtFiles->setText(m_queue.songs().value(row));
    });

    connect(&client, &ClientRole::setMusic, &m_clientPlayback, &ClientPlayback::setMusic);
    connect(&client, &ClientRole::playMusic, &m_clientPlayback, &ClientPlayback::playMusic);
    connect(&client, &ClientRole::playMusicAt, &m_clientPlayback, &ClientPlayback::playMusicAt);
    m_clientPlayback.setRunClock(&client.runClock().clock());
    client.runClock().setOutputLatency([&media] { return media.outputLatencyMs(); });
    // The stream runs from the connection on, so its clock runs before the first song.
    connect(&client, &ClientRole::connected, this, [&media] { media.prepareOutput(); });
    connect(&client, &ClientRole::connected, &m_clientPlayback, &ClientPlayback::connectionStarted);
    connect(&client, &ClientRole::stopAllMusic, &m_clientPlayback, &ClientPlayback::stopAllMusic);
    connect(&m_clientPlayback, &ClientPlayback::playingChanged, c.lblPlaying, &QLabel::setToolTip);
}

void RunWiring::prepareAtOnce(const QStringList &fullPaths)
{
    // Reported after the start has finished, as a song store working on its own would.
    QTimer::singleShot(0, this, [this, n = fullPaths.size()] {
        for (qsizetype i = 0; i < n; ++i)
            m_serverRun.preparationProgress(double(i + 1) / double(n) * 100.0);
        m_serverRun.preparationDone();
    });
}
