#include "core/RunClock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>

namespace {

constexpr qint64 ms = 1'000'000, second = 1000 * ms, hour = 3600 * second;

struct Server {
    qint64 offsetNs;
    double rate;
    double drift = 0; // change of the rate per second: a crystal warming up
};

// Each way takes the base delay and a small jitter; some exchanges take up to 10 ms more,
// split at random between the ways, or up to 50 ms more on one way; a file transfer delays
// every exchange on one way by 5-50 ms for a while, every `burstEveryNs`.
struct Link {
    qint64 baseNs = 1 * ms;
    qint64 backExtraNs = 0; // a constant asymmetry
    double jitterNs = 20'000, noisyShare = 0, oneSidedShare = 0;
    qint64 burstFirstNs = 20 * second, burstEveryNs = 0;
    double burstSeconds[2] = {3, 10};
};

struct Worst {
    qint64 readyAfterNs = -1; // since the start, or since the step
    qint64 errorNs = 0;       // while ready
    qint64 rawErrorNs = 0;    // of each exchange's own offset
};

class Simulation {
public:
    static constexpr qint64 startNs = 72 * hour + 1234567;

    Simulation(Server server, Link link, quint64 seed) : m_server(server), m_link(link), m_random(seed) {}

    qint64 serverNs(qint64 localNs) const
    {
        const long double sinceNs = localNs - startNs;
        return localNs + m_server.offsetNs + std::llround(sinceNs * (m_server.rate + sinceNs * m_server.drift / 2e9L));
    }

    // Asks as the client does (every 100 ms for a second, then every 0.5-1 s) and checks the
    // answers at each arrival, before and after taking the exchange, for then and half a second
    // later. The server's clock jumps by `stepNs` at `stepAtNs`.
    Worst run(RunClock &clock, qint64 durationNs, qint64 stepAtNs = -1, qint64 stepNs = 0)
    {
        Worst worst;
        qint64 burstNs = m_link.burstFirstNs, burstEndNs = burstNs + burstLength(), sinceNs = startNs;
        bool burstBack = uniform(0, 1) < 0.5;
        for (qint64 ask = 0, askNs = startNs; askNs < startNs + durationNs; ++ask) {
            const bool stepped = stepAtNs >= 0 && askNs >= startNs + stepAtNs;
            if (stepped) {
                m_server.offsetNs += stepNs;
                stepAtNs = -1;
                sinceNs = askNs;
                worst.readyAfterNs = -1;
            }
            if (m_link.burstEveryNs > 0 && askNs - startNs > burstEndNs) {
                burstNs += m_link.burstEveryNs;
                burstEndNs = burstNs + burstLength();
                burstBack = uniform(0, 1) < 0.5;
            }
            double outNs = double(m_link.baseNs) + exponential(m_link.jitterNs);
            double backNs = double(m_link.baseNs + m_link.backExtraNs) + exponential(m_link.jitterNs);
            if (uniform(0, 1) < m_link.noisyShare) {
                const double extraNs = uniform(0, 10 * ms), share = uniform(0, 1);
                outNs += extraNs * share;
                backNs += extraNs * (1 - share);
            }
            if (uniform(0, 1) < m_link.oneSidedShare)
                (uniform(0, 1) < 0.5 ? outNs : backNs) += uniform(0, 50 * ms);
            if (m_link.burstEveryNs > 0 && askNs - startNs >= burstNs && askNs - startNs <= burstEndNs)
                (burstBack ? backNs : outNs) += uniform(5 * ms, 50 * ms);
            const qint64 arriveNs = askNs + qint64(outNs), answerNs = arriveNs + qint64(uniform(20'000, 200'000));
            const qint64 backAtNs = answerNs + qint64(backNs), midNs = (askNs + backAtNs) / 2;
            const RunClock::Exchange exchange{askNs, serverNs(arriveNs), serverNs(answerNs), backAtNs};
            const qint64 rawNs = (exchange.serverReceivedNs + exchange.serverSentNs) / 2 - midNs;
            worst.rawErrorNs = std::max(worst.rawErrorNs, std::abs(rawNs - (serverNs(midNs) - midNs)));

            if (!stepped) // no estimate can know of a step before an exchange shows it
                check(clock, backAtNs, worst);
            EXPECT_TRUE(clock.add(exchange));
            check(clock, backAtNs, worst);
            if (clock.ready() && worst.readyAfterNs < 0)
                worst.readyAfterNs = backAtNs - sinceNs;
            askNs += ask < 10 ? 100 * ms : qint64(uniform(500 * ms, 1000 * ms));
        }
        return worst;
    }

private:
    void check(const RunClock &clock, qint64 nowNs, Worst &worst) const
    {
        if (!clock.ready()) {
            EXPECT_EQ(clock.serverAt(nowNs), std::nullopt);
            EXPECT_EQ(clock.rate(), 0.0);
            return;
        }
        const qint64 aheadNs = nowNs + 500 * ms;
        const std::optional<qint64> server = clock.serverAt(nowNs), local = clock.localAt(serverNs(aheadNs));
        ASSERT_TRUE(server && local);
        worst.errorNs = std::max({worst.errorNs, std::abs(*server - serverNs(nowNs)), std::abs(*local - aheadNs)});
    }

    qint64 burstLength() { return qint64(uniform(m_link.burstSeconds[0], m_link.burstSeconds[1]) * second); }
    double uniform(double low, double high) { return low + (high - low) * double(m_random() >> 11) * 0x1.0p-53; }
    double exponential(double mean) { return -mean * std::log(1 - uniform(0, 1)); }

    Server m_server;
    Link m_link;
    std::mt19937_64 m_random;
};

// Ten minutes per base delay and server: offsets of hours and days, rates of ±200 ppm and 0,
// and one that drifts 6 ppm in the ten minutes. Returns the worst of each figure.
Worst runAll(const Link &link, quint64 seed, std::initializer_list<qint64> basesNs, bool drifting = true)
{
    const Server servers[] = {{3 * hour, 200e-6}, {-70 * hour, -200e-6}, {49 * hour, 0}, {-5 * hour, -150e-6, 1e-8}};
    Worst all;
    for (const qint64 baseNs : basesNs) {
        for (const Server &server : servers) {
            if (server.drift != 0 && !drifting)
                continue;
            SCOPED_TRACE(testing::Message() << "base " << baseNs << " ns, rate " << server.rate << ", seed " << seed);
            RunClock clock;
            Link withBase = link;
            withBase.baseNs = baseNs;
            const Worst worst = Simulation(server, withBase, seed++).run(clock, 600 * second);
            EXPECT_GE(worst.readyAfterNs, 0);
            EXPECT_LE(worst.errorNs, 100'000);
            all = {std::max(all.readyAfterNs, worst.readyAfterNs), std::max(all.errorNs, worst.errorNs),
                   std::max(all.rawErrorNs, worst.rawErrorNs)};
        }
    }
    std::printf("[ measured ] ready after %.3f s, worst error %.1f us, of single exchanges %.1f us\n",
                double(all.readyAfterNs) / 1e9, double(all.errorNs) / 1e3, double(all.rawErrorNs) / 1e3);
    return all;
}

} // namespace

TEST(RunClockTest, CleanLinksAreFollowedWithinATenthOfAMillisecondAfterAboutASecond)
{
    EXPECT_LE(runAll(Link(), 1, {500'000, 1 * ms, 8 * ms}).readyAfterNs, 1200 * ms);
}

TEST(RunClockTest, DelaysOnOneWayAndFileTransfersDoNotMoveIt)
{
    Link link;
    link.noisyShare = 0.3;
    link.oneSidedShare = 0.1;
    link.burstEveryNs = 60 * second;
    const Worst worst = runAll(link, 100, {500'000, 2 * ms, 8 * ms});
    EXPECT_LE(worst.readyAfterNs, 10 * second);
    EXPECT_GT(worst.rawErrorNs, 20 * ms); // taken as they come, the exchanges would be far off

    // Five minutes of transfer are crossed on the rate (a crystal warming up meanwhile is not).
    link.burstFirstNs = 60 * second;
    link.burstEveryNs = hour;
    link.burstSeconds[0] = link.burstSeconds[1] = 300;
    runAll(link, 200, {1 * ms, 8 * ms}, false);
}

TEST(RunClockTest, ExactStampsKeepNanosecondsAndAConstantAsymmetryShowsAsHalfOfIt)
{
    Link link;
    link.jitterNs = 0;
    const Server farAndFast{-70 * hour, 200e-6};
    RunClock clock;
    EXPECT_LE(Simulation(farAndFast, link, 1).run(clock, 600 * second).errorNs, 2);
    EXPECT_NEAR(clock.rate(), 200e-6, 1e-11);

    link.backExtraNs = 2 * ms;
    clock.clear();
    EXPECT_NEAR(Simulation(farAndFast, link, 1).run(clock, 60 * second).errorNs, 1'000'200, 2); // server ns
}

TEST(RunClockTest, AbsurdExchangesAreIgnoredAndClearForgetsTheServer)
{
    RunClock clock;
    Simulation({3 * hour, 100e-6}, Link(), 7).run(clock, 30 * second);
    ASSERT_TRUE(clock.ready());
    const qint64 nowNs = Simulation::startNs + 31 * second, serverNs = *clock.serverAt(nowNs);
    const qint64 otherNs = serverNs + 10 * second;
    for (const RunClock::Exchange &absurd : {
             RunClock::Exchange{nowNs, otherNs, otherNs + 1000, nowNs - 1},        // back before it left
             RunClock::Exchange{nowNs, otherNs, otherNs - 1, nowNs + 2 * ms},      // answered before asked
             RunClock::Exchange{nowNs, otherNs, otherNs + 3 * ms, nowNs + 2 * ms}, // held longer than away
             RunClock::Exchange{nowNs, otherNs, otherNs + 1000, nowNs + 6 * second},
             RunClock::Exchange{-2 * ms, otherNs, otherNs + 1000, nowNs},
             RunClock::Exchange{nowNs, otherNs, std::numeric_limits<qint64>::max(), nowNs + 2 * ms},
         })
        EXPECT_FALSE(clock.add(absurd));
    EXPECT_TRUE(clock.ready());
    EXPECT_EQ(clock.serverAt(nowNs), serverNs);

    clock.clear();
    EXPECT_FALSE(clock.ready());
    EXPECT_EQ(clock.serverAt(nowNs), std::nullopt);
    EXPECT_EQ(clock.localAt(serverNs), std::nullopt);
    EXPECT_EQ(clock.localAtRoughly(serverNs), std::nullopt);
    EXPECT_EQ(clock.rate(), 0.0);
    // Before it is ready, the quickest exchange answers roughly: a slow one (3 ms out, 1 ms
    // back) is off by 1 ms, the quick one (0.2 ms each way) by nothing.
    ASSERT_TRUE(clock.add({nowNs, serverNs + 3 * ms, serverNs + 3 * ms, nowNs + 4 * ms}));
    ASSERT_TRUE(clock.add(
        {nowNs + 10 * ms, serverNs + 10 * ms + 200'000, serverNs + 10 * ms + 300'000, nowNs + 10 * ms + 500'000}));
    EXPECT_FALSE(clock.ready());
    EXPECT_EQ(clock.localAt(serverNs), std::nullopt);
    EXPECT_EQ(clock.localAtRoughly(serverNs + 5 * second), nowNs + 5 * second);
    clock.clear();
    const Worst worst = Simulation({-20 * hour, -180e-6}, Link(), 8).run(clock, 60 * second);
    EXPECT_LE(worst.readyAfterNs, 1200 * ms);
    EXPECT_LE(worst.errorNs, 100'000);
}

TEST(RunClockTest, AStepOfTheClocksIsFollowedAfterThreeExchanges)
{
    // Our computer slept for 40 s: our clock stood still while the server's went on.
    RunClock clock;
    Link link;
    link.noisyShare = 0.3;
    const Worst worst = Simulation({3 * hour, 50e-6}, link, 9).run(clock, 300 * second, 120 * second, 40 * second);
    EXPECT_GE(worst.readyAfterNs, 0);
    EXPECT_LE(worst.readyAfterNs, 10 * second);
    EXPECT_LE(worst.errorNs, 100'000);
}
