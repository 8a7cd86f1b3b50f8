// A song held to its timeline on a simulated sound card whose clock runs apart from ours or
// jumps: where each of its frames lands in the stream, and so when it is heard.
#include "playback/FrameTime.h"
#include "playback/OutputMixer.h"

#include <QAudioFormat>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

namespace {

constexpr int kRate = 48000;
constexpr qint64 kFrameBytes = 4;
constexpr qint64 kMs = 1000000;

// A card that plays at its own rate (parts per million against our clock) from t0 on, and
// whose heard position moves back by `jumpNs` at `jumpAtNs` (headphones plugged in).
struct Card {
    double ppm = 0;
    qint64 t0 = 0;
    qint64 jumpAtNs = 0;
    qint64 jumpNs = 0;

    qint64 shiftAt(qint64 ns) const { return jumpNs != 0 && ns >= jumpAtNs ? jumpNs : 0; }
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

class CardOutput : public AudioOutput {
public:
    bool start(const QAudioFormat &) override { return true; }
    qint64 bytesFree() override { return std::max<qint64>(0, kAhead - (stream.size() - now.heardByte)); }
    qint64 write(const char *data, qint64 bytes) override
    {
        const qint64 taken = std::min(bytes, bytesFree());
        stream.append(data, taken);
        return taken;
    }
    qint64 playedBytes() override { return now.heardByte; }
    std::optional<StreamTiming> timing() override { return now; }
    bool tellsTiming() const override { return true; }
    static constexpr qint64 kAhead = kRate * kFrameBytes / 10;
    QByteArray stream;
    StreamTiming now{0, 0};
};

// Frame k of the song carries k in its two samples, so the stream tells which frame went where.
class CountingSource : public OutputMixer::Source {
public:
    explicit CountingSource(qint64 frames) : m_frames(frames) {}
    qint64 fill(char *data, qint64 bytes) override
    {
        qint64 done = 0;
        for (; done + kFrameBytes <= bytes && m_next < m_frames; done += kFrameBytes, ++m_next) {
            const qint16 samples[2] = {qint16(m_next & 0x7fff), qint16(m_next >> 15)};
            std::memcpy(data + done, samples, kFrameBytes);
        }
        return done;
    }
    void tick() override {}
    void outputFailed() override {}
    void placed(const OutputMixerPlacement &) override {}

private:
    qint64 m_frames;
    qint64 m_next = 0;
};

qint64 songFrameAt(const QByteArray &stream, qint64 frame)
{
    qint16 samples[2];
    std::memcpy(samples, stream.constData() + frame * kFrameBytes, kFrameBytes);
    return qint64(samples[0]) | qint64(samples[1]) << 15;
}

// Plays a song of `seconds` held to start + its own time on `card`, and answers the worst
// distance between when a frame is heard and when it is due, over frames due from `checkFromNs`
// on, leaving out those due in [quietFromNs, quietToNs).
double worstOffNs(const Card &card, int seconds, qint64 checkFromNs, qint64 quietFromNs = 0, qint64 quietToNs = 0)
{
    QAudioFormat format;
    format.setSampleRate(kRate);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Int16);
    CardOutput *output = nullptr;
    OutputMixer mixer(
        [&output] {
            auto made = std::make_unique<CardOutput>();
            output = made.get();
            return made;
        },
        format);
    qint64 t = card.t0;
    EXPECT_TRUE(mixer.ensureStarted());
    output->now = {0, t};
    CountingSource song(qint64(seconds) * kRate);
    const qint64 startNs = card.t0 + 200 * kMs;
    mixer.add(&song, startNs);
    // The mixer is pumped every 10 ms, as its timer does.
    std::vector<std::pair<qint64, qint64>> writtenAt; // stream frame written by then, moment
    for (; t < startNs + qint64(seconds) * 1000 * kMs + 300 * kMs; t += 10 * kMs) {
        output->now = {card.heardFrame(t) * kFrameBytes, t};
        mixer.pump();
        writtenAt.emplace_back(output->stream.size() / kFrameBytes, t);
    }
    double worst = 0;
    qint64 frames = output->stream.size() / kFrameBytes;
    for (qint64 f = 0; f < frames; ++f) {
        const qint64 k = songFrameAt(output->stream, f);
        if (k == 0)
            continue; // silence (or the first frame)
        const qint64 dueNs = startNs + frameTime::nsOf(k, kRate);
        if (dueNs < checkFromNs || (dueNs >= quietFromNs && dueNs < quietToNs))
            continue;
        worst = std::max(worst, std::abs(card.heardNs(f, dueNs) - double(dueNs)));
    }
    return worst;
}

} // namespace

TEST(OutputMixerHold, ASongKeepsItsTimelineOnACardThatRunsFastOrSlow)
{
    // 200 ppm unheld would be 1.2 ms off by the end of six seconds.
    for (const double ppm : {200.0, -200.0, 80.0}) {
        Card card{ppm, 1000 * 1000 * kMs};
        EXPECT_LT(worstOffNs(card, 6, 0), 0.1 * kMs) << ppm << " ppm";
    }
}

TEST(OutputMixerHold, ACardThatJumpsIsFollowedWithinASecond)
{
    for (const qint64 jumpNs : {30 * kMs, 5 * kMs, -5 * kMs}) {
        Card card{0, 1000 * 1000 * kMs};
        card.jumpAtNs = card.t0 + 2200 * kMs;
        card.jumpNs = jumpNs;
        EXPECT_LT(worstOffNs(card, 5, 0, card.jumpAtNs - 200 * kMs, card.jumpAtNs + 1000 * kMs), 0.1 * kMs)
            << jumpNs / kMs << " ms";
    }
}
