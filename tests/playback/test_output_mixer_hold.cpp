// A song held to its timeline on a simulated sound card whose clock runs apart from ours or
// jumps: where each of its frames lands in the stream, and so when it is heard.
#include "TimedAudioOutput.h"

#include "playback/FrameTime.h"
#include "playback/OutputMixer.h"

#include <QAudioFormat>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

constexpr int kRate = 48000;
constexpr qint64 kFrameBytes = 4, kMs = 1000000, kSongFrames = 5 * kRate;

// A card that plays at its own rate (parts per million against our clock) from t0 on, and
// whose heard position moves back by `jumpNs` at `jumpAtNs` (headphones plugged in).
struct Card {
    double ppm = 0;
    qint64 jumpNs = 0;
    static constexpr qint64 t0 = 1000 * 1000 * kMs, jumpAtNs = t0 + 2200 * kMs;

    qint64 shiftAt(qint64 ns) const { return ns >= jumpAtNs ? jumpNs : 0; }
    qint64 heardFrame(qint64 ns) const
    {
        return qint64(std::floor(double(ns - t0 - shiftAt(ns)) * kRate * (1 + ppm * 1e-6) / 1e9));
    }
    // When stream frame `frame` is heard, knowing it is heard after `afterNs`.
    double heardNs(qint64 frame, qint64 afterNs) const
    {
        return double(t0 + shiftAt(afterNs)) + double(frame) * 1e9 / (kRate * (1 + ppm * 1e-6));
    }
};

// Frame k of the song carries k + 1 in its two samples, so the stream tells which frame went
// where (0: silence).
class CountingSource : public OutputMixer::Source {
public:
    qint64 fill(char *data, qint64 bytes) override
    {
        qint64 done = 0;
        for (; done + kFrameBytes <= bytes && m_next < kSongFrames; done += kFrameBytes, ++m_next) {
            const qint16 samples[2] = {qint16((m_next + 1) & 0x7fff), qint16((m_next + 1) >> 15)};
            std::memcpy(data + done, samples, kFrameBytes);
        }
        return done;
    }
    void tick() override {}
    void outputFailed() override {}
    void placed(const OutputMixerPlacement &placement) override { at = placement.streamByte; }
    void moved(qint64 streamByte) override { at = streamByte; }
    qint64 at = -1; // where it was told its first byte went

private:
    qint64 m_next = 0;
};

// The song frame at stream frame f; -1 for silence.
qint64 songFrameAt(const QByteArray &stream, qint64 f)
{
    qint16 samples[2];
    std::memcpy(samples, stream.constData() + f * kFrameBytes, kFrameBytes);
    return (qint64(samples[0]) | qint64(samples[1]) << 15) - 1;
}

QAudioFormat songFormat()
{
    QAudioFormat format;
    format.setSampleRate(kRate);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

// A mixer on a timed output, which `output` then points to.
OutputMixer timedMixer(TimedAudioOutput *&output)
{
    return OutputMixer(
        [&output] {
            auto made = std::make_unique<TimedAudioOutput>();
            output = made.get();
            return made;
        },
        songFormat());
}

// Plays the song held to start + its own time on `card`, and answers the worst distance between
// when a frame is heard and when it is due, leaving out frames due from just before the jump
// to a second after it.
double worstOffNs(const Card &card)
{
    TimedAudioOutput *output = nullptr;
    OutputMixer mixer = timedMixer(output);
    EXPECT_TRUE(mixer.ensureStarted());
    output->now = {0, Card::t0};
    CountingSource song;
    const qint64 startNs = Card::t0 + 200 * kMs;
    mixer.add(&song, startNs);
    // The mixer is pumped every 10 ms, as its timer does.
    for (qint64 t = Card::t0; t < startNs + frameTime::nsOf(kSongFrames, kRate) + 300 * kMs; t += 10 * kMs) {
        output->now = {card.heardFrame(t) * kFrameBytes, t};
        mixer.pump();
    }
    double worst = 0;
    for (qint64 f = 0; f < output->stream.size() / kFrameBytes; ++f) {
        const qint64 k = songFrameAt(output->stream, f);
        const qint64 dueNs = startNs + frameTime::nsOf(k, kRate);
        if (k >= 0 && (dueNs < Card::jumpAtNs - 200 * kMs || dueNs >= Card::jumpAtNs + 1000 * kMs))
            worst = std::max(worst, std::abs(card.heardNs(f, dueNs) - double(dueNs)));
    }
    return worst;
}

} // namespace

TEST(OutputMixerHold, ASongKeepsItsTimelineOnACardThatRunsFastOrSlowOrJumps)
{
    // 200 ppm unheld would be 1 ms off by the end of the five seconds; a jump is made up within
    // a second.
    for (const Card card : {Card{200}, Card{-200}, Card{80}, Card{0, 30 * kMs}, Card{0, 5 * kMs}, Card{0, -5 * kMs}})
        EXPECT_LT(worstOffNs(card), 0.1 * kMs) << card.ppm << " ppm, jump of " << card.jumpNs / kMs << " ms";
}

TEST(OutputMixerHold, ASongNotBegunWhenItsClockMovesIsMovedWholeNotCut)
{
    // The clock the song was placed by, of a young stream, and the one reports give later,
    // before the song begins: the stream stands `shift` frames back (or on) of what was thought.
    for (const qint64 shift : {6, 40, -6}) {
        SCOPED_TRACE(shift);
        TimedAudioOutput *output = nullptr;
        OutputMixer mixer = timedMixer(output);
        ASSERT_TRUE(mixer.ensureStarted());
        const qint64 t0 = Card::t0, startNs = t0 + 200 * kMs;
        output->now = {0, t0};
        CountingSource song;
        mixer.add(&song, startNs);
        for (qint64 t = t0; t < startNs + 300 * kMs; t += 10 * kMs) {
            const qint64 frame = frameTime::framesIn(t - t0, kRate) - (t >= t0 + 50 * kMs ? shift : 0);
            output->now = {frame * kFrameBytes, t};
            mixer.pump();
        }
        // Its first frame is there, heard on its moment by the later clock, and the song knows where.
        qint64 first = 0;
        while (first < output->stream.size() / kFrameBytes && songFrameAt(output->stream, first) < 0)
            ++first;
        EXPECT_EQ(songFrameAt(output->stream, first), 0);
        EXPECT_EQ(songFrameAt(output->stream, first + 1), 1);
        EXPECT_EQ(first + shift, frameTime::framesIn(startNs - t0, kRate));
        EXPECT_EQ(song.at, first * kFrameBytes);
    }
}
