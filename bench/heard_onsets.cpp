// Where each of several songs begins in a recording of what the sound output played: the songs
// are decoded by the program's own decoder, exactly as a client plays them, and found in the
// recording by cross-correlation, to the frame. Prints one JSON object.
//   tunvero_heard_onsets [--rate R --channels C] [--count K] [--seconds S] [--from F]
//                        [--min-confidence X] [--loud L] RECORDING SONG.mp3...
// RECORDING is a WAV file or raw signed 16-bit little-endian (then --rate and --channels are
// needed); it has to be at the songs' rate and channel count, since nothing is resampled.
// With --from, what is looked for is each song from F seconds on (decoded from its beginning, as
// a client that plays it through decodes it), and a frame reported is where that point lies: a
// client that joined a song midway is found where it played.
// With --loud, each song's first frame with a sample of at least L (in size) is reported, and
// for each beginning how many frames of the song were not heard: which frame of the song the
// recording's first loud frame there holds (within 50 ms of where the match puts it), less the
// song's first loud frame. This counts only where the recording holds that song alone (a card
// of its own).
#include "OnsetFinder.h"
#include "playback/Mp3Decoder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace {

struct Pcm {
    int rate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples;
};

std::vector<std::int16_t> samplesOf(const char *data, qint64 bytes)
{
    std::vector<std::int16_t> samples(std::size_t(bytes / 2));
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = qFromLittleEndian<qint16>(data + 2 * i);
    return samples;
}

// A RIFF WAV file of 16-bit PCM. A recorder stopped by a signal may leave the data size unset
// or too large: the data then runs to the end of the file.
std::optional<Pcm> readWav(const QByteArray &file, QString &error)
{
    Pcm pcm;
    qsizetype at = 12;
    bool format = false;
    while (at + 8 <= file.size()) {
        const QByteArray id = file.mid(at, 4);
        const qint64 size = qFromLittleEndian<quint32>(file.constData() + at + 4);
        const qsizetype body = at + 8;
        if (id == "fmt " && size >= 16 && body + 16 <= file.size()) {
            const char *f = file.constData() + body;
            const quint16 tag = qFromLittleEndian<quint16>(f);
            pcm.channels = qFromLittleEndian<quint16>(f + 2);
            pcm.rate = int(qFromLittleEndian<quint32>(f + 4));
            const quint16 bits = qFromLittleEndian<quint16>(f + 14);
            if ((tag != 1 && tag != 0xFFFE) || bits != 16) {
                error = QStringLiteral("the WAV file is not 16-bit PCM");
                return std::nullopt;
            }
            format = true;
        } else if (id == "data") {
            if (!format)
                break;
            pcm.samples = samplesOf(file.constData() + body, std::min<qint64>(size, file.size() - body));
            return pcm;
        }
        at = body + size + (size & 1);
    }
    error = QStringLiteral("the WAV file holds no 16-bit PCM data");
    return std::nullopt;
}

std::optional<Pcm> readRecording(const QString &path, int rate, int channels, QString &error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1").arg(path);
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    if (bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WAVE")
        return readWav(bytes, error);
    if (rate <= 0 || channels <= 0) {
        error = QStringLiteral("a raw recording needs --rate and --channels");
        return std::nullopt;
    }
    return Pcm{rate, channels, samplesOf(bytes.constData(), bytes.size())};
}

// `maxFrames` frames of the song (all when 0) from frame `skipFrames` on, decoded as a client
// decodes them when it plays the song from its beginning.
std::optional<Pcm> decodeSong(const QString &path, qint64 skipFrames, qint64 maxFrames, QString &error)
{
    Mp3Decoder decoder;
    if (!decoder.open(path)) {
        error = QStringLiteral("cannot decode %1").arg(path);
        return std::nullopt;
    }
    skipFrames = std::clamp<qint64>(skipFrames, 0, decoder.lengthSamples());
    const qint64 left = decoder.lengthSamples() - skipFrames;
    const qint64 frames = maxFrames > 0 ? std::min(maxFrames, left) : left;
    QByteArray data((skipFrames + frames) * decoder.bytesPerSample(), Qt::Uninitialized);
    qint64 filled = 0;
    while (filled < data.size()) {
        const qint64 got = decoder.read(data.data() + filled, data.size() - filled);
        if (got <= 0)
            break;
        filled += got;
    }
    const qint64 skipped = std::min(filled, skipFrames * decoder.bytesPerSample());
    return Pcm{decoder.sampleRate(), decoder.channels(), samplesOf(data.constData() + skipped, filled - skipped)};
}

// The first frame from `from` (up to `to`) with a sample at least `loud` in size; -1 for none.
std::int64_t firstLoudFrame(const std::vector<std::int16_t> &samples, int channels, std::int64_t from, std::int64_t to,
                            int loud)
{
    to = std::min<std::int64_t>(to, std::int64_t(samples.size()) / channels);
    for (std::int64_t frame = std::max<std::int64_t>(from, 0); frame < to; ++frame) {
        for (int c = 0; c < channels; ++c) {
            if (std::abs(int(samples[std::size_t(frame * channels + c)])) >= loud)
                return frame;
        }
    }
    return -1;
}

// Which of the song's frames (from `songFrom` on, up to `songTo`) the recording holds at frame
// `at`: the one whose next frames match it best.
std::int64_t songFrameAt(const std::vector<std::int16_t> &heard, const std::vector<std::int16_t> &song, int channels,
                         std::int64_t at, std::int64_t songFrom, std::int64_t songTo)
{
    constexpr std::int64_t span = 64;
    const std::int64_t heardFrames = std::int64_t(heard.size()) / channels;
    const std::int64_t compared = std::min(span, heardFrames - at) * channels;
    songTo = std::min(songTo, std::int64_t(song.size()) / channels - span);
    std::int64_t best = songFrom;
    std::int64_t bestDistance = -1;
    for (std::int64_t k = songFrom; k <= songTo && compared > 0; ++k) {
        std::int64_t distance = 0;
        for (std::int64_t i = 0; i < compared && (bestDistance < 0 || distance < bestDistance); ++i)
            distance += std::abs(int(heard[std::size_t(at * channels + i)]) - int(song[std::size_t(k * channels + i)]));
        if (bestDistance < 0 || distance < bestDistance) {
            best = k;
            bestDistance = distance;
        }
    }
    return best;
}

int fail(const QString &text)
{
    std::fprintf(stderr, "tunvero_heard_onsets: %s\n", qPrintable(text));
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Finds where each song begins in a recording of the output."));
    parser.addHelpOption();
    const QCommandLineOption rateOption(QStringLiteral("rate"), QStringLiteral("Rate of a raw recording."),
                                        QStringLiteral("hz"));
    const QCommandLineOption channelsOption(QStringLiteral("channels"), QStringLiteral("Channels of a raw recording."),
                                            QStringLiteral("n"));
    const QCommandLineOption countOption(QStringLiteral("count"),
                                         QStringLiteral("Beginnings to find for each song (default 1)."),
                                         QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption secondsOption(QStringLiteral("seconds"),
                                           QStringLiteral("Only the songs' first seconds are looked for."),
                                           QStringLiteral("s"), QStringLiteral("0"));
    const QCommandLineOption fromOption(QStringLiteral("from"),
                                        QStringLiteral("Look for the songs from this second on (default 0)."),
                                        QStringLiteral("s"), QStringLiteral("0"));
    const QCommandLineOption minimumOption(QStringLiteral("min-confidence"),
                                           QStringLiteral("A beginning is \"matched\" from this confidence on "
                                                          "(default 4)."),
                                           QStringLiteral("x"), QStringLiteral("4"));
    const QCommandLineOption loudOption(QStringLiteral("loud"),
                                        QStringLiteral("Report the frames of each beginning not heard, taking a "
                                                       "sample of at least this size as heard."),
                                        QStringLiteral("size"), QStringLiteral("0"));
    parser.addOptions({rateOption, channelsOption, countOption, secondsOption, fromOption, minimumOption, loudOption});
    parser.addPositionalArgument(QStringLiteral("recording"), QStringLiteral("WAV or raw s16le recording."));
    parser.addPositionalArgument(QStringLiteral("songs"), QStringLiteral("MP3 files to find."),
                                 QStringLiteral("SONG.mp3..."));
    parser.process(app);
    const QStringList arguments = parser.positionalArguments();
    if (arguments.size() < 2)
        return fail(QStringLiteral("give a recording and at least one song"));
    const int count = parser.value(countOption).toInt();
    const double minimum = parser.value(minimumOption).toDouble();
    const int loud = parser.value(loudOption).toInt();
    if (count < 1)
        return fail(QStringLiteral("--count needs a number of at least 1"));

    QElapsedTimer elapsed;
    elapsed.start();
    QString error;
    std::optional<Pcm> recording = readRecording(arguments.constFirst(), parser.value(rateOption).toInt(),
                                                 parser.value(channelsOption).toInt(), error);
    if (!recording)
        return fail(error);
    if (recording->channels < 1 || recording->channels > 2)
        return fail(QStringLiteral("the recording has %1 channels; 1 or 2 are read").arg(recording->channels));

    const qint64 maxFrames = qint64(parser.value(secondsOption).toDouble() * recording->rate);
    const qint64 fromFrame = qint64(std::llround(parser.value(fromOption).toDouble() * recording->rate));
    std::vector<Pcm> songs;
    std::int64_t longest = 0;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        std::optional<Pcm> song = decodeSong(arguments.at(i), fromFrame, maxFrames, error);
        if (!song)
            return fail(error);
        if (song->rate != recording->rate || song->channels != recording->channels)
            return fail(QStringLiteral("%1 is %2 Hz, %3 channels; the recording %4 Hz, %5 channels")
                            .arg(arguments.at(i))
                            .arg(song->rate)
                            .arg(song->channels)
                            .arg(recording->rate)
                            .arg(recording->channels));
        longest = std::max<std::int64_t>(longest, std::int64_t(song->samples.size()) / song->channels);
        songs.push_back(std::move(*song));
    }

    const int rate = recording->rate;
    const int channels = recording->channels;
    // The finder takes the samples; what was heard is looked up in a copy.
    std::vector<std::int16_t> heard;
    if (loud > 0)
        heard = recording->samples;
    const OnsetFinder finder(std::move(recording->samples), channels, longest);
    QJsonArray found;
    for (std::size_t i = 0; i < songs.size(); ++i) {
        const std::int64_t songFrames = std::int64_t(songs[i].samples.size()) / channels;
        const std::int64_t songLoud = loud > 0 ? firstLoudFrame(songs[i].samples, channels, 0, songFrames, loud) : -1;
        QJsonArray onsets;
        for (const OnsetFinder::Onset &onset : finder.find(songs[i].samples, count)) {
            QJsonObject object{{QStringLiteral("frame"), qint64(onset.frame)},
                               {QStringLiteral("seconds"), double(onset.frame) / rate},
                               {QStringLiteral("confidence"), std::round(onset.confidence * 100) / 100},
                               {QStringLiteral("matched"), onset.confidence >= minimum}};
            if (songLoud >= 0) {
                // The recording's first loud frame is found a little before where the song's
                // lies by the match, and then which song frame it holds: a client that held its
                // song to its clock dropped or inserted frames in the searched part, and the
                // match lies where most of it does, a few frames off its beginning.
                const std::int64_t due = onset.frame + songLoud;
                const std::int64_t first =
                    firstLoudFrame(heard, channels, due - rate / 100, onset.frame + songFrames, loud);
                const std::int64_t near = songLoud + std::max<std::int64_t>(0, first - due);
                const std::int64_t heardFirst =
                    first < 0 ? -1
                              : songFrameAt(heard, songs[i].samples, channels, first,
                                            std::max(songLoud, near - rate / 20), near + rate / 20);
                object.insert(QStringLiteral("lost_frames"), qint64(first < 0 ? -1 : heardFirst - songLoud));
            }
            onsets.append(object);
        }
        QJsonObject song{{QStringLiteral("file"), arguments.at(qsizetype(i) + 1)},
                         {QStringLiteral("frames"), qint64(songFrames)},
                         {QStringLiteral("onsets"), onsets}};
        if (loud > 0)
            song.insert(QStringLiteral("first_loud_frame"), qint64(songLoud));
        found.append(song);
    }
    const QJsonObject result{{QStringLiteral("rate"), rate},
                             {QStringLiteral("channels"), finder.channels()},
                             {QStringLiteral("frames"), qint64(finder.frames())},
                             {QStringLiteral("from_frame"), fromFrame},
                             {QStringLiteral("songs"), found},
                             {QStringLiteral("elapsed_ms"), elapsed.elapsed()}};
    std::printf("%s\n", QJsonDocument(result).toJson(QJsonDocument::Compact).constData());
    return 0;
}
