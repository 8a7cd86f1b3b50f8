// A thread left at real-time priority would starve every other process of a core.
#include "platform/RealtimeSection.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>

TEST(RealtimeSection, TheThreadIsOrdinaryAgainAfterwardsWhetherOrNotItWasAllowed)
{
    int before = -1;
    sched_param param{};
    ASSERT_EQ(pthread_getschedparam(pthread_self(), &before, &param), 0);
    {
        const RealtimeSection section;
        int during = -1;
        ASSERT_EQ(pthread_getschedparam(pthread_self(), &during, &param), 0);
        EXPECT_EQ(during, section.active() ? SCHED_FIFO : before);
        // Nested (a broadcast from within a broadcast's handler): the inner one keeps the outer's.
        {
            const RealtimeSection inner;
            EXPECT_FALSE(inner.active());
        }
        ASSERT_EQ(pthread_getschedparam(pthread_self(), &during, &param), 0);
        EXPECT_EQ(during, section.active() ? SCHED_FIFO : before);
    }
    int after = -1;
    ASSERT_EQ(pthread_getschedparam(pthread_self(), &after, &param), 0);
    EXPECT_EQ(after, before);
}
