#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

// The program's name, then `line` split at '|' (so blanks and empty words can be given).
CommandLine::Result parse(const char *line)
{
    QStringList arguments{QStringLiteral("tunvero")};
    if (*line)
        arguments += QString::fromUtf8(line).split(QLatin1Char('|'));
    return CommandLine::parse(arguments);
}

CommandLine::Options run(const char *line)
{
    const CommandLine::Result result = parse(line);
    EXPECT_EQ(result.outcome, CommandLine::Outcome::Run) << line << ": " << result.text.toStdString();
    return result.options;
}

} // namespace

TEST(CommandLineTest, OptionsAreTakenApartAsMeant)
{
    EXPECT_FALSE(run("").unattended);
    CommandLine::Options o = run("--client|127.0.0.1:40123");
    EXPECT_TRUE(o.unattended && o.client);
    EXPECT_EQ(o.clientHost, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(o.clientPort, 40123);
    // An IPv6 address is a host, not a host and a port.
    o = run("--client|::1");
    EXPECT_EQ(o.clientHost, QStringLiteral("::1"));
    EXPECT_FALSE(o.clientPort.has_value());
    EXPECT_EQ(run("--headless|--port|65535").port, 65535);

    EXPECT_EQ(run("--server").startWhenClients, 1);
    EXPECT_EQ(parse("--help").outcome, CommandLine::Outcome::Help);
}

TEST(CommandLineTest, WhatCannotBeMeantIsRefusedWithAReason)
{
    // Options that only make sense with nobody at the screen, bad ports, run options without
    // a server or a playlist, unknown options and stray words.
    for (const char *line : {"--event-log|/tmp/x", "--port|5000", "--quit-after-stop", "--client|:49931",
                             "--client|host:", "--client|host:65536", "--headless|--port|+80",
                             "--playlist|fest.tunvero", "--client|x|--play-when-loaded", "--server|--high-speed",
                             "--server|--playlist|f|--start-when-clients|tre", "--serverr", "--headless|extra"}) {
        const CommandLine::Result result = parse(line);
        EXPECT_EQ(result.outcome, CommandLine::Outcome::Error) << line;
        EXPECT_FALSE(result.text.isEmpty()) << line;
    }
}

TEST(CommandLineTest, HeadlessIsSeenBeforeTheApplicationExists)
{
    char program[] = "tunvero", headless[] = "--headless", dash[] = "-headless";
    char *withIt[] = {program, headless};
    char *without[] = {program, dash};
    EXPECT_TRUE(CommandLine::wantsHeadless(2, withIt));
    EXPECT_FALSE(CommandLine::wantsHeadless(2, without) || CommandLine::wantsHeadless(1, withIt));
}
