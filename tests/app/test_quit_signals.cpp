#include "app/QuitSignals.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

TEST(QuitSignalsTest, TermAndInterruptArriveOnTheEventLoop)
{
    QuitSignals signals;
    ASSERT_TRUE(signals.isActive());
    // One at a time, as a second owner would take the handlers from the first.
    QuitSignals second;
    EXPECT_FALSE(second.isActive());

    QSignalSpy received(&signals, &QuitSignals::received);
    ASSERT_EQ(std::raise(SIGTERM), 0);
    ASSERT_EQ(std::raise(SIGINT), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return received.size() >= 2; }, 10000));
    EXPECT_EQ(received[0][0].toInt(), SIGTERM);
    EXPECT_EQ(received[1][0].toInt(), SIGINT);
}
