#pragma once

#include "app/CommandLine.h"
#include "app/QuitSignals.h"

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QTimer>

#include <memory>

class ClientRedial;
class DownloadFolderRule;
class EventLog;
class MainWindow;
class QSocketNotifier;
class UnattendedDialogs;

// Works the window of a copy that runs with nobody at the screen, as the command line asks:
// answers the start-up question, ticks the role boxes, connects and stays connected, loads the
// playlist, starts the run when enough clients are ready, presses play when they have loaded
// their songs, and ends the program cleanly on a signal, a command or the end of the run.
class UnattendedDriver : public QObject {
    Q_OBJECT
public:
    UnattendedDriver(MainWindow &window, UnattendedDialogs &dialogs, EventLog &log, CommandLine::Options options,
                     QObject *parent = nullptr);
    ~UnattendedDriver() override;

    // Before the start-up sequence: sets the answer to the download-folder question. "" when
    // the folder is accepted, else why not.
    QString answerDownloadFolder(const DownloadFolderRule &rule, const QString &storedFolder);

    // After the start-up sequence, the window shown: the roles as asked. "" on success, else
    // what went wrong (the program then ends with status 2).
    QString start();

    // Ends the program as a user closing the window would, every question answered Yes.
    void quit();

    // A line of the control input: "play", "speed", "stop" or "quit".
    void command(const QByteArray &line);

private:
    QString startServer();
    void startClient();
    void poll();
    void startRun();
    void pressPlay();
    void pressSpeed();
    void stopRun();
    void readCommands();
    void quitSoon(int delayMs);

    MainWindow &m_window;
    UnattendedDialogs &m_dialogs;
    EventLog &m_log;
    CommandLine::Options m_options;
    QuitSignals m_signals;
    QTimer m_poll;
    std::unique_ptr<QSocketNotifier> m_stdin;
    std::unique_ptr<ClientRedial> m_redial;
    QByteArray m_pending;
    // The clients that were ready when the run started, and those that reported every song loaded.
    QSet<int> m_runClients;
    QSet<int> m_loaded;
    bool m_runStarted = false;
    bool m_prepared = false;
    bool m_playPressed = false;
    bool m_quitting = false;
};
