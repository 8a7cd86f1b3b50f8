#include "app/UnattendedDriver.h"

#include "app/ClientRedial.h"
#include "app/DownloadFolderRule.h"
#include "app/MainWindow.h"
#include "app/RunWiring.h"
#include "core/EventLog.h"
#include "net/ClientRole.h"
#include "net/RunAttendance.h"
#include "net/ServerRole.h"
#include "platform/UnattendedDialogs.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QPushButton>
#include <QSocketNotifier>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int pollMs = 20;
// Lets the last messages leave the sockets before the window closes them.
constexpr int flushMs = 300;

void say(const QString &text)
{
    std::fprintf(stderr, "Tunvero: %s\n", text.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

UnattendedDriver::UnattendedDriver(MainWindow &window, UnattendedDialogs &dialogs, EventLog &log,
                                   CommandLine::Options options, QObject *parent)
    : QObject(parent), m_window(window), m_dialogs(dialogs), m_log(log), m_options(std::move(options))
{
    connect(&m_signals, &QuitSignals::received, this, [this](int number) {
        m_log.write(QStringLiteral("signal"), {{QStringLiteral("number"), number}});
        quit();
    });
    m_poll.setInterval(pollMs);
    connect(&m_poll, &QTimer::timeout, this, &UnattendedDriver::poll);
}

UnattendedDriver::~UnattendedDriver() = default;

QString UnattendedDriver::answerDownloadFolder(const DownloadFolderRule &rule, const QString &storedFolder)
{
    const QString answer = m_options.downloadFolder.isEmpty() ? storedFolder : m_options.downloadFolder;
    if (answer.isEmpty())
        return QStringLiteral("no download folder given");
    if (rule.accept(answer).isEmpty()) {
        const QString expanded = answer.startsWith(QLatin1Char('~')) ? QDir::homePath() + answer.mid(1) : answer;
        const QString why = QDir::isAbsolutePath(expanded) && expanded.size() > 2
                                ? QStringLiteral("the volume that holds it lists no visible entry")
                                : QStringLiteral("it is not an absolute path");
        return QStringLiteral("Ej godkänd katalog/enhet: %1 (%2)").arg(answer, why);
    }
    m_dialogs.setAnswer(QStringLiteral("Var?"), answer);
    return {};
}

QString UnattendedDriver::start()
{
    m_log.write(QStringLiteral("start"), {{QStringLiteral("pid"), qint64(QCoreApplication::applicationPid())},
                                          {QStringLiteral("download_folder"), m_window.downloadFolder()}});
    if (m_options.port)
        m_window.session().setPort(*m_options.port);
    if (m_options.server) {
        const QString failure = startServer();
        if (!failure.isEmpty())
            return failure;
    }
    if (m_options.client)
        startClient();
    if (m_options.quitAfterStop) {
        ClientRole &client = m_window.clientRole();
        // After the run's own reaction: the devices are stopped by then.
        connect(&client, &ClientRole::stopAllMusic, this, [this] {
            if (!m_options.server)
                quitSoon(0);
        });
        connect(&client, &ClientRole::closedByServer, this, [this] { quitSoon(0); });
    }
    if (m_options.commandsOnStdin) {
        m_stdin = std::make_unique<QSocketNotifier>(STDIN_FILENO, QSocketNotifier::Read);
        connect(m_stdin.get(), &QSocketNotifier::activated, this, &UnattendedDriver::readCommands);
    }
    return {};
}

QString UnattendedDriver::startServer()
{
    const WindowControls &c = m_window.controls();
    c.chkServer->setChecked(true);
    ServerRole &server = m_window.serverRole();
    if (!m_window.session().isServer() || !server.isListening())
        return QStringLiteral("the server could not listen on port %1").arg(m_window.session().port());
    // Port 0 stands for the port the system picked; clients of this copy use that one.
    m_window.session().setPort(server.listeningPort());
    m_log.write(QStringLiteral("listening"), {{QStringLiteral("port"), int(server.listeningPort())}});
    say(QStringLiteral("listening on port %1").arg(server.listeningPort()));

    connect(&server, &ServerRole::allFilesLoadedReceived, this, [this](int index) {
        m_loaded.insert(index);
        poll();
    });
    const RunAttendance &house = m_window.run().attendance();
    const auto tell = [](const char *what) {
        return [what](int index, int inRun, int holdingAll) {
            say(QStringLiteral("client %1 %2: %3 in the run, %4 hold every song")
                    .arg(index)
                    .arg(QLatin1String(what))
                    .arg(inRun)
                    .arg(holdingAll));
        };
    };
    connect(&house, &RunAttendance::joined, this, tell("joined"));
    connect(&house, &RunAttendance::left, this, tell("left"));
    connect(&house, &RunAttendance::holdsAll, this, tell("holds every song"));
    if (!m_options.playlist.isEmpty()) {
        const QString title = QStringLiteral("Välj fil att ladda playlisten från...");
        m_dialogs.setAnswer(title, QFileInfo(m_options.playlist).absoluteFilePath());
        c.cmdLoadPlaylist->click();
        m_dialogs.clearAnswer(title);
        const int songs = m_window.playlist().count();
        if (songs == 0)
            return QStringLiteral("the playlist %1 holds no song that exists").arg(m_options.playlist);
        m_log.write(QStringLiteral("playlist_loaded"), {{QStringLiteral("songs"), songs}});
        m_poll.start();
    }
    return {};
}

void UnattendedDriver::startClient()
{
    if (m_options.clientPort)
        m_window.session().setPort(*m_options.clientPort);
    m_dialogs.setAnswer(QStringLiteral("Dator?"), m_options.clientHost);
    // Nobody is there to answer a lost connection: it is tried again until the program ends.
    m_redial = std::make_unique<ClientRedial>(
        m_window.clientSwitch(), m_window.clientRole(),
        QStringLiteral("%1:%2").arg(m_options.clientHost).arg(m_window.session().port()), say);
    const WindowControls &c = m_window.controls();
    c.chkClient->setChecked(true);
    c.cmdClient->click();
}

void UnattendedDriver::poll()
{
    if (m_quitting || !m_options.server)
        return;
    const ServerRole &server = m_window.serverRole();
    QSet<int> ready;
    for (int i = 1; i <= server.lastClientIndex(); ++i) {
        if (server.isReady(i))
            ready.insert(i);
    }
    if (!m_runStarted) {
        if (ready.size() >= m_options.startWhenClients) {
            m_runClients = ready;
            startRun();
        }
        return;
    }
    const WindowControls &c = m_window.controls();
    if (!m_prepared && m_window.session().runActive() && !c.cmdStartPlay->isHidden()) {
        m_prepared = true;
        m_log.write(QStringLiteral("song_list_sent"));
        if (m_options.highSpeed)
            pressSpeed();
    }
    if (!m_prepared || m_playPressed || !m_options.playWhenLoaded)
        return;
    // Every client of the run still there has loaded every song.
    bool allLoaded = true;
    int present = 0;
    for (const int index : std::as_const(m_runClients)) {
        if (!server.isReady(index))
            continue;
        ++present;
        allLoaded = allLoaded && m_loaded.contains(index);
    }
    if (present > 0 && allLoaded)
        pressPlay();
}

void UnattendedDriver::startRun()
{
    const WindowControls &c = m_window.controls();
    const QString title = QStringLiteral("Starta nu?");
    m_dialogs.setAnswer(title, DialogAnswer::Yes);
    c.cmdServer->click();
    m_dialogs.clearAnswer(title);
    if (!m_window.session().runActive()) {
        say(QStringLiteral("the run did not start"));
        return;
    }
    m_runStarted = true;
    m_loaded.clear();
    m_log.write(QStringLiteral("run_started"), {{QStringLiteral("clients"), int(m_runClients.size())}});
}

void UnattendedDriver::pressPlay()
{
    const WindowControls &c = m_window.controls();
    if (!m_prepared || !c.cmdStartPlay->isEnabled())
        return;
    m_playPressed = true;
    m_log.write(QStringLiteral("play_pressed"));
    c.cmdStartPlay->click();
}

void UnattendedDriver::pressSpeed()
{
    const WindowControls &c = m_window.controls();
    c.cmdSpeed->click();
    m_log.write(QStringLiteral("speed_clicked"), {{QStringLiteral("caption"), c.cmdSpeed->text()}});
}

void UnattendedDriver::stopRun()
{
    if (!m_window.session().runActive())
        return;
    const QString title = QStringLiteral("Stoppa?");
    m_dialogs.setAnswer(title, DialogAnswer::Yes);
    m_window.controls().cmdServer->click();
    m_dialogs.clearAnswer(title);
    m_log.write(QStringLiteral("run_stopped"));
    if (m_options.quitAfterStop)
        quitSoon(flushMs);
}

void UnattendedDriver::command(const QByteArray &line)
{
    const QByteArray word = line.trimmed();
    if (word.isEmpty())
        return;
    m_log.write(QStringLiteral("command"), {{QStringLiteral("word"), QString::fromLatin1(word)}});
    if (word == "play")
        pressPlay();
    else if (word == "speed")
        pressSpeed();
    else if (word == "stop")
        stopRun();
    else if (word == "quit")
        quit();
    else
        say(QStringLiteral("unknown command: %1").arg(QString::fromLatin1(word)));
}

void UnattendedDriver::readCommands()
{
    char buffer[256];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
        // The end of the input (or an error): nothing more will come.
        m_stdin.reset();
        return;
    }
    m_pending.append(buffer, n);
    for (qsizetype end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n')) {
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        command(line);
    }
}

void UnattendedDriver::quitSoon(int delayMs)
{
    QTimer::singleShot(delayMs, this, &UnattendedDriver::quit);
}

void UnattendedDriver::quit()
{
    if (m_quitting)
        return;
    m_quitting = true;
    m_poll.stop();
    if (m_redial)
        m_redial->stop();
    // Every question on the way out is answered Yes: the copy is told to end.
    for (const QString &title : {QStringLiteral("Avsluta?"), QStringLiteral("Stänga server?"),
                                 QStringLiteral("Stänga av klient?"), QStringLiteral("Stoppa?")})
        m_dialogs.setAnswer(title, DialogAnswer::Yes);
    const bool closed = m_window.close();
    m_log.write(QStringLiteral("exit"), {{QStringLiteral("closed"), closed}});
    QCoreApplication::exit(closed ? 0 : 1);
}
