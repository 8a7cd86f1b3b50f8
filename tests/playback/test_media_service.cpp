// The media service against generated songs: lengths, what a play hands to the output, stop
// and replay, ranges, bad files, several devices at once and outputs that fail or keep time.
#include "RecordingAudioOutput.h"
#include "TestSongs.h"
#include "TimedAudioOutput.h"
#include "VbriSong.h"

#include "playback/MediaError.h"
#include "playback/MediaService.h"
#include "playback/ModMultimedia.h"
#include "playback/Mp3Decoder.h"
#include "playback/StartPlacement.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr int kWaitCapMs = 60000;

QByteArray decodeAll(const QString &path)
{
    Mp3Decoder decoder;
    QByteArray all;
    QByteArray chunk(65536, '\0');
    if (decoder.open(path)) {
        while (const qint64 got = decoder.read(chunk.data(), chunk.size()))
            all.append(chunk.constData(), got);
    }
    return all;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

int sendTo(MediaService &service, const QString &command)
{
    return service.sendString(command, nullptr);
}

QString askOf(MediaService &service, const QString &command)
{
    QString answer;
    const int code = service.sendString(command, &answer);
    return code == 0 ? answer : QStringLiteral("error %1").arg(code);
}

// An output that will not start, or one that breaks down after its first samples (the sound
// server went away): it then takes nothing and never drains.
class BrokenAudioOutput : public AudioOutput {
public:
    explicit BrokenAudioOutput(bool starts) : m_starts(starts) {}
    bool start(const QAudioFormat &) override { return m_starts; }
    qint64 bytesFree() override { return m_failed ? 0 : 4096; }
    qint64 write(const char *, qint64 bytes) override
    {
        m_failed = true;
        return std::min<qint64>(bytes, 4096);
    }
    qint64 playedBytes() override { return 0; }
    bool failed() override { return m_failed; }

private:
    bool m_starts;
    bool m_failed = false;
};

// An output with a queue that plays only when told to, as a sound server's buffer does.
class QueueAudioOutput : public AudioOutput {
public:
    bool start(const QAudioFormat &) override { return true; }
    qint64 bytesFree() override { return kCapacity - queued.size(); }
    qint64 write(const char *data, qint64 bytes) override
    {
        const qint64 taken = std::min(bytes, bytesFree());
        queued.append(data, taken);
        return taken;
    }
    qint64 playedBytes() override { return played; }
    bool flush() override
    {
        queued.clear();
        played = 0;
        return true;
    }
    static constexpr qint64 kCapacity = 9600;
    QByteArray queued;
    qint64 played = 0;
};

// A media service whose streams are Ts; output is the newest.
template <class T> struct ServiceWith {
    T *output = nullptr;
    MediaService service{[this] {
        auto made = std::make_unique<T>();
        output = made.get();
        return made;
    }};
};

class MediaServiceTest : public ::testing::Test {
protected:
    int send(const QString &command) { return sendTo(service, command); }
    QString ask(const QString &command) { return askOf(service, command); }
    int open(const QString &path, const QString &alias)
    {
        return send(QStringLiteral("open %1 type MPEGVideo Alias %2").arg(path, alias));
    }
    qint64 length(const char *alias, const char *format)
    {
        send(QStringLiteral("set %1 time format %2").arg(QLatin1String(alias), QLatin1String(format)));
        return ask(QStringLiteral("status %1 length").arg(QLatin1String(alias))).toLongLong();
    }
    bool waitUntilStopped(const QString &alias)
    {
        const QString mode = QStringLiteral("status %1 mode").arg(alias);
        return QTest::qWaitFor([&] { return ask(mode) != QStringLiteral("playing"); }, kWaitCapMs) &&
               ask(mode) == QStringLiteral("stopped");
    }
    // Song bytes every output has taken since mark (silence is not recorded).
    std::vector<qsizetype> mark() const
    {
        std::vector<qsizetype> sizes;
        for (const auto &output : outputs)
            sizes.push_back(output->size());
        return sizes;
    }
    QByteArray since(const std::vector<qsizetype> &sizes) const
    {
        QByteArray grown;
        for (size_t i = 0; i < outputs.size(); ++i)
            grown += outputs[i]->mid(i < sizes.size() ? sizes[i] : 0);
        return grown;
    }
    // Plays the device and answers what it handed to the output.
    QByteArray play(const QString &alias, const QString &range = QStringLiteral("from 0"))
    {
        const std::vector<qsizetype> before = mark();
        EXPECT_EQ(send(QStringLiteral("play %1 %2").arg(alias, range)), 0);
        EXPECT_TRUE(waitUntilStopped(alias));
        return since(before);
    }

    QString written(const char *name, const QByteArray &bytes)
    {
        const QString path = dir.filePath(QLatin1String(name));
        EXPECT_TRUE(writeFile(path, bytes)) << name;
        return path;
    }

    QTemporaryDir dir;
    std::vector<std::shared_ptr<QByteArray>> outputs; // one per stream made
    MediaService service{[this] {
        outputs.push_back(std::make_shared<QByteArray>());
        return std::make_unique<RecordingAudioOutput>(outputs.back());
    }};
};

} // namespace

TEST_F(MediaServiceTest, EverySongOpensFromADeepPathIsMeasuredExactlyAndPlaysWhole)
{
    // The platform's short paths, their links in a folder of this test's own.
    const auto shortPathsIn = [](const QString &links) {
        return
            [shortPaths = MediaShortPath(links)](const QString &path) mutable { return shortPaths.shortPathOf(path); };
    };
    QTemporaryDir links;
    ModMultimedia media(service, shortPathsIn(links.path()));
    QString folder = dir.path();
    for (int i = 0; i < 8; ++i)
        folder += QStringLiteral("/Ett mycket långt mappnamn med blanksteg %1").arg(i);
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString alias = QStringLiteral("ClientTunveroID7");
    const QString type = QStringLiteral("MPEGVideo");
    QString path;
    for (const TestSongs::Song &song : TestSongs::kTagged) {
        SCOPED_TRACE(song.name);
        path = folder + QStringLiteral("/Låt %1.mp3").arg(QLatin1String(song.name));
        ASSERT_TRUE(path.size() > 300 && QFile::copy(TestSongs::path(song.name), path));
        ASSERT_EQ(media.MediaOpen(42, alias, path, type), QStringLiteral("Success"));
        const double frameMs = 1000.0 * TestSongs::samplesPerFrame(song) / song.rate;
        EXPECT_LE(std::abs(media.MediaLengthMs(alias) - song.milliseconds), frameMs);
        EXPECT_LE(std::abs(media.MediaLengthFrames(alias) - song.milliseconds / frameMs), 1.0);
        // Played to its length in frames, the last part-frame included.
        const std::vector<qsizetype> before = mark();
        EXPECT_EQ(media.MediaPlay(alias, QString(), QString()), QStringLiteral("Success"));
        ASSERT_TRUE(waitUntilStopped(alias));
        EXPECT_EQ(since(before), decodeAll(path));
        ASSERT_EQ(media.MediaClose(alias), QStringLiteral("Success"));
    }
    EXPECT_EQ(media.MediaOpen(42, alias, QStringLiteral("/nonexistent/a.mp3"), type),
              MediaError::text(MediaError::FileNotFound));
    // A song that is there but cannot get a link (no folder for links can be made under a file)
    // is not reported as missing.
    ModMultimedia noLinks(service, shortPathsIn(TestSongs::path("cbr_44k_stereo") + QStringLiteral("/links")));
    EXPECT_EQ(noLinks.MediaOpen(42, alias, path, type), MediaError::text(MediaError::NoShortPath));

    // Without the tag the encoder's delay and padding stay: at most two frames longer.
    ASSERT_EQ(open(TestSongs::path(TestSongs::kUntagged.name), QStringLiteral("u")), 0);
    const qint64 extraMs = length("u", "milliseconds") - TestSongs::kUntagged.milliseconds;
    EXPECT_TRUE(extraMs >= 0 && extraMs <= 2 * 1152 * 1000 / 44100) << extraMs;
}

TEST_F(MediaServiceTest, VbrSongsAreMeasuredExactlyRightAfterOpenAndPlayOnlyTheirAudio)
{
    // A VBRI-headed song, and five minutes of VBR frames without an info frame: only the header
    // or counting every frame gives the length, an estimate from the first frames would not.
    int frames = 0;
    const QByteArray song = readFile(TestSongs::path("vbr_44k_stereo"));
    const QByteArray audio = VbriSong::audioAfterInfo(song, frames);
    const QByteArray vbri = VbriSong::fromXingSong(song, frames);
    ASSERT_TRUE(frames > 50 && vbri.endsWith(audio));
    const int copies = 300 * 44100 / (frames * 1152) + 1;
    ASSERT_EQ(open(written("vbri.mp3", vbri), QStringLiteral("v")), 0);
    ASSERT_EQ(open(written("long.mp3", audio.repeated(copies)), QStringLiteral("long")), 0);
    const QByteArray decoded = decodeAll(written("bare.mp3", audio));
    ASSERT_EQ(decoded.size(), qsizetype(frames) * 1152 * 4); // no tag: every frame is played whole

    for (const auto &[alias, count] : {std::pair{"v", qint64(frames)}, std::pair{"long", qint64(frames) * copies}}) {
        SCOPED_TRACE(alias);
        EXPECT_EQ(ask(QStringLiteral("status %1 length").arg(QLatin1String(alias))).toLongLong(), count);
        EXPECT_EQ(length(alias, "ms"), (count * 1152000 + 22050) / 44100); // whole milliseconds, rounded
    }
    EXPECT_EQ(play(QStringLiteral("v")), decoded); // the info frame is no audio
}

TEST_F(MediaServiceTest, StopReplayAndRangesPlayExactly)
{
    const QString song = TestSongs::path("vbr_48k_stereo"); // 4 s; the first second is decoded at open
    const QByteArray whole = decodeAll(song);
    ASSERT_EQ(open(song, QStringLiteral("s")), 0);

    const std::vector<qsizetype> before = mark();
    ASSERT_EQ(send(QStringLiteral("play s from 0")), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return since(before).size() > 48000 * 4 * 2; }, kWaitCapMs));
    ASSERT_EQ(send(QStringLiteral("stop s")), 0);
    EXPECT_EQ(ask(QStringLiteral("status s mode")), QStringLiteral("stopped"));
    EXPECT_EQ(play(QStringLiteral("s")), whole);

    // Within the part decoded at open, across its end, and past it.
    send(QStringLiteral("set s time format ms"));
    for (const auto &[from, to] : {std::pair{500, 1500}, std::pair{2000, 3500}}) {
        SCOPED_TRACE(from);
        EXPECT_EQ(play(QStringLiteral("s"), QStringLiteral("from %1 to %2").arg(from).arg(to)),
                  whole.mid(from * 48 * 4, (to - from) * 48 * 4));
        EXPECT_EQ(ask(QStringLiteral("status s position")).toInt(), to);
    }
}

TEST(Mp3Decoder, SeeksLandExactlyOrFail)
{
    const QString song = TestSongs::path("cbr_44k_stereo");
    const QByteArray whole = decodeAll(song);
    Mp3Decoder decoder;
    ASSERT_TRUE(decoder.open(song));
    const qint64 length = decoder.lengthSamples();
    ASSERT_EQ(whole.size(), length * 4);

    ASSERT_TRUE(decoder.seekSample(length / 3));
    EXPECT_EQ(decoder.tellSample(), length / 3);
    QByteArray rest(whole.size(), '\0');
    rest.resize(decoder.read(rest.data(), rest.size()));
    EXPECT_EQ(rest, whole.mid(length / 3 * 4));
    EXPECT_TRUE(decoder.seekSample(length));

    // At 32 kbit/s a frame's data may lie up to seven frames back: a seek decodes them first
    // rather than starting on silence (the rest within the filters' rounding).
    Mp3Decoder sweep, reference;
    ASSERT_TRUE(sweep.open(TestSongs::path("long/sweep_48k_mono")) &&
                reference.open(TestSongs::path("long/sweep_48k_mono")));
    QByteArray lead(20 * 48000 * 2, '\0'), due(4800, '\0'), sought(4800, '\0');
    ASSERT_EQ(reference.read(lead.data(), lead.size()), lead.size());
    ASSERT_EQ(reference.read(due.data(), due.size()), due.size());
    ASSERT_TRUE(sweep.seekSample(20 * 48000));
    ASSERT_EQ(sweep.read(sought.data(), sought.size()), sought.size());
    for (qsizetype i = 0; i < due.size(); i += 2)
        ASSERT_LE(std::abs(qFromLittleEndian<qint16>(due.constData() + i) -
                           qFromLittleEndian<qint16>(sought.constData() + i)),
                  2)
            << i / 2;

    // Past the end there is nothing to land on, whatever the library answers.
    EXPECT_FALSE(decoder.seekSample(length + 1));
    EXPECT_FALSE(decoder.seekSample(-1));
    char sample[4];
    EXPECT_EQ(decoder.read(sample, 4), 0);
}

// A silent mono Layer III frame of 32 kbit/s: MPEG-1 at 48 kHz (96 bytes, 1152 samples), or
// MPEG-2 at 24 kHz (48 bytes, 576 samples).
QByteArray silentFrame(bool mpeg1)
{
    QByteArray frame(mpeg1 ? 96 : 48, '\0');
    frame[0] = char(0xFF);
    frame[1] = char(mpeg1 ? 0xFB : 0xF3);
    frame[2] = char(mpeg1 ? 0x14 : 0x44);
    frame[3] = char(0xC0);
    return frame;
}

TEST(Mp3Decoder, DamagedFilesNeverDecodePastTheLengthTheyReport)
{
    // Files in which the library's length and its seeks disagree: after a seek it decoded more
    // than the length left (the first: from the middle, two frames where one and a half
    // remain).
    QByteArray info = silentFrame(true);
    info.replace(4 + 17, 12, QByteArrayLiteral("Info\0\0\0\x01\0\0\0\x01")); // counts one frame
    const QByteArray frame = silentFrame(true);
    const QList<std::pair<const char *, QByteArray>> files = {
        {"an info frame that counts one of three frames", info + frame + frame + frame},
        {"an MPEG-2 frame amid MPEG-1 ones", frame + frame + silentFrame(false) + frame + frame},
    };
    QTemporaryDir dir;
    for (const auto &[what, bytes] : files) {
        const QString path = dir.filePath(QStringLiteral("song.mp3"));
        ASSERT_TRUE(writeFile(path, bytes)) << what;
        Mp3Decoder decoder;
        ASSERT_TRUE(decoder.open(path)) << what;
        const qint64 length = decoder.lengthSamples();
        for (const qint64 at : {qint64(0), length / 2, length - 576, length - 1, length, length + 1}) {
            if (!decoder.seekSample(at))
                continue;
            EXPECT_LE(decoder.tellSample(), length) << what << " at " << at;
            QByteArray rest(1 << 20, '\0');
            qint64 samples = 0;
            while (const qint64 got = decoder.read(rest.data(), rest.size()))
                samples += got / decoder.bytesPerSample();
            EXPECT_LE(samples, length - at) << what << " at " << at;
            EXPECT_LE(decoder.tellSample(), length) << what << " at " << at;
        }
    }
}

TEST_F(MediaServiceTest, BadFilesFailOrPlayWhatTheyHold)
{
    const QByteArray good = readFile(TestSongs::path("cbr_44k_stereo"));
    ASSERT_TRUE(!good.isEmpty() && QDir(dir.path()).mkdir(QStringLiteral("folder.mp3")));
    for (const char *name : {"missing.mp3", "folder.mp3"})
        EXPECT_EQ(open(dir.filePath(QLatin1String(name)), QStringLiteral("a")), MediaError::FileNotFound) << name;
    // Bytes without structure, sync bytes sprinkled in as in any large binary file.
    QByteArray noise(200 * 1024, '\0');
    quint32 state = 2463534242u;
    for (char &byte : noise) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = char(state % 7 == 0 ? 0xFF : state >> 24);
    }
    const std::pair<const char *, QByteArray> unplayable[] = {
        {"empty.mp3", QByteArray()},
        {"tag_only.mp3", readFile(TestSongs::path("id3_cover_vbr_48k")).left(2000)},
        // 25 bytes that a decoder trusting a bare header takes for a short Layer I song.
        {"junk.mp3", QByteArray::fromHex("fff6000000000000").repeated(3) + '\0'},
        {"noise.mp3", noise},
    };
    for (const auto &[name, bytes] : unplayable)
        EXPECT_EQ(open(written(name, bytes), QStringLiteral("a")), MediaError::CannotPlayFile) << name;

    // Cut short: opens with the length that is there and plays it.
    ASSERT_EQ(open(written("truncated.mp3", good.left(good.size() * 2 / 5)), QStringLiteral("t")), 0);
    const qint64 truncatedMs = length("t", "ms");
    EXPECT_TRUE(truncatedMs > 900 && truncatedMs < 1500) << truncatedMs;
    EXPECT_GT(play(QStringLiteral("t")).size(), 0);

    // Garbage in the middle: the decoder finds its way back and the device plays to the end.
    QByteArray corrupt = good;
    for (qsizetype i = corrupt.size() * 3 / 10; i < corrupt.size() / 2; ++i)
        corrupt[i] = char(i * 7919 % 251);
    ASSERT_EQ(open(written("corrupt.mp3", corrupt), QStringLiteral("c")), 0);
    EXPECT_GT(play(QStringLiteral("c")).size(), 0);
}

TEST_F(MediaServiceTest, AFileThatVanishesAfterOpenStopsOnlyItsDevice)
{
    const QString copy = dir.filePath(QStringLiteral("copy.mp3"));
    const QString other = TestSongs::path("cbr_44k_stereo");
    ASSERT_TRUE(QFile::copy(TestSongs::path("vbr_48k_stereo"), copy));
    ASSERT_EQ(open(copy, QStringLiteral("gone")), 0);
    ASSERT_EQ(open(other, QStringLiteral("other")), 0);

    ASSERT_TRUE(QFile(copy).resize(0) && QFile::remove(copy));
    ASSERT_EQ(send(QStringLiteral("play gone from 0")), 0);
    ASSERT_EQ(send(QStringLiteral("play other from 0")), 0);

    EXPECT_TRUE(waitUntilStopped(QStringLiteral("gone")));
    EXPECT_TRUE(waitUntilStopped(QStringLiteral("other")));
    ASSERT_EQ(outputs.size(), 2u);
    EXPECT_LT(outputs[0]->size(), decodeAll(TestSongs::path("vbr_48k_stereo")).size());
    EXPECT_GE(outputs[0]->size(), 48000 * 4); // the first second was in memory already
    EXPECT_EQ(*outputs[1], decodeAll(other));
    EXPECT_EQ(send(QStringLiteral("close gone")), 0);
}

TEST_F(MediaServiceTest, OpeningWhileASongPlaysLeavesItWholeAndTwoPlaysAreMixed)
{
    const QString song = TestSongs::path("vbr_48k_stereo");
    const QByteArray whole = decodeAll(song);
    ASSERT_EQ(open(song, QStringLiteral("a")), 0);
    std::vector<qsizetype> before = mark();
    ASSERT_EQ(send(QStringLiteral("play a from 0")), 0);
    // Past the first second: the device reads its file while the others open.
    ASSERT_TRUE(QTest::qWaitFor([&] { return since(before).size() > 48000 * 4 * 3 / 2; }, kWaitCapMs));
    ASSERT_EQ(open(song, QStringLiteral("b")), 0);
    ASSERT_EQ(open(song, QStringLiteral("c")), 0);
    ASSERT_EQ(open(TestSongs::path("cbr_22k_mono"), QStringLiteral("d")), 0); // a stream of its own
    EXPECT_TRUE(waitUntilStopped(QStringLiteral("a")));
    EXPECT_EQ(since(before), whole);
    EXPECT_EQ(outputs.size(), 2u);

    // Three devices at once in one stream: summed sample by sample, clipped rather than wrapped.
    before = mark();
    std::vector<qsizetype> offsets;
    for (const char *alias : {"a", "b", "c"}) {
        offsets.push_back(since(before).size());
        ASSERT_EQ(send(QStringLiteral("play %1 from 0").arg(QLatin1String(alias))), 0);
    }
    for (const char *alias : {"a", "b", "c"})
        EXPECT_TRUE(waitUntilStopped(QLatin1String(alias)));
    std::vector<qint16> samples(size_t(whole.size() / 2)), mixed(size_t(offsets.back() / 2) + samples.size());
    std::memcpy(samples.data(), whole.constData(), size_t(whole.size()));
    std::vector<int> sums(mixed.size());
    for (const qsizetype offset : offsets)
        for (size_t i = 0; i < samples.size(); ++i)
            sums[size_t(offset / 2) + i] += samples[i];
    std::transform(sums.begin(), sums.end(), mixed.begin(),
                   [](int sum) { return qint16(std::clamp(sum, -32768, 32767)); });
    EXPECT_NE(std::vector<int>(mixed.begin(), mixed.end()), sums); // some sums were clipped
    const QByteArray expected(reinterpret_cast<const char *>(mixed.data()), qsizetype(mixed.size() * 2));
    EXPECT_EQ(since(before), expected);
}

TEST(MediaServiceOutputs, NoDeviceKeepsTimeButABrokenOutputFailsOrStopsThePlay)
{
    const QString song = TestSongs::path("vbr_48k_stereo");
    const QString openS = QStringLiteral("open %1 type MPEGVideo Alias s").arg(song);
    const QString playS = QStringLiteral("play s from 0");
    const QString mode = QStringLiteral("status s mode");

    // Without a sound device the song still plays, silently, and keeps time; each device
    // opened so is reported, as one on the stream already made is.
    MediaService silent([]() -> std::unique_ptr<AudioOutput> { return nullptr; });
    QSignalSpy noSound(&silent, &MediaService::noSoundOutput);
    ASSERT_EQ(sendTo(silent, openS), 0);
    ASSERT_EQ(sendTo(silent, QStringLiteral("open %1 type MPEGVideo Alias t").arg(song)), 0);
    ASSERT_EQ(noSound.size(), 2);
    EXPECT_EQ(noSound.at(1).at(0).toString(), QStringLiteral("t"));
    ASSERT_EQ(sendTo(silent, playS), 0);
    EXPECT_EQ(askOf(silent, mode), QStringLiteral("playing"));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return askOf(silent, QStringLiteral("status s position")).toInt() > 0; }, kWaitCapMs));

    enum class Next { CannotStart, BreaksDown, Records } next = Next::CannotStart;
    auto recorded = std::make_shared<QByteArray>();
    MediaService service([&]() -> std::unique_ptr<AudioOutput> {
        if (next == Next::Records)
            return std::make_unique<RecordingAudioOutput>(recorded);
        return std::make_unique<BrokenAudioOutput>(next == Next::BreaksDown);
    });
    // An output that fails is no silent clock.
    QSignalSpy noSoundThere(&service, &MediaService::noSoundOutput);
    const auto stops = [&] {
        return QTest::qWaitFor([&] { return askOf(service, mode) == QStringLiteral("stopped"); }, kWaitCapMs);
    };
    ASSERT_EQ(sendTo(service, openS), 0); // the stream that will not start is no reason to refuse the song
    ASSERT_EQ(sendTo(service, QStringLiteral("set s time format ms")), 0);

    // An output that will not start is an error, not a silent success; past the part decoded
    // at open too. Each play tries again.
    EXPECT_EQ(sendTo(service, playS), MediaError::OutputUnavailable);
    EXPECT_EQ(sendTo(service, QStringLiteral("play s from 2000")), MediaError::OutputUnavailable);
    EXPECT_EQ(askOf(service, mode), QStringLiteral("stopped"));

    // An output that breaks down stops its device instead of leaving it playing for ever; the
    // next play gets a new stream, undisturbed by the broken one.
    next = Next::BreaksDown;
    ASSERT_EQ(sendTo(service, playS), 0);
    EXPECT_TRUE(stops());
    next = Next::Records;
    ASSERT_EQ(sendTo(service, playS), 0);
    ASSERT_TRUE(stops());
    EXPECT_EQ(*recorded, decodeAll(song));
    EXPECT_TRUE(noSoundThere.isEmpty());
}

TEST(MediaServiceOutputs, AStopSilencesTheStreamAtOnceAndTheNextSongStartsThereAndIsReported)
{
    ServiceWith<QueueAudioOutput> fake;
    MediaService &service = fake.service;
    QSignalSpy handed(&service, &MediaService::firstSamplesHanded);
    QSignalSpy stopped(&service, &MediaService::deviceStopped);
    constexpr qint64 kCapacity = QueueAudioOutput::kCapacity;
    const QString first = TestSongs::path("vbr_48k_stereo");
    const QString second = TestSongs::path("id3_cover_vbr_48k"); // the same format: the same stream
    ASSERT_EQ(sendTo(service, QStringLiteral("open %1 alias a").arg(first)), 0);
    ASSERT_EQ(sendTo(service, QStringLiteral("open %1 alias b").arg(second)), 0);
    ASSERT_NE(fake.output, nullptr);

    ASSERT_EQ(sendTo(service, QStringLiteral("play a from 0")), 0);
    // Behind the little silence that keeps the idle stream flowing, a's samples fill the queue.
    const QByteArray a = decodeAll(first);
    bool silenceThenA = false;
    for (qsizetype k = 0; k < kCapacity && !silenceThenA; k += 4)
        silenceThenA = fake.output->queued == QByteArray(k, '\0') + a.left(kCapacity - k);
    EXPECT_TRUE(silenceThenA);

    // What a left queued stays unheard, and b's first samples are handed over at once.
    fake.output->played = 4800;
    ASSERT_EQ(sendTo(service, QStringLiteral("stop a")), 0);
    ASSERT_EQ(sendTo(service, QStringLiteral("play b from 0")), 0);
    EXPECT_EQ(fake.output->queued, decodeAll(second).left(kCapacity));
    ASSERT_EQ(handed.size(), 2);
    EXPECT_EQ(handed.at(1).at(0).toString(), QStringLiteral("b"));
    ASSERT_EQ(stopped.size(), 1);
    EXPECT_EQ(stopped.at(0).at(0).toString(), QStringLiteral("a"));

    // Closing a playing device is a stop as well; Close All frees every alias.
    ASSERT_EQ(sendTo(service, QStringLiteral("close all")), 0);
    EXPECT_EQ(stopped.size(), 2);
    EXPECT_EQ(sendTo(service, QStringLiteral("open %1 alias B").arg(first)), 0);
}

TEST(StartPlacement, TheFirstSampleLandsOnTheMomentWithinHalfAFrame)
{
    constexpr qint64 kSecondNs = 1000000000;
    for (const int rate : {44100, 48000, 32000}) {
        for (const int channels : {1, 2}) {
            const int frameBytes = 2 * channels;
            const StreamTiming now{12345 * qint64(frameBytes), 777 * kSecondNs};
            // What the output holds ahead of what is heard, and the start's delay, in ms.
            for (const int queuedMs : {0, 20, 80, 200}) {
                for (const int delayUs : {150000, 150011, 80000, 20000, 0, -30000}) {
                    const qint64 writtenEnd = now.heardByte + qint64(rate) * queuedMs / 1000 * frameBytes;
                    const qint64 startAt = now.atNs + qint64(delayUs) * 1000;
                    const startPlacement::Plan plan = startPlacement::plan(now, startAt, writtenEnd, rate, frameBytes);
                    SCOPED_TRACE(testing::Message() << rate << " Hz, " << channels << " ch, queued " << queuedMs
                                                    << " ms, delay " << delayUs << " us");
                    ASSERT_EQ(plan.startByte % frameBytes, 0);
                    const qint64 heardAt = now.atNs + (plan.startByte - now.heardByte) / frameBytes * kSecondNs / rate;
                    EXPECT_LE(std::abs(heardAt - startAt), kSecondNs / rate / 2 + 1);
                    // Silence fills up to the start, or the start already written over is skipped.
                    EXPECT_EQ(writtenEnd + (plan.silenceFrames - plan.skippedFrames) * frameBytes, plan.startByte);
                    EXPECT_TRUE(plan.silenceFrames == 0 || plan.skippedFrames == 0);
                }
            }
        }
    }
}

TEST(MediaServiceOutputs, AScheduledPlayIsHeardFirstAtItsMomentOrJoinsInStepWhenLate)
{
    ServiceWith<TimedAudioOutput> fake;
    MediaService &service = fake.service;
    QSignalSpy scheduled(&service, &MediaService::playScheduled);
    QSignalSpy heard(&service, &MediaService::firstSampleHeard);
    const QString path = TestSongs::path("vbr_48k_stereo");
    const QByteArray song = decodeAll(path);
    ASSERT_EQ(sendTo(service, QStringLiteral("open %1 alias a").arg(path)), 0);
    const QString playA = QStringLiteral("play a from 0"), stopA = QStringLiteral("stop a");
    ASSERT_NE(fake.output, nullptr);
    constexpr qint64 kMs = 1000000;
    constexpr qint64 kFrameBytes = 4;
    const qint64 t0 = 1000 * kMs;

    // On time: the stream holds 100 ms at most, the start is 150 ms away, 7 ms into the future
    // of what is heard at t0 + 10 ms.
    fake.output->now = {4800, t0};
    service.startNextPlayAt(t0 + 150 * kMs);
    ASSERT_EQ(sendTo(service, playA), 0);
    const qint64 onTime = 4800 + 150 * 48 * kFrameBytes;
    ASSERT_EQ(scheduled.size(), 1);
    EXPECT_EQ(scheduled.at(0).at(2).toLongLong(), 0);
    for (qint64 heardByte = 4800; fake.output->stream.size() < onTime + 4096; heardByte += 480 * kFrameBytes) {
        fake.output->now = {heardByte, t0 + (heardByte - 4800) / kFrameBytes * kMs / 48};
        QTest::qWait(12);
    }
    // The song's first sample where it is heard on time, after nothing but silence.
    EXPECT_EQ(fake.output->stream.indexOf(song.left(4096)), onTime);
    EXPECT_EQ(fake.output->stream.left(onTime), QByteArray(onTime, '\0'));
    // Reported heard when the output passes it, at the moment it was scheduled for; not while
    // only the interpolation, which runs ahead of a young stream, has passed it.
    fake.output->roughAheadBytes = 10 * 48 * kFrameBytes;
    fake.output->now = {onTime - 5 * 48 * kFrameBytes, t0 + 145 * kMs};
    QTest::qWait(30);
    EXPECT_TRUE(heard.isEmpty());
    fake.output->now = {onTime + 480 * kFrameBytes, t0 + 160 * kMs};
    ASSERT_TRUE(heard.wait(kWaitCapMs));
    EXPECT_EQ(heard.at(0).at(1).toLongLong(), t0 + 150 * kMs);
    EXPECT_EQ(heard.at(0).at(2).toLongLong(), t0 + 150 * kMs);
    fake.output->roughAheadBytes = 0;

    // Written ahead already (the idle stream holds silence up to 40 ms ahead): the song goes
    // in over that silence, on its moment.
    ASSERT_EQ(sendTo(service, stopA), 0);
    const qint64 base = fake.output->stream.size();
    fake.output->now = {base, t0 + 2000 * kMs};
    QTest::qWait(30);
    ASSERT_GE(fake.output->stream.size(), base + 40 * 48 * kFrameBytes);
    service.startNextPlayAt(t0 + 2030 * kMs);
    ASSERT_EQ(sendTo(service, playA), 0);
    const qint64 rewound = base + 30 * 48 * kFrameBytes;
    EXPECT_EQ(fake.output->stream.indexOf(song.left(4096), base), rewound);
    EXPECT_EQ(fake.output->stream.mid(base, rewound - base), QByteArray(rewound - base, '\0'));
    EXPECT_EQ(scheduled.at(1).at(2).toLongLong(), 0);

    // Late by 30 ms: its first 30 ms are skipped, so it plays in step with the others.
    ASSERT_EQ(sendTo(service, stopA), 0);
    const qint64 late = fake.output->stream.size();
    const qsizetype heardBefore = heard.size();
    fake.output->now = {late, t0 + 5000 * kMs};
    service.startNextPlayAt(t0 + 4970 * kMs);
    ASSERT_EQ(sendTo(service, playA), 0);
    EXPECT_EQ(fake.output->stream.indexOf(song.mid(30 * 48 * kFrameBytes, 4096), late - 4), late);
    EXPECT_EQ(scheduled.at(2).at(2).toLongLong(), 30 * kMs);
    // Reported as heard when and from where it really was: not at the moment it missed.
    fake.output->now = {late + 480 * kFrameBytes, t0 + 5010 * kMs};
    ASSERT_TRUE(QTest::qWaitFor([&] { return heard.size() > heardBefore; }, kWaitCapMs));
    EXPECT_EQ(heard.last().at(2).toLongLong(), t0 + 5000 * kMs);
    EXPECT_EQ(heard.last().at(3).toLongLong(), 30 * 48);

    // A stream whose clock does not run yet: the song waits for it, then lands on its moment.
    ASSERT_EQ(sendTo(service, stopA), 0);
    fake.output->clockRuns = false;
    service.startNextPlayAt(t0 + 8150 * kMs);
    ASSERT_EQ(sendTo(service, playA), 0);
    QTest::qWait(30);
    EXPECT_EQ(scheduled.size(), 3);
    const qint64 waited = fake.output->stream.size();
    fake.output->now = {waited, t0 + 8000 * kMs};
    fake.output->clockRuns = true;
    ASSERT_TRUE(scheduled.wait(kWaitCapMs));
    EXPECT_EQ(scheduled.at(3).at(2).toLongLong(), 0);
    fake.output->now = {waited + 100 * 48 * kFrameBytes, t0 + 8100 * kMs};
    ASSERT_TRUE(QTest::qWaitFor([&] { return fake.output->stream.indexOf(song.left(4096), waited) >= 0; }, kWaitCapMs));
    EXPECT_EQ(fake.output->stream.indexOf(song.left(4096), waited), waited + 150 * 48 * kFrameBytes);
}
