#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The program's command-line options, which run a copy unattended: with nobody at the screen
// (a speaker box, a test, the benchmark harness) every question is answered by an option or
// by its default button.
class CommandLine {
public:
    struct Options {
        bool unattended = false;
        bool headless = false;
        QString downloadFolder; // "" when not given
        bool client = false;
        QString clientHost;
        std::optional<int> clientPort; // from HOST:PORT
        bool server = false;
        QString playlist;
        int startWhenClients = 1;
        bool playWhenLoaded = false;
        bool highSpeed = false;
        std::optional<int> port; // 0 lets the system pick one
        QString eventLog;
        bool quitAfterStop = false;
        bool commandsOnStdin = false;
    };

    enum class Outcome { Run, Help, Error };

    struct Result {
        Outcome outcome = Outcome::Run;
        Options options;
        QString text; // the help text, or what is wrong
    };

    // `arguments` as the program got them, the program's own name first.
    static Result parse(const QStringList &arguments);

    // Whether the arguments ask for no display: read before the application object exists,
    // since the display is chosen when it is made.
    static bool wantsHeadless(int argc, char **argv);
};
