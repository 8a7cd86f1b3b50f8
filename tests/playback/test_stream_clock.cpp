// The stream clock behind a scheduled start: reports from a busy sound server scatter, and a
// shop's stream runs for weeks.
#include "playback/StreamClock.h"

#include <gtest/gtest.h>

namespace {

constexpr qint64 msNs = 1000000;
constexpr qint64 dayNs = 24 * 3600 * frameTime::nsPerSecond;

// Reports every 25 ms of a stream whose frame 0 was heard at originNs; every third is off by
// up to 5 ms, early or late, as reports from a loaded server are.
void feed(StreamClock &clock, qint64 originNs, qint64 fromNs, int reports)
{
    for (int i = 0; i < reports; ++i) {
        const qint64 off = i % 3 == 0 ? (i % 2 ? 5 : -4) * msNs + i * 1000 : 0;
        clock.report(originNs + off, fromNs + i * 25 * msNs);
    }
}

} // namespace

TEST(StreamClock, ScatteredReportsGiveTheStreamsOwnFrameEvenAfterDays)
{
    struct Case {
        int rate;
        int frameBytes;
        qint64 runningNs; // how long the stream has played
    };
    for (const Case c : {Case{44100, 4, 2 * frameTime::nsPerSecond}, Case{48000, 2, 40 * dayNs},
                         Case{32000, 4, 3 * dayNs + 123456789}}) {
        SCOPED_TRACE(c.rate);
        const qint64 originNs = 5 * dayNs + 777;
        StreamClock clock(c.rate, c.frameBytes);
        const qint64 fromNs = originNs + c.runningNs;
        feed(clock, originNs, fromNs, 40);

        const qint64 nowNs = fromNs + 40 * 25 * msNs;
        const std::optional<StreamTiming> t = clock.at(nowNs);
        ASSERT_TRUE(t);
        EXPECT_EQ(t->heardByte, frameTime::framesIn(nowNs - originNs, c.rate) * c.frameBytes);
        EXPECT_EQ(t->heardByte % c.frameBytes, 0);
        EXPECT_LE(t->atNs, nowNs);
        EXPECT_LT(nowNs - t->atNs, frameTime::nsPerSecond / c.rate + 1);
    }
}

TEST(StreamClock, TellsNothingUntilEnoughRecentReports)
{
    StreamClock clock(44100, 4);
    const qint64 originNs = 10 * frameTime::nsPerSecond;
    feed(clock, originNs, originNs, StreamClock::enough - 1);
    EXPECT_FALSE(clock.at(originNs + 200 * msNs));
    feed(clock, originNs, originNs + 100 * msNs, 1);
    EXPECT_TRUE(clock.at(originNs + 200 * msNs));
    // A server that stopped answering leaves the clock without a word rather than a stale one.
    EXPECT_FALSE(clock.at(originNs + 3 * frameTime::nsPerSecond));

    // Before a young stream's first frame is heard: that frame, and its moment to come.
    const StreamTiming ahead = clock.standing(originNs, originNs - 20 * msNs);
    EXPECT_EQ(ahead.heardByte, 0);
    EXPECT_EQ(ahead.atNs, originNs);
}

TEST(StreamClock, ReportsSpreadOverABlockGiveTheBlocksMiddle)
{
    // A server that moves the stream on 512 frames at a time: a report tells the first frame's
    // moment as late as its place in the block makes it. A young stream's few reports fell
    // mostly early in their blocks, as they happen to.
    constexpr int rate = 44100;
    const qint64 blockNs = frameTime::nsOf(512, rate);
    const qint64 originNs = 3 * dayNs;
    StreamClock clock(rate, 4);
    const double places[] = {0.02, 0.05, 0.1, 0.14, 0.2, 0.23, 0.3, 0.55, 0.8, 0.99, 0.93, 0.7};
    qint64 receivedNs = originNs + frameTime::nsPerSecond;
    for (const double place : places) {
        clock.report(originNs + qint64(place * double(blockNs)), receivedNs);
        receivedNs += 8 * msNs;
    }
    const auto frameZeroNs = [&clock, &receivedNs] {
        const std::optional<StreamTiming> t = clock.at(receivedNs);
        return t ? t->atNs - frameTime::nsOf(t->heardByte / 4, rate) : 0;
    };
    EXPECT_LT(std::abs(frameZeroNs() - (originNs + blockNs / 2)), 300000);

    // A settled stream's reports cover its blocks evenly; three slow answers in a row fall not
    // far past a block's end.
    for (int i = 0; i < 123; ++i) {
        const double place = i < 120 ? i / 120.0 : 1.4;
        clock.report(originNs + qint64(place * double(blockNs)), receivedNs);
        receivedNs += 8 * msNs;
    }
    EXPECT_LT(std::abs(frameZeroNs() - (originNs + blockNs / 2)), 300000);
}
