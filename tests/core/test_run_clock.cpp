#include "core/RunClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

namespace {

constexpr qint64 ms = 1'000'000, second = 1000 * ms, hour = 3600 * second, startNs = 72 * hour + 1234567;

struct Server {
    qint64 offsetNs;
    double rate;
    double drift = 0; // change of the rate per second: a crystal warming up
};

// Each way takes the base delay and a small jitter; some exchanges take up to 10 ms more,
// split at random between the ways, or up to 50 ms more on one way; a file transfer delays
// every exchange on one way by 5-50 ms for `burstNs`, every `burstEveryNs`.
struct Link {
    qint64 baseNs = 1 * ms, backExtraNs = 0; // the latter a constant asymmetry
    double jitterNs = 20'000, noisyShare = 0, oneSidedShare = 0;
    double radioNs = 0; // each way up to this much more, evenly at random: a busy radio
    qint64 burstFirstNs = 20 * second, burstEveryNs = 0, burstNs = 10 * second;
};

struct Worst {
    qint64 readyAfterNs = -1; // since the start, or since the step
    qint64 errorNs = 0;       // while ready
    qint64 rawErrorNs = 0;    // of each exchange's own offset
    qint64 roughErrorNs = 0;  // of localAtRoughly, from a second after the start on
};

// Asks as the client does (every 10 ms for two seconds, then every 0.25-0.5 s) and checks the
// answers at each arrival, before and after taking the exchange, for then and half a second
// later. The server's clock jumps by `stepNs` at `stepAtNs`.
Worst simulate(RunClock &clock, Server server, const Link &link, quint64 seed, qint64 durationNs, qint64 stepAtNs = -1,
               qint64 stepNs = 0)
{
    std::mt19937_64 random(seed);
    const auto uniform = [&](double low, double high) {
        return low + (high - low) * double(random() >> 11) * 0x1.0p-53;
    };
    const auto serverAt = [&](qint64 localNs) {
        const long double sinceNs = localNs - startNs;
        return localNs + server.offsetNs + std::llround(sinceNs * (server.rate + sinceNs * server.drift / 2e9L));
    };
    Worst worst;
    const auto check = [&](qint64 nowNs) {
        const qint64 aheadNs = nowNs + 500 * ms;
        const std::optional<qint64> there = clock.serverAt(nowNs), here = clock.localAt(serverAt(aheadNs));
        if (!clock.ready()) {
            EXPECT_TRUE(!there && !here && clock.rate() == 0.0);
            return;
        }
        ASSERT_TRUE(there && here);
        worst.errorNs = std::max({worst.errorNs, std::abs(*there - serverAt(nowNs)), std::abs(*here - aheadNs)});
    };
    qint64 sinceNs = startNs;
    for (qint64 ask = 0, askNs = startNs; askNs < startNs + durationNs; ++ask) {
        const bool stepped = stepAtNs >= 0 && askNs >= startNs + stepAtNs;
        if (stepped) {
            server.offsetNs += stepNs;
            stepAtNs = -1;
            sinceNs = askNs;
            worst.readyAfterNs = -1;
        }
        const auto wayNs = [&](qint64 baseNs) {
            return double(baseNs) - link.jitterNs * std::log(1 - uniform(0, 1)) + uniform(0, link.radioNs);
        };
        double outNs = wayNs(link.baseNs), backNs = wayNs(link.baseNs + link.backExtraNs);
        if (uniform(0, 1) < link.noisyShare) {
            const double extraNs = uniform(0, 10 * ms), share = uniform(0, 1);
            outNs += extraNs * share;
            backNs += extraNs * (1 - share);
        }
        if (uniform(0, 1) < link.oneSidedShare)
            (uniform(0, 1) < 0.5 ? outNs : backNs) += uniform(0, 50 * ms);
        const qint64 burstNs = askNs - startNs - link.burstFirstNs;
        if (link.burstEveryNs > 0 && burstNs >= 0 && burstNs % link.burstEveryNs < link.burstNs)
            ((burstNs / link.burstEveryNs + seed) % 2 ? backNs : outNs) += uniform(5 * ms, 50 * ms);
        const qint64 arriveNs = askNs + qint64(outNs), answerNs = arriveNs + qint64(uniform(20'000, 200'000));
        const qint64 backAtNs = answerNs + qint64(backNs), midNs = (askNs + backAtNs) / 2;
        const RunClock::Exchange exchange{askNs, serverAt(arriveNs), serverAt(answerNs), backAtNs};
        const qint64 rawNs = (exchange.serverReceivedNs + exchange.serverSentNs) / 2;
        worst.rawErrorNs = std::max(worst.rawErrorNs, std::abs(rawNs - serverAt(midNs)));

        if (!stepped) // no estimate can know of a step before an exchange shows it
            check(backAtNs);
        EXPECT_TRUE(clock.add(exchange));
        check(backAtNs);
        if (const std::optional<qint64> roughly = clock.localAtRoughly(serverAt(backAtNs + 200 * ms));
            roughly && backAtNs >= startNs + second)
            worst.roughErrorNs = std::max(worst.roughErrorNs, std::abs(*roughly - (backAtNs + 200 * ms)));
        if (clock.ready() && worst.readyAfterNs < 0)
            worst.readyAfterNs = backAtNs - sinceNs;
        askNs += ask < 200 ? 10 * ms : qint64(uniform(250 * ms, 500 * ms));
    }
    return worst;
}

void expectFollowed(const Worst &worst, qint64 readyWithinNs)
{
    EXPECT_TRUE(worst.readyAfterNs >= 0 && worst.readyAfterNs <= readyWithinNs) << worst.readyAfterNs;
    EXPECT_LE(worst.errorNs, 100'000);
}

// Ten minutes per base delay and server: offsets of hours and days, rates of ±200 ppm and 0,
// and one that drifts 6 ppm in the ten minutes. Returns the worst error of a single exchange.
qint64 runAll(Link link, quint64 seed, std::initializer_list<qint64> basesNs, qint64 readyWithinNs,
              bool drifting = true)
{
    const Server servers[] = {{3 * hour, 200e-6}, {-70 * hour, -200e-6}, {49 * hour, 0}, {-5 * hour, -150e-6, 1e-8}};
    qint64 rawErrorNs = 0;
    for (const qint64 baseNs : basesNs) {
        for (const Server &server : servers) {
            if (server.drift != 0 && !drifting)
                continue;
            SCOPED_TRACE(testing::Message() << "base " << baseNs << " ns, rate " << server.rate << ", seed " << seed);
            RunClock clock;
            link.baseNs = baseNs;
            const Worst worst = simulate(clock, server, link, seed++, 600 * second);
            expectFollowed(worst, readyWithinNs);
            rawErrorNs = std::max(rawErrorNs, worst.rawErrorNs);
        }
    }
    return rawErrorNs;
}

} // namespace

TEST(RunClockTest, CleanLinksAreFollowedWithinATenthOfAMillisecondAfterAboutASecond)
{
    runAll(Link(), 1, {500'000, 1 * ms, 8 * ms}, 1200 * ms);
}

TEST(RunClockTest, DelaysOnOneWayAndFileTransfersDoNotMoveIt)
{
    Link link;
    link.noisyShare = 0.3;
    link.oneSidedShare = 0.1;
    link.burstEveryNs = 60 * second;
    // Taken as they come, the exchanges would be far off.
    EXPECT_GT(runAll(link, 100, {500'000, 2 * ms, 8 * ms}, 10 * second), 20 * ms);

    // Five minutes of transfer are crossed on the rate (a crystal warming up meanwhile is not).
    link.burstFirstNs = 60 * second;
    link.burstEveryNs = hour;
    link.burstNs = 300 * second;
    runAll(link, 200, {1 * ms, 8 * ms}, 10 * second, false);
}

TEST(RunClockTest, OnABusyRadioTheQuickestWayOutAndTheQuickestWayBackPinItFromTheFirstSecond)
{
    // No exchange is quick both ways, yet each way alone often is.
    Link link;
    link.radioNs = 10 * ms;
    qint64 seed = 300;
    for (const double rate : {0.0, 40e-6, -40e-6}) {
        for (int run = 0; run < 4; ++run) {
            SCOPED_TRACE(testing::Message() << "rate " << rate << ", seed " << seed);
            RunClock clock;
            const Worst worst = simulate(clock, {11 * hour, rate}, link, seed++, 60 * second);
            EXPECT_LE(worst.roughErrorNs, 1 * ms);
            EXPECT_GT(worst.rawErrorNs, 4 * ms);
        }
    }
}

TEST(RunClockTest, ExactStampsKeepNanosecondsAndAConstantAsymmetryShowsAsHalfOfIt)
{
    Link link;
    link.jitterNs = 0;
    const Server farAndFast{-70 * hour, 200e-6};
    RunClock clock;
    EXPECT_LE(simulate(clock, farAndFast, link, 1, 600 * second).errorNs, 2);
    EXPECT_NEAR(clock.rate(), 200e-6, 1e-11);

    link.backExtraNs = 2 * ms;
    clock.clear();
    EXPECT_NEAR(simulate(clock, farAndFast, link, 1, 60 * second).errorNs, 1'000'200, 2); // server ns
}

TEST(RunClockTest, AbsurdExchangesAreIgnoredAndClearForgetsTheServer)
{
    RunClock clock;
    simulate(clock, {3 * hour, 100e-6}, Link(), 7, 30 * second);
    ASSERT_TRUE(clock.ready());
    const qint64 nowNs = startNs + 31 * second, serverNs = *clock.serverAt(nowNs), otherNs = serverNs + 10 * second;
    for (const RunClock::Exchange &absurd : {
             RunClock::Exchange{nowNs, otherNs, otherNs + 1000, nowNs - 1},        // back before it left
             RunClock::Exchange{nowNs, otherNs, otherNs - 1, nowNs + 2 * ms},      // answered before asked
             RunClock::Exchange{nowNs, otherNs, otherNs + 3 * ms, nowNs + 2 * ms}, // held longer than away
             RunClock::Exchange{nowNs, otherNs, otherNs + 1000, nowNs + 6 * second},
             RunClock::Exchange{-2 * ms, otherNs, otherNs + 1000, nowNs},
             RunClock::Exchange{nowNs, otherNs, std::numeric_limits<qint64>::max(), nowNs + 2 * ms},
         })
        EXPECT_FALSE(clock.add(absurd));
    EXPECT_EQ(clock.serverAt(nowNs), serverNs);

    clock.clear();
    EXPECT_FALSE(clock.ready());
    EXPECT_EQ(clock.localAtRoughly(serverNs), std::nullopt);
    // Before it is ready, the quickest exchange answers roughly: a slow one (3 ms out, 1 ms
    // back) is off by 1 ms, the quick one (0.2 ms each way) by nothing.
    ASSERT_TRUE(clock.add({nowNs, serverNs + 3 * ms, serverNs + 3 * ms, nowNs + 4 * ms}));
    ASSERT_TRUE(clock.add(
        {nowNs + 10 * ms, serverNs + 10 * ms + 200'000, serverNs + 10 * ms + 300'000, nowNs + 10 * ms + 500'000}));
    EXPECT_EQ(clock.localAt(serverNs), std::nullopt);
    EXPECT_EQ(clock.localAtRoughly(serverNs + 5 * second), nowNs + 5 * second);
    clock.clear();
    expectFollowed(simulate(clock, {-20 * hour, -180e-6}, Link(), 8, 60 * second), 1200 * ms);
}

TEST(RunClockTest, AStepOfTheClocksIsFollowedAfterThreeExchanges)
{
    // Our computer slept for 40 s: our clock stood still while the server's went on.
    RunClock clock;
    Link link;
    link.noisyShare = 0.3;
    expectFollowed(simulate(clock, {3 * hour, 50e-6}, link, 9, 300 * second, 120 * second, 40 * second), 10 * second);
}
