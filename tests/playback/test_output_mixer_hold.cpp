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

// Frame k of the song carries k in its two samples, so the stream tells which frame went where.
class CountingSource : public OutputMixer::Source {
public:
    qint64 fill(char *data, qint64 bytes) override
    {
        qint64 done = 0;
        for (; done + kFrameBytes <= bytes && m_next < kSongFrames; done += kFrameBytes, ++m_next) {
            const qint16 samples[2] = {qint16(m_next & 0x7fff), qint16(m_next >> 15)};
            std::memcpy(data + done, samples, kFrameBytes);
        }
        return done;
    }
    void tick() override {}
    void outputFailed() override {}
    void placed(const OutputMixerPlacement &) override {}

private:
    qint64 m_next = 0;
};

// Plays the song held to start + its own time on `card`, and answers the worst distance between
// when a frame is heard and when it is due, leaving out frames due from just before the jump
// to a second after it.
double worstOffNs(const Card &card)
{
    QAudioFormat format;
    format.setSampleRate(kRate);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Int16);
    TimedAudioOutput *output = nullptr;
    OutputMixer mixer(
        [&output] {
            auto made = std::make_unique<TimedAudioOutput>();
            output = made.get();
            return made;
        },
        format);
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
        qint16 samples[2];
        std::memcpy(samples, output->stream.constData() + f * kFrameBytes, kFrameBytes);
        const qint64 k = qint64(samples[0]) | qint64(samples[1]) << 15; // 0: silence (or the first frame)
        const qint64 dueNs = startNs + frameTime::nsOf(k, kRate);
        if (k > 0 && (dueNs < Card::jumpAtNs - 200 * kMs || dueNs >= Card::jumpAtNs + 1000 * kMs))
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
