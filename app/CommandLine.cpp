#include "app/CommandLine.h"

#include <QCommandLineParser>

#include <cstring>

namespace {

// A port number 0 to 65535, written in decimal digits only.
std::optional<int> portNumber(const QString &text)
{
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    const int n = text.toInt();
    if (n > 65535)
        return std::nullopt;
    return n;
}

} // namespace

CommandLine::Result CommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Tunvero plays MP3 files in step on several computers of a local network.\n"
                       "Without options the window asks every question. Any of --download-folder, --client,\n"
                       "--server or --headless runs the copy unattended: each message box and question is\n"
                       "printed to standard error with its title and text and answered by an option or by\n"
                       "its default button."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows these options and ends."));
    const QCommandLineOption folder(QStringLiteral("download-folder"),
                                    QStringLiteral("Answers the start-up question: received songs are stored under "
                                                   "<dir>. A folder that is not accepted ends the program with "
                                                   "status 2."),
                                    QStringLiteral("dir"));
    const QCommandLineOption client(QStringLiteral("client"),
                                    QStringLiteral("Ticks the client box and connects to <host> at start, as "
                                                   "\"Anslut\" would."),
                                    QStringLiteral("host[:port]"));
    const QCommandLineOption server(QStringLiteral("server"),
                                    QStringLiteral("Ticks the server box; with --playlist it starts a run by "
                                                   "itself."));
    const QCommandLineOption playlist(QStringLiteral("playlist"),
                                      QStringLiteral("The server loads this playlist file (*.tunvero)."),
                                      QStringLiteral("file"));
    const QCommandLineOption startWhen(QStringLiteral("start-when-clients"),
                                       QStringLiteral("The server starts the run (\"Starta\", answered Yes) once "
                                                      "<n> clients are connected and measured. Default 1."),
                                       QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption playWhenLoaded(QStringLiteral("play-when-loaded"),
                                            QStringLiteral("The server presses \"Starta uppspelning\" once every "
                                                           "client of the run has loaded all its songs."));
    const QCommandLineOption highSpeed(QStringLiteral("high-speed"),
                                       QStringLiteral("The server clicks the speed button after the start."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("The TCP port (default 49931). A server given 0 listens on a free "
                                                 "port and reports it on standard error and in the event log."),
                                  QStringLiteral("n"));
    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral("Runs without a display (the offscreen platform)."));
    const QCommandLineOption eventLog(QStringLiteral("event-log"),
                                      QStringLiteral("Writes one JSON object a line for each event that matters, "
                                                     "stamped with CLOCK_MONOTONIC nanoseconds (\"t_ns\")."),
                                      QStringLiteral("file"));
    const QCommandLineOption quitAfterStop(QStringLiteral("quit-after-stop"),
                                           QStringLiteral("Ends the program once a run has stopped."));
    const QCommandLineOption commands(QStringLiteral("commands-on-stdin"),
                                      QStringLiteral("Reads the lines \"play\", \"speed\", \"stop\" and \"quit\" "
                                                     "from standard input and acts on them."));
    parser.addOptions({help, folder, client, server, playlist, startWhen, playWhenLoaded, highSpeed, port, headless,
                       eventLog, quitAfterStop, commands});

    Result result;
    auto fail = [&result](const QString &text) {
        result.outcome = Outcome::Error;
        result.text = text;
        return result;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (parser.isSet(help)) {
        result.outcome = Outcome::Help;
        // The program's own name, however it was started (and before Qt knows it).
        const QString text = parser.helpText();
        result.text = QStringLiteral("Usage: tunvero [options]") + text.mid(text.indexOf(QLatin1Char('\n')));
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(QStringLiteral("Unexpected argument: %1").arg(parser.positionalArguments().constFirst()));

    Options &o = result.options;
    o.headless = parser.isSet(headless);
    o.downloadFolder = parser.value(folder);
    o.server = parser.isSet(server);
    o.playlist = parser.value(playlist);
    o.playWhenLoaded = parser.isSet(playWhenLoaded);
    o.highSpeed = parser.isSet(highSpeed);
    o.eventLog = parser.value(eventLog);
    o.quitAfterStop = parser.isSet(quitAfterStop);
    o.commandsOnStdin = parser.isSet(commands);

    if (parser.isSet(client)) {
        o.client = true;
        QString host = parser.value(client);
        // HOST:PORT, unless the text is an IPv6 address (more than one ":") without brackets.
        const qsizetype colon = host.lastIndexOf(QLatin1Char(':'));
        if (colon >= 0 && host.count(QLatin1Char(':')) == 1) {
            o.clientPort = portNumber(host.mid(colon + 1));
            if (!o.clientPort)
                return fail(QStringLiteral("Not a port number in --client: %1").arg(host));
            host.truncate(colon);
        }
        if (host.isEmpty())
            return fail(QStringLiteral("--client needs a computer name or address"));
        o.clientHost = host;
    }
    if (parser.isSet(port)) {
        o.port = portNumber(parser.value(port));
        if (!o.port)
            return fail(QStringLiteral("Not a port number: %1").arg(parser.value(port)));
    }
    bool ok = false;
    o.startWhenClients = parser.value(startWhen).toInt(&ok);
    if (!ok || o.startWhenClients < 1)
        return fail(QStringLiteral("--start-when-clients needs a number of at least 1"));
    if (!o.server && (parser.isSet(playlist) || parser.isSet(startWhen) || o.playWhenLoaded || o.highSpeed))
        return fail(QStringLiteral("--playlist, --start-when-clients, --play-when-loaded and --high-speed need "
                                   "--server"));
    if (o.server && !parser.isSet(playlist) && (parser.isSet(startWhen) || o.playWhenLoaded || o.highSpeed))
        return fail(QStringLiteral("--start-when-clients, --play-when-loaded and --high-speed need --playlist"));
    o.unattended = o.headless || o.client || o.server || parser.isSet(folder);
    if (!o.unattended && (!o.eventLog.isEmpty() || o.quitAfterStop || o.commandsOnStdin || o.port))
        return fail(QStringLiteral("--event-log, --port, --quit-after-stop and --commands-on-stdin belong to the "
                                   "unattended mode: add --download-folder, --client, --server or --headless"));
    return result;
}

bool CommandLine::wantsHeadless(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0)
            return true;
    }
    return false;
}
