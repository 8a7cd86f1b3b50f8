// The media service against generated songs: lengths, time formats, what a play hands to the
// output, stop and replay, Close All, bad files and command errors.
#include "RecordingAudioOutput.h"
#include "TestSongs.h"
#include "VbriSong.h"

#include "playback/MediaError.h"
#include "playback/MediaService.h"
#include "playback/ModMultimedia.h"
#include "playback/Mp3Decoder.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kWaitCapMs = 60000;

QByteArray decodeAll(const QString &path)
{
    Mp3Decoder decoder;
    if (!decoder.open(path))
        return QByteArray();
    QByteArray all;
    QByteArray chunk(65536, '\0');
    while (const qint64 got = decoder.read(chunk.data(), chunk.size()))
        all.append(chunk.constData(), got);
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

class MediaServiceTest : public ::testing::Test
{
protected:
    MediaServiceTest()
        : service([this] {
            outputs.push_back(std::make_shared<QByteArray>());
            return std::make_unique<RecordingAudioOutput>(outputs.back());
        })
    {
    }

    int send(const QString &command) { return service.sendString(command, nullptr); }
    QString ask(const QString &command)
    {
        QString answer;
        const int code = service.sendString(command, &answer);
        return code == 0 ? answer : QStringLiteral("error %1").arg(code);
    }
    int open(const QString &path, const QString &alias)
    {
        return send(QStringLiteral("open %1 type MPEGVideo Alias %2 parent 0 Style 1073741824").arg(path, alias));
    }
    bool waitUntilStopped(const QString &alias)
    {
        return QTest::qWaitFor([&] { return ask(QStringLiteral("status %1 mode").arg(alias)) == QStringLiteral("stopped"); },
                               kWaitCapMs);
    }
    // Plays the whole device and answers what it handed to its output.
    QByteArray playToTheEnd(const QString &alias)
    {
        EXPECT_EQ(send(QStringLiteral("play %1 from 0").arg(alias)), 0);
        EXPECT_TRUE(waitUntilStopped(alias));
        return outputs.empty() ? QByteArray() : *outputs.back();
    }

    std::vector<std::shared_ptr<QByteArray>> outputs;
    MediaService service;
};

} // namespace

TEST_F(MediaServiceTest, LengthsAreExactInMillisecondsAndFrames)
{
    for (const TestSongs::Song &song : TestSongs::kTagged) {
        SCOPED_TRACE(song.name);
        ASSERT_EQ(open(TestSongs::path(song.name), QStringLiteral("s")), 0);
        const double frameMs = 1000.0 * song.samplesPerFrame / song.rate;

        ASSERT_EQ(send(QStringLiteral("set s time format ms")), 0);
        EXPECT_EQ(ask(QStringLiteral("status s time format")), QStringLiteral("milliseconds"));
        EXPECT_LE(std::abs(ask(QStringLiteral("status s length")).toInt() - song.milliseconds), frameMs);

        ASSERT_EQ(send(QStringLiteral("set s time format frames")), 0);
        const double frames = double(song.milliseconds) / frameMs;
        EXPECT_LE(std::abs(ask(QStringLiteral("status s length")).toInt() - frames), 1.0);
        ASSERT_EQ(send(QStringLiteral("close s")), 0);
    }

    ASSERT_EQ(open(TestSongs::path(TestSongs::kUntagged.name), QStringLiteral("u")), 0);
    send(QStringLiteral("set u time format milliseconds"));
    const int untagged = ask(QStringLiteral("status u length")).toInt();
    EXPECT_GE(untagged, TestSongs::kUntagged.milliseconds);
    EXPECT_LE(untagged, TestSongs::kUntagged.milliseconds + 2 * 1152 * 1000 / 44100);
}

TEST_F(MediaServiceTest, MediaProceduresAgainstTheService)
{
    QTemporaryDir runtime;
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit());
    ModMultimedia media(service);
    const QString song = TestSongs::path("cbr_44k_stereo");

    EXPECT_EQ(media.MediaOpen(42, QStringLiteral("ClientTunveroID7"), song, QStringLiteral("MPEGVideo")),
              QStringLiteral("Success"));
    EXPECT_EQ(media.MediaOpen(42, QStringLiteral("clienttunveroid7"), song, QStringLiteral("MPEGVideo")),
              MediaError::text(MediaError::DuplicateAlias));
    EXPECT_EQ(media.MediaOpen(42, QStringLiteral("X"), QStringLiteral("/nonexistent/a.mp3"), QStringLiteral("MPEGVideo")),
              MediaError::text(MediaError::FileNotFound));
    if (oldRuntime.isNull())
        qunsetenv("XDG_RUNTIME_DIR");
    else
        qputenv("XDG_RUNTIME_DIR", oldRuntime);

    EXPECT_EQ(media.MediaLengthMs(QStringLiteral("ClientTunveroID7")), 3000);
    EXPECT_EQ(ask(QStringLiteral("status CLIENTTUNVEROID7 time format")), QStringLiteral("frames"));
    EXPECT_EQ(media.MediaLengthFrames(QStringLiteral("ClientTunveroID7")), 115); // 132300 samples / 1152
    EXPECT_EQ(media.MediaLengthMs(QStringLiteral("nobody")), -1);

    EXPECT_EQ(media.MediaPlay(QStringLiteral("ClientTunveroID7"), QString(), QString()), QStringLiteral("Success"));
    EXPECT_TRUE(waitUntilStopped(QStringLiteral("ClientTunveroID7")));
    EXPECT_EQ(*outputs.back(), decodeAll(song));

    EXPECT_EQ(media.MediaPlay(QStringLiteral("nobody"), QString(), QString()),
              MediaError::text(MediaError::DeviceNotOpen));
    EXPECT_EQ(media.MediaStop(QStringLiteral("ClientTunveroID7")), QStringLiteral("Success"));
    EXPECT_EQ(media.MediaClose(QStringLiteral("ClientTunveroID7")), QStringLiteral("Success"));
    EXPECT_EQ(media.MediaClose(QStringLiteral("ClientTunveroID7")), MediaError::text(MediaError::DeviceNotOpen));
    EXPECT_EQ(media.MediaCloseAll(), QStringLiteral("Success"));
}

TEST_F(MediaServiceTest, APlayHandsOverExactlyTheDecodedSong)
{
    for (const char *name : {"vbr_16k_mono", "id3_cover_vbr_48k"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(open(TestSongs::path(name), QStringLiteral("s")), 0);
        const QByteArray whole = playToTheEnd(QStringLiteral("s"));
        EXPECT_EQ(whole, decodeAll(TestSongs::path(name)));
        send(QStringLiteral("close s"));
    }
}

TEST_F(MediaServiceTest, AVbriSongIsMeasuredExactlyAndPlaysOnlyItsAudio)
{
    QTemporaryDir dir;
    int frames = 0;
    const QByteArray vbri = VbriSong::fromXingSong(readFile(TestSongs::path("vbr_44k_stereo")), frames);
    ASSERT_FALSE(vbri.isEmpty());
    const QString path = dir.filePath(QStringLiteral("vbri.mp3"));
    const QString bare = dir.filePath(QStringLiteral("bare.mp3")); // the audio frames alone
    ASSERT_TRUE(writeFile(path, vbri));
    ASSERT_TRUE(writeFile(bare, vbri.mid(VbriSong::frameSizeAt(vbri, 0))));
    const QByteArray audio = decodeAll(bare);
    ASSERT_EQ(audio.size(), qsizetype(frames) * 1152 * 4); // no tag: every frame is played whole

    ASSERT_EQ(open(path, QStringLiteral("v")), 0);
    const double frameMs = 1000.0 * 1152 / 44100;
    send(QStringLiteral("set v time format ms"));
    // Whole milliseconds are reported: half a millisecond of rounding.
    EXPECT_LE(std::abs(ask(QStringLiteral("status v length")).toInt() - frames * frameMs), 0.5);
    send(QStringLiteral("set v time format frames"));
    EXPECT_EQ(ask(QStringLiteral("status v length")).toInt(), frames);

    // The info frame is no audio: what plays is the audio frames alone.
    EXPECT_EQ(playToTheEnd(QStringLiteral("v")), audio);
}

TEST_F(MediaServiceTest, StopThenPlayFromZeroStartsAgainFromTheBeginning)
{
    const QString song = TestSongs::path("vbr_48k_stereo"); // 4 s; the first second is decoded at open
    const QByteArray whole = decodeAll(song);
    ASSERT_EQ(open(song, QStringLiteral("s")), 0);

    ASSERT_EQ(send(QStringLiteral("play s from 0")), 0);
    const qsizetype pastTheHead = 48000 * 4 * 2;
    ASSERT_TRUE(QTest::qWaitFor([&] { return outputs.back()->size() > pastTheHead; }, kWaitCapMs));
    ASSERT_EQ(send(QStringLiteral("stop s")), 0);
    EXPECT_EQ(ask(QStringLiteral("status s mode")), QStringLiteral("stopped"));
    EXPECT_GT(ask(QStringLiteral("status s position")).toInt(), 0);

    EXPECT_EQ(playToTheEnd(QStringLiteral("s")), whole);
    EXPECT_EQ(playToTheEnd(QStringLiteral("s")), whole);
}

TEST_F(MediaServiceTest, PlayingARangeIsSampleExact)
{
    const QString song = TestSongs::path("cbr_44k_stereo");
    const QByteArray whole = decodeAll(song);
    ASSERT_EQ(open(song, QStringLiteral("s")), 0);
    send(QStringLiteral("set s time format ms"));

    for (const auto &[from, to] : {std::pair{2000, 2500}, std::pair{500, 1500}, std::pair{0, 990}}) {
        SCOPED_TRACE(from);
        ASSERT_EQ(send(QStringLiteral("play s from %1 to %2").arg(from).arg(to)), 0);
        ASSERT_TRUE(waitUntilStopped(QStringLiteral("s")));
        const qsizetype start = qsizetype(from) * 441 / 10 * 4;
        const qsizetype end = qsizetype(to) * 441 / 10 * 4;
        EXPECT_EQ(*outputs.back(), whole.mid(start, end - start));
        EXPECT_EQ(ask(QStringLiteral("status s position")).toInt(), to);
    }

    send(QStringLiteral("set s time format frames"));
    ASSERT_EQ(send(QStringLiteral("play s from 100 to 115")), 0);
    ASSERT_TRUE(waitUntilStopped(QStringLiteral("s")));
    EXPECT_EQ(*outputs.back(), whole.mid(100 * 1152 * 4));
}

TEST_F(MediaServiceTest, CloseAllClosesEveryDevice)
{
    const QString song = TestSongs::path("cbr_48k_mono");
    ASSERT_EQ(open(song, QStringLiteral("ClientTunveroID0")), 0);
    ASSERT_EQ(open(song, QStringLiteral("ClientTunveroID1")), 0);
    ASSERT_EQ(open(TestSongs::path("vbr_44k_stereo"), QStringLiteral("ServerTunvero")), 0);
    ASSERT_EQ(send(QStringLiteral("play ClientTunveroID1 from 0")), 0);

    EXPECT_EQ(send(QStringLiteral("Close All")), 0);
    for (const char *alias : {"ClientTunveroID0", "ClientTunveroID1", "ServerTunvero"})
        EXPECT_EQ(send(QStringLiteral("status %1 length").arg(QLatin1String(alias))), MediaError::DeviceNotOpen);
    EXPECT_EQ(send(QStringLiteral("Close All")), 0);
    // The alias is free again.
    EXPECT_EQ(open(song, QStringLiteral("ClientTunveroID0")), 0);
}

TEST_F(MediaServiceTest, BadFilesFailOrPlayWhatTheyHold)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString good = TestSongs::path("cbr_44k_stereo");
    const QByteArray goodBytes = readFile(good);
    const QByteArray coverBytes = readFile(TestSongs::path("id3_cover_vbr_48k"));
    ASSERT_FALSE(goodBytes.isEmpty());
    auto file = [&](const char *name) { return dir.filePath(QLatin1String(name)); };

    ASSERT_TRUE(writeFile(file("empty.mp3"), QByteArray()));
    ASSERT_TRUE(writeFile(file("text.mp3"), QByteArray("Det h\xc3\xa4r \xc3\xa4r ingen l\xc3\xa5t.\n").repeated(500)));
    ASSERT_TRUE(writeFile(file("tag_only.mp3"), coverBytes.left(2000)));
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("folder.mp3")));
    EXPECT_EQ(open(file("missing.mp3"), QStringLiteral("a")), MediaError::FileNotFound);
    EXPECT_EQ(open(file("folder.mp3"), QStringLiteral("a")), MediaError::FileNotFound);
    EXPECT_EQ(open(file("empty.mp3"), QStringLiteral("a")), MediaError::CannotPlayFile);
    EXPECT_EQ(open(file("text.mp3"), QStringLiteral("a")), MediaError::CannotPlayFile);
    EXPECT_EQ(open(file("tag_only.mp3"), QStringLiteral("a")), MediaError::CannotPlayFile);
    EXPECT_EQ(send(QStringLiteral("status a length")), MediaError::DeviceNotOpen);

    // Cut short: opens with the length that is there and plays it.
    ASSERT_TRUE(writeFile(file("truncated.mp3"), goodBytes.left(goodBytes.size() * 2 / 5)));
    ASSERT_EQ(open(file("truncated.mp3"), QStringLiteral("t")), 0);
    send(QStringLiteral("set t time format ms"));
    const int truncatedMs = ask(QStringLiteral("status t length")).toInt();
    EXPECT_GT(truncatedMs, 900);
    EXPECT_LT(truncatedMs, 1500);
    const QByteArray truncatedPlay = playToTheEnd(QStringLiteral("t"));
    EXPECT_GT(truncatedPlay.size(), 0);
    EXPECT_LE(truncatedPlay.size(), qsizetype(truncatedMs + 30) * 441 / 10 * 4);

    // Garbage in the middle: the decoder finds its way back and the device plays to the end.
    QByteArray corrupt = goodBytes;
    for (qsizetype i = corrupt.size() * 3 / 10; i < corrupt.size() / 2; ++i)
        corrupt[i] = char(i * 7919 % 251);
    ASSERT_TRUE(writeFile(file("corrupt.mp3"), corrupt));
    ASSERT_EQ(open(file("corrupt.mp3"), QStringLiteral("c")), 0);
    EXPECT_GT(playToTheEnd(QStringLiteral("c")).size(), 0);

    // Random bytes may or may not look like MP3 frames; either way nothing breaks.
    QByteArray noise(100000, '\0');
    QRandomGenerator random(4711);
    for (char &byte : noise)
        byte = char(random.bounded(256));
    ASSERT_TRUE(writeFile(file("noise.mp3"), noise));
    const int noiseCode = open(file("noise.mp3"), QStringLiteral("n"));
    EXPECT_TRUE(noiseCode == 0 || noiseCode == MediaError::CannotPlayFile);
    if (noiseCode == 0)
        playToTheEnd(QStringLiteral("n"));
}

TEST_F(MediaServiceTest, AFileThatVanishesWhilePlayingStopsOnlyItsDevice)
{
    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("copy.mp3"));
    ASSERT_TRUE(QFile::copy(TestSongs::path("vbr_48k_stereo"), copy));
    const QString other = TestSongs::path("cbr_44k_stereo");
    ASSERT_EQ(open(copy, QStringLiteral("gone")), 0);
    ASSERT_EQ(open(other, QStringLiteral("other")), 0);

    ASSERT_EQ(send(QStringLiteral("play gone from 0")), 0);
    ASSERT_EQ(send(QStringLiteral("play other from 0")), 0);
    {
        QFile shrink(copy);
        ASSERT_TRUE(shrink.resize(0));
    }
    ASSERT_TRUE(QFile::remove(copy));

    EXPECT_TRUE(waitUntilStopped(QStringLiteral("gone")));
    EXPECT_TRUE(waitUntilStopped(QStringLiteral("other")));
    ASSERT_EQ(outputs.size(), 2u);
    EXPECT_LT(outputs[0]->size(), decodeAll(TestSongs::path("vbr_48k_stereo")).size());
    EXPECT_GE(outputs[0]->size(), 48000 * 4); // the first second was in memory already
    EXPECT_EQ(*outputs[1], decodeAll(other));
    EXPECT_EQ(send(QStringLiteral("close gone")), 0);
}

TEST_F(MediaServiceTest, CommandErrorsHaveCodesAndTexts)
{
    const QString song = TestSongs::path("cbr_32k_stereo");
    ASSERT_EQ(open(song, QStringLiteral("s")), 0);
    const std::pair<QString, int> cases[] = {
        {QString(), MediaError::UnrecognizedCommand},
        {QStringLiteral("dance s"), MediaError::UnrecognizedCommand},
        {QStringLiteral("play"), MediaError::MissingParameter},
        {QStringLiteral("play nobody from 0 to 10"), MediaError::DeviceNotOpen},
        {QStringLiteral("play s from 0 to -1"), MediaError::OutOfRange},
        {QStringLiteral("play s from 0 to 1000000"), MediaError::OutOfRange},
        {QStringLiteral("play s from 10 to 5"), MediaError::OutOfRange},
        {QStringLiteral("play s from x"), MediaError::BadInteger},
        {QStringLiteral("play s from"), MediaError::MissingParameter},
        {QStringLiteral("play s backwards"), MediaError::UnrecognizedKeyword},
        {QStringLiteral("set s time format seconds"), MediaError::BadTimeFormat},
        {QStringLiteral("set s audio all off"), MediaError::UnrecognizedKeyword},
        {QStringLiteral("status s volume"), MediaError::UnrecognizedKeyword},
        {QStringLiteral("open %1 type WaveAudio Alias w").arg(song), MediaError::UnsupportedDeviceType},
        {QStringLiteral("open %1 type MPEGVideo Alias S").arg(song), MediaError::DuplicateAlias},
        {QStringLiteral("open %1 type MPEGVideo Alias q parent x").arg(song), MediaError::BadInteger},
        {QStringLiteral("open %1 type MPEGVideo Alias all").arg(song), MediaError::UnrecognizedKeyword},
        {QStringLiteral("open %1 type MPEGVideo Alias").arg(song), MediaError::MissingParameter},
    };
    QStringList texts;
    for (const auto &[command, code] : cases) {
        SCOPED_TRACE(command.toStdString());
        EXPECT_EQ(send(command), code);
        const QString text = service.errorString(code);
        EXPECT_FALSE(text.isEmpty());
        if (!texts.contains(text))
            texts.append(text);
    }
    EXPECT_EQ(texts.size(), 9); // one text per distinct code
    EXPECT_TRUE(service.errorString(12345).contains(QStringLiteral("12345")));

    // Quoted paths with blanks, trailing blanks of a padded buffer, and any letter case.
    QTemporaryDir dir;
    const QString spaced = dir.filePath(QStringLiteral("en låt.mp3"));
    ASSERT_TRUE(QFile::copy(song, spaced));
    EXPECT_EQ(send(QStringLiteral("OPEN \"%1\" TYPE mpegvideo ALIAS q    ").arg(spaced)), 0);
    EXPECT_EQ(send(QStringLiteral("open %1 type MPEGVideo alias r").arg(spaced)), 0);
    EXPECT_EQ(ask(QStringLiteral("STATUS Q LENGTH")), ask(QStringLiteral("status r length")));
}
