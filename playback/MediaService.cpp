#include "MediaService.h"

#include "MediaError.h"
#include "core/MonotonicClock.h"
#include "PulseAudioOutput.h"
#include "SinkAudioOutput.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QFileInfo>
#include <QMediaDevices>

#include <memory>
#include <optional>
#include <utility>

namespace {

// Blank-separated words; a word in double quotes may hold blanks.
QStringList wordsOf(const QString &text)
{
    QStringList words;
    qsizetype i = 0;
    while (i < text.size()) {
        if (text.at(i).isSpace()) {
            ++i;
            continue;
        }
        if (text.at(i) == QLatin1Char('"')) {
            const qsizetype close = text.indexOf(QLatin1Char('"'), i + 1);
            const qsizetype end = close < 0 ? text.size() : close;
            words.append(text.mid(i + 1, end - i - 1));
            i = end + 1;
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && !text.at(end).isSpace())
            ++end;
        words.append(text.mid(i, end - i));
        i = end;
    }
    return words;
}

bool is(const QString &word, QLatin1StringView keyword)
{
    return word.compare(keyword, Qt::CaseInsensitive) == 0;
}

// Flags of the command language that ask for waiting or a notification; there is nothing to
// wait for and nobody to notify, so they are accepted and ignored.
bool isIgnoredFlag(const QString &word)
{
    return is(word, QLatin1StringView("wait")) || is(word, QLatin1StringView("notify")) ||
           is(word, QLatin1StringView("shareable"));
}

QString keyOf(const QString &alias)
{
    return alias.toCaseFolded();
}

} // namespace

MediaService::MediaService(QObject *parent)
    : MediaService(
          []() -> std::unique_ptr<AudioOutput> {
              // A PulseAudio server tells when each sample is heard; Qt's output cannot.
              if (PulseAudioOutput::serverAvailable())
                  return std::make_unique<PulseAudioOutput>();
              if (QMediaDevices::defaultAudioOutput().isNull())
                  return nullptr; // no sound device: the device keeps time silently
              return std::make_unique<SinkAudioOutput>();
          },
          parent)
{
    // Connects to the sound server now, so that the first "play" does not pay for it.
    if (!PulseAudioOutput::serverAvailable())
        QMediaDevices::defaultAudioOutput();
}

MediaService::MediaService(AudioOutputFactory makeOutput, QObject *parent)
    : QObject(parent), m_makeOutput(std::move(makeOutput))
{
}

MediaService::~MediaService()
{
    close(QStringLiteral("all"));
}

QString MediaService::errorString(int code) const
{
    return MediaError::text(code);
}

int MediaService::sendString(const QString &command, QString *answer)
{
    if (answer)
        answer->clear();
    QString text = command;
    text.replace(QChar(u'\0'), QLatin1Char(' '));
    text = text.trimmed();
    const qsizetype verbEnd = text.indexOf(QLatin1Char(' '));
    const QString verb = text.left(verbEnd < 0 ? text.size() : verbEnd);
    if (is(verb, QLatin1StringView("open")))
        return open(verbEnd < 0 ? QString() : text.mid(verbEnd + 1));

    // A start moment holds for the next play only, whether it succeeds or not.
    const bool playing = is(verb, QLatin1StringView("play"));
    const std::optional<qint64> startAtNs = playing ? std::exchange(m_nextPlayAtNs, std::nullopt) : std::nullopt;
    Timeline timeline = playing ? std::exchange(m_nextTimeline, {}) : Timeline{};
    const QStringList words = wordsOf(text);
    if (words.isEmpty())
        return MediaError::UnrecognizedCommand;
    const bool known = is(verb, QLatin1StringView("play")) || is(verb, QLatin1StringView("stop")) ||
                       is(verb, QLatin1StringView("close")) || is(verb, QLatin1StringView("set")) ||
                       is(verb, QLatin1StringView("status"));
    if (!known)
        return MediaError::UnrecognizedCommand;
    if (words.size() < 2)
        return MediaError::MissingParameter;
    const QString &alias = words.at(1);

    if (is(verb, QLatin1StringView("close")))
        return close(alias);
    if (is(verb, QLatin1StringView("stop")) && is(alias, QLatin1StringView("all"))) {
        for (MediaDevice *each : std::as_const(m_devices))
            each->stop();
        return MediaError::Success;
    }
    MediaDevice *target = device(alias);
    if (!target)
        return MediaError::DeviceNotOpen;
    if (is(verb, QLatin1StringView("stop"))) {
        target->stop();
        return MediaError::Success;
    }
    if (is(verb, QLatin1StringView("play")))
        return play(target, words, startAtNs, std::move(timeline));
    if (is(verb, QLatin1StringView("set")))
        return set(target, words);
    return status(target, words, answer);
}

MediaDevice *MediaService::device(const QString &alias) const
{
    return m_devices.value(keyOf(alias), nullptr);
}

int MediaService::open(const QString &arguments)
{
    // The path runs up to the last " type " (a short path holds no blanks, but a long one may),
    // unless it is quoted or there is no type at all.
    const QString rest = QLatin1Char(' ') + arguments.trimmed();
    QString path;
    QString tail;
    if (rest.startsWith(QLatin1String(" \""))) {
        const qsizetype close = rest.indexOf(QLatin1Char('"'), 2);
        path = rest.mid(2, close < 0 ? -1 : close - 2);
        tail = close < 0 ? QString() : rest.mid(close + 1);
    } else {
        const qsizetype type = rest.lastIndexOf(QLatin1String(" type "), -1, Qt::CaseInsensitive);
        if (type >= 0) {
            path = rest.left(type).trimmed();
            tail = rest.mid(type);
        } else {
            const QStringList words = wordsOf(rest);
            path = words.value(0);
            tail = words.mid(1).join(QLatin1Char(' '));
        }
    }

    QString alias = path;
    const QStringList words = wordsOf(tail);
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString &word = words.at(i);
        if (isIgnoredFlag(word))
            continue;
        const bool withValue = is(word, QLatin1StringView("type")) || is(word, QLatin1StringView("alias")) ||
                               is(word, QLatin1StringView("parent")) || is(word, QLatin1StringView("style"));
        if (!withValue)
            return MediaError::UnrecognizedKeyword;
        if (i + 1 >= words.size())
            return MediaError::MissingParameter;
        const QString &value = words.at(++i);
        if (is(word, QLatin1StringView("type")) && !is(value, QLatin1StringView("MPEGVideo")))
            return MediaError::UnsupportedDeviceType;
        if (is(word, QLatin1StringView("alias")))
            alias = value;
        // The parent window and its style matter to video only; they are checked, not used.
        bool number = true;
        if (is(word, QLatin1StringView("parent")) || is(word, QLatin1StringView("style")))
            value.toLongLong(&number);
        if (!number)
            return MediaError::BadInteger;
    }

    if (path.isEmpty() || !QFileInfo(path).isFile())
        return MediaError::FileNotFound;
    if (alias.isEmpty() || is(alias, QLatin1StringView("all")))
        return MediaError::UnrecognizedKeyword;
    if (device(alias))
        return MediaError::DuplicateAlias;

    auto opened = std::make_unique<MediaDevice>();
    if (!opened->open(path))
        return MediaError::CannotPlayFile;
    OutputMixer *mixer = mixerFor(opened->sampleRate(), opened->channels());
    opened->setMixer(mixer);
    // The stream starts now rather than at "play"; one that will not start is tried again and
    // reported there.
    mixer->ensureStarted();
    opened->setParent(this);
    MediaDevice *added = opened.release();
    connect(added, &MediaDevice::firstSamplesHanded, this,
            [this, alias] { Q_EMIT firstSamplesHanded(alias, MonotonicClock::nowNs()); });
    connect(added, &MediaDevice::scheduled, this,
            [this, alias](qint64 startAtNs, qint64 lateNs) { Q_EMIT playScheduled(alias, startAtNs, lateNs); });
    connect(added, &MediaDevice::firstSampleHeard, this,
            [this, alias](qint64 startAtNs, qint64 heardNs, qint64 firstSample) {
                Q_EMIT firstSampleHeard(alias, startAtNs, heardNs, firstSample);
            });
    connect(added, &MediaDevice::stopped, this,
            [this, alias] { Q_EMIT deviceStopped(alias, MonotonicClock::nowNs()); });
    m_devices.insert(keyOf(alias), added);
    Q_EMIT deviceOpened(alias, path, MonotonicClock::nowNs());
    if (m_silentMixers.contains({added->sampleRate(), added->channels()}))
        Q_EMIT noSoundOutput(alias);
    return MediaError::Success;
}

std::optional<qint64> MediaService::outputLatencyNs()
{
    std::optional<qint64> longest;
    for (const auto &[format, mixer] : m_mixers) {
        if (const std::optional<qint64> ns = mixer->latencyNs())
            longest = std::max(longest.value_or(0), *ns);
    }
    return longest;
}

void MediaService::prepareOutput()
{
    mixerFor(44100, 2)->ensureStarted();
}

OutputMixer *MediaService::mixerFor(int sampleRate, int channels)
{
    std::unique_ptr<OutputMixer> &mixer = m_mixers[{sampleRate, channels}];
    if (!mixer) {
        QAudioFormat format;
        format.setSampleRate(sampleRate);
        format.setChannelCount(channels);
        format.setSampleFormat(QAudioFormat::Int16);
        const std::pair<int, int> key{sampleRate, channels};
        // The mixer falls back to a silent clock when it is given no output; it is noted here
        // so that the user can be told.
        mixer = std::make_unique<OutputMixer>(
            [this, key]() -> std::unique_ptr<AudioOutput> {
                std::unique_ptr<AudioOutput> output = m_makeOutput ? m_makeOutput() : nullptr;
                if (output)
                    m_silentMixers.erase(key);
                else
                    m_silentMixers.insert(key);
                return output;
            },
            format);
    }
    return mixer.get();
}

int MediaService::play(MediaDevice *device, const QStringList &words, std::optional<qint64> startAtNs,
                       Timeline timeline)
{
    std::optional<qint64> from;
    std::optional<qint64> to;
    for (qsizetype i = 2; i < words.size(); ++i) {
        const QString &word = words.at(i);
        if (isIgnoredFlag(word))
            continue;
        const bool isFrom = is(word, QLatin1StringView("from"));
        if (!isFrom && !is(word, QLatin1StringView("to")))
            return MediaError::UnrecognizedKeyword;
        if (i + 1 >= words.size())
            return MediaError::MissingParameter;
        bool number = false;
        const qint64 value = words.at(++i).toLongLong(&number);
        if (!number)
            return MediaError::BadInteger;
        (isFrom ? from : to) = value;
    }
    return device->play(from, to, startAtNs, std::move(timeline));
}

int MediaService::set(MediaDevice *device, const QStringList &words)
{
    if (words.size() < 5)
        return MediaError::MissingParameter;
    if (!is(words.at(2), QLatin1StringView("time")) || !is(words.at(3), QLatin1StringView("format")))
        return MediaError::UnrecognizedKeyword;
    const QString &format = words.at(4);
    if (is(format, QLatin1StringView("ms")) || is(format, QLatin1StringView("milliseconds")))
        device->setTimeFormat(MediaDevice::TimeFormat::Milliseconds);
    else if (is(format, QLatin1StringView("frames")))
        device->setTimeFormat(MediaDevice::TimeFormat::Frames);
    else
        return MediaError::BadTimeFormat;
    return MediaError::Success;
}

int MediaService::status(MediaDevice *device, const QStringList &words, QString *answer)
{
    if (words.size() < 3)
        return MediaError::MissingParameter;
    const QString item = words.mid(2).join(QLatin1Char(' '));
    QString result;
    if (is(item, QLatin1StringView("length")))
        result = QString::number(device->length());
    else if (is(item, QLatin1StringView("position")))
        result = QString::number(device->position());
    else if (is(item, QLatin1StringView("mode")))
        result = device->isPlaying() ? QStringLiteral("playing") : QStringLiteral("stopped");
    else if (is(item, QLatin1StringView("time format")))
        result = device->timeFormat() == MediaDevice::TimeFormat::Frames ? QStringLiteral("frames")
                                                                         : QStringLiteral("milliseconds");
    else
        return MediaError::UnrecognizedKeyword;
    if (answer)
        *answer = result;
    return MediaError::Success;
}

int MediaService::close(const QString &alias)
{
    QList<MediaDevice *> closing;
    if (is(alias, QLatin1StringView("all"))) {
        closing = m_devices.values();
        m_devices.clear();
    } else {
        MediaDevice *one = m_devices.take(keyOf(alias));
        if (!one)
            return MediaError::DeviceNotOpen;
        closing.append(one);
    }
    for (MediaDevice *each : std::as_const(closing)) {
        each->release(); // a playing device reports its stop here
        each->disconnect(this);
        // Later, not now: the close may come from a slot that one of these devices is calling.
        each->deleteLater();
    }
    return MediaError::Success;
}
