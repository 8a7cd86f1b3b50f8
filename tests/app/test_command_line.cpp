#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

CommandLine::Result parse(QStringList arguments)
{
    arguments.prepend(QStringLiteral("tunvero"));
    return CommandLine::parse(arguments);
}

CommandLine::Options run(const QStringList &arguments)
{
    const CommandLine::Result result = parse(arguments);
    EXPECT_EQ(result.outcome, CommandLine::Outcome::Run) << result.text.toStdString();
    return result.options;
}

void expectError(const QStringList &arguments)
{
    const CommandLine::Result result = parse(arguments);
    EXPECT_EQ(result.outcome, CommandLine::Outcome::Error) << arguments.join(QLatin1Char(' ')).toStdString();
    EXPECT_FALSE(result.text.isEmpty());
}

} // namespace

TEST(CommandLineTest, NoOptionsLeavesTheUserInCharge)
{
    const CommandLine::Options o = run({});
    EXPECT_FALSE(o.unattended);
    EXPECT_FALSE(o.port.has_value());
    // Options that only make sense with nobody at the screen are refused without that mode.
    expectError({QStringLiteral("--event-log"), QStringLiteral("/tmp/x")});
    expectError({QStringLiteral("--port"), QStringLiteral("5000")});
    expectError({QStringLiteral("--quit-after-stop")});
}

TEST(CommandLineTest, ClientAddressSplitsOffItsPort)
{
    CommandLine::Options o = run({QStringLiteral("--client"), QStringLiteral("127.0.0.1:40123")});
    EXPECT_TRUE(o.unattended);
    EXPECT_TRUE(o.client);
    EXPECT_EQ(o.clientHost, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(o.clientPort, 40123);

    o = run({QStringLiteral("--client"), QStringLiteral("vardagsrum")});
    EXPECT_EQ(o.clientHost, QStringLiteral("vardagsrum"));
    EXPECT_FALSE(o.clientPort.has_value());

    // An IPv6 address is a host, not a host and a port.
    o = run({QStringLiteral("--client"), QStringLiteral("::1")});
    EXPECT_EQ(o.clientHost, QStringLiteral("::1"));
    EXPECT_FALSE(o.clientPort.has_value());

    expectError({QStringLiteral("--client"), QStringLiteral(":49931")});
    expectError({QStringLiteral("--client"), QStringLiteral("host:")});
    expectError({QStringLiteral("--client"), QStringLiteral("host:65536")});
    expectError({QStringLiteral("--client"), QStringLiteral("host:12a")});
    expectError({QStringLiteral("--client"), QStringLiteral("host:-1")});
}

TEST(CommandLineTest, PortsAreDecimalNumbersUpTo65535)
{
    EXPECT_EQ(run({QStringLiteral("--headless"), QStringLiteral("--port"), QStringLiteral("0")}).port, 0);
    EXPECT_EQ(run({QStringLiteral("--headless"), QStringLiteral("--port"), QStringLiteral("65535")}).port, 65535);
    expectError({QStringLiteral("--headless"), QStringLiteral("--port"), QStringLiteral("65536")});
    expectError({QStringLiteral("--headless"), QStringLiteral("--port"), QStringLiteral("+80")});
    expectError({QStringLiteral("--headless"), QStringLiteral("--port"), QStringLiteral(" 80")});
    expectError({QStringLiteral("--headless"), QStringLiteral("--port"), QStringLiteral("")});
}

TEST(CommandLineTest, ServerRunOptionsNeedAServerWithAPlaylist)
{
    const CommandLine::Options o =
        run({QStringLiteral("--server"), QStringLiteral("--playlist"), QStringLiteral("fest.tunvero"),
             QStringLiteral("--start-when-clients"), QStringLiteral("10"), QStringLiteral("--play-when-loaded"),
             QStringLiteral("--high-speed")});
    EXPECT_TRUE(o.server);
    EXPECT_EQ(o.playlist, QStringLiteral("fest.tunvero"));
    EXPECT_EQ(o.startWhenClients, 10);
    EXPECT_TRUE(o.playWhenLoaded);
    EXPECT_TRUE(o.highSpeed);
    EXPECT_EQ(run({QStringLiteral("--server")}).startWhenClients, 1);

    expectError({QStringLiteral("--playlist"), QStringLiteral("fest.tunvero")});
    expectError({QStringLiteral("--client"), QStringLiteral("x"), QStringLiteral("--play-when-loaded")});
    expectError({QStringLiteral("--server"), QStringLiteral("--high-speed")});
    expectError({QStringLiteral("--server"), QStringLiteral("--playlist"), QStringLiteral("f"),
                 QStringLiteral("--start-when-clients"), QStringLiteral("0")});
    expectError({QStringLiteral("--server"), QStringLiteral("--playlist"), QStringLiteral("f"),
                 QStringLiteral("--start-when-clients"), QStringLiteral("tre")});
}

TEST(CommandLineTest, HelpUnknownOptionsAndStrayArguments)
{
    const CommandLine::Result help = parse({QStringLiteral("--help")});
    EXPECT_EQ(help.outcome, CommandLine::Outcome::Help);
    EXPECT_TRUE(help.text.startsWith(QStringLiteral("Usage: tunvero")));
    EXPECT_TRUE(help.text.contains(QStringLiteral("--download-folder <dir>")));
    expectError({QStringLiteral("--serverr")});
    expectError({QStringLiteral("--headless"), QStringLiteral("extra")});
    EXPECT_TRUE(run({QStringLiteral("--download-folder"), QStringLiteral("/tmp/m")}).unattended);
}

TEST(CommandLineTest, HeadlessIsSeenBeforeTheApplicationExists)
{
    char program[] = "tunvero";
    char headless[] = "--headless";
    char server[] = "--server";
    char dash[] = "-headless";
    char *withIt[] = {program, server, headless};
    char *without[] = {program, server, dash};
    EXPECT_TRUE(CommandLine::wantsHeadless(3, withIt));
    EXPECT_FALSE(CommandLine::wantsHeadless(3, without));
    EXPECT_FALSE(CommandLine::wantsHeadless(1, withIt));
}
