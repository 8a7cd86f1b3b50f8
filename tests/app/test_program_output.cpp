// The program itself, started unattended without a display or a desktop session: standard
// error holds what is for the person running it and none of Qt's notes on its own set-up.
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(ProgramOutputTest, AHeadlessServerOutsideADesktopSessionPrintsOnlyWhatIsForTheUser)
{
    QTemporaryDir home;
    ASSERT_TRUE(home.isValid());
    const QString downloads = home.filePath(QStringLiteral("nedladdat"));
    ASSERT_TRUE(QDir().mkdir(downloads));
    // Settings and Qt's fallback folders in the temporary folder too.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    for (const char *name : {"HOME", "XDG_CONFIG_HOME", "TMPDIR"})
        environment.insert(QLatin1String(name), home.path());

    QProcess program;
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(TUNVERO_PROGRAM), {QStringLiteral("--headless"), QStringLiteral("--download-folder"),
                                                    downloads, QStringLiteral("--server"), QStringLiteral("--port"),
                                                    QStringLiteral("0"), QStringLiteral("--commands-on-stdin")});
    ASSERT_TRUE(program.waitForStarted(30000));
    program.write("quit\n");
    program.closeWriteChannel();
    ASSERT_TRUE(program.waitForFinished(30000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);

    const QString output = QString::fromLocal8Bit(program.readAllStandardError());
    for (const char *noise : {"XDG_RUNTIME_DIR", "propagateSizeHints"})
        EXPECT_FALSE(output.contains(QLatin1String(noise))) << output.toStdString();
    // What is for the user still comes.
    EXPECT_TRUE(output.contains(QLatin1String("Tunvero: listening on port "))) << output.toStdString();
}
