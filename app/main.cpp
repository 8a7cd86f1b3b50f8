#include "app/AppStyle.h"
#include "app/CommandLine.h"
#include "app/MainWindow.h"
#include "app/Settings.h"
#include "app/SwedishTranslations.h"
#include "app/UnattendedDriver.h"
#include "core/AppInfo.h"
#include "core/EventLog.h"
#include "platform/QtDialogs.h"
#include "platform/QtMessageFilter.h"
#include "platform/UnattendedDialogs.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

namespace {

constexpr int usageError = 2;

void printTo(std::FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

int runWithUser(QApplication &app)
{
    QtDialogs dialogs;
    MainWindow window(dialogs, DownloadFolderRule(QDir::homePath()));
    dialogs.setParent(&window);
    if (!window.Form_Load())
        return 0;
    window.show();
    return app.exec();
}

int runUnattended(QApplication &app, const CommandLine::Options &options)
{
    EventLog log;
    if (!options.eventLog.isEmpty() && !log.open(options.eventLog)) {
        printTo(stderr,
                QStringLiteral("Tunvero: cannot write the event log %1: %2").arg(options.eventLog, log.errorString()));
        return usageError;
    }
    UnattendedDialogs dialogs;
    const DownloadFolderRule rule(QDir::homePath());
    MainWindow window(dialogs, rule, nullptr, log.isOpen() ? &log : nullptr);
    UnattendedDriver driver(window, dialogs, log, options);

    const QString rejected =
        driver.answerDownloadFolder(rule, Settings([] { return windowCaption(); }).lastSaveFolder());
    if (!rejected.isEmpty()) {
        printTo(stderr, QStringLiteral("Tunvero: ") + rejected);
        return usageError;
    }
    if (!window.Form_Load())
        return usageError;
    window.show();
    const QString failure = driver.start();
    if (!failure.isEmpty()) {
        printTo(stderr, QStringLiteral("Tunvero: ") + failure);
        driver.quit();
        return usageError;
    }
    return app.exec();
}

} // namespace

int main(int argc, char **argv)
{
    QtMessageFilter::install();
    // Help needs no display. Qt's own options are not known before the application object
    // takes them out, so anything else is judged after that.
    QStringList rawArguments;
    for (int i = 0; i < argc; ++i)
        rawArguments.append(QString::fromLocal8Bit(argv[i]));
    if (const auto early = CommandLine::parse(rawArguments); early.outcome == CommandLine::Outcome::Help) {
        printTo(stdout, early.text);
        return 0;
    }
    // The display is chosen when the application object is made.
    if (CommandLine::wantsHeadless(argc, argv))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // Lets the desktop match the window with the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("se.tunvero.Tunvero"));

    const CommandLine::Result parsed = CommandLine::parse(QCoreApplication::arguments());
    if (parsed.outcome != CommandLine::Outcome::Run) {
        printTo(stderr, QStringLiteral("Tunvero: %1\nTry tunvero --help.").arg(parsed.text));
        return usageError;
    }
    installSwedishTranslations(app);
    applyAppStyle(app);
    if (!parsed.options.unattended)
        return runWithUser(app);
    return runUnattended(app, parsed.options);
}
