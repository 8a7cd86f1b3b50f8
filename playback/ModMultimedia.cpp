#include "ModMultimedia.h"

#include "MediaCommandService.h"
#include "MediaError.h"

#include <cmath>

namespace {

// Fixed text buffers of the commands: a longer command is cut, a shorter one padded with blanks.
constexpr qsizetype kOpenCommandLength = 255;
constexpr qsizetype kPlayCommandLength = 128;
constexpr qsizetype kShortPathLength = 255;
constexpr qsizetype kAnswerLength = 128;
constexpr qsizetype kErrorTextLength = 128;
// The child-window style, 40000000 hexadecimal.
constexpr qint64 kChildWindowStyle = 0x40000000;

QString inBuffer(const QString &command, qsizetype length)
{
    return command.leftJustified(length, QLatin1Char(' '), true);
}

// The number an answer text starts with: leading blanks skipped, read up to the first character
// that cannot continue a decimal number, rounded to the nearest whole number; 0 if there is none.
qint32 leadingNumber(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i) == QLatin1Char(' '))
        ++i;
    const qsizetype start = i;
    if (i < text.size() && (text.at(i) == QLatin1Char('-') || text.at(i) == QLatin1Char('+')))
        ++i;
    bool point = false;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('.') && !point)
            point = true;
        else if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            break;
        ++i;
    }
    bool ok = false;
    const double value = text.mid(start, i - start).toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return 0;
    const double rounded = std::nearbyint(value);
    if (rounded > 2147483647.0 || rounded < -2147483648.0)
        return 0;
    return qint32(rounded);
}

} // namespace

ModMultimedia::ModMultimedia(MediaCommandService &service, ShortPathOf shortPath)
    : m_service(service), m_shortPath(std::move(shortPath))
{
    if (!m_shortPath) {
        m_shortPath = [shortPaths = MediaShortPath()](const QString &path) mutable {
            return shortPaths.shortPathOf(path);
        };
    }
}

QString ModMultimedia::answerFor(int code) const
{
    if (code == 0)
        return QStringLiteral("Success");
    return m_service.errorString(code).left(kErrorTextLength);
}

QString ModMultimedia::MediaOpen(qint32 parent, const QString &alias, const QString &path, const QString &type)
{
    const MediaShortPath::Result found = m_shortPath(path);
    // The song is there but cannot be reached by a short path: not the same as a missing file.
    if (found.outcome == MediaShortPath::Result::Outcome::Failed)
        return answerFor(MediaError::NoShortPath);
    QString shortPath = found.path;
    // A short form that does not fit its buffer is no short form at all.
    if (shortPath.size() > kShortPathLength)
        shortPath.clear();
    const QString command = QStringLiteral("open ") + shortPath + QStringLiteral(" type ") + type +
                            QStringLiteral(" Alias ") + alias + QStringLiteral(" parent ") + QString::number(parent) +
                            QStringLiteral(" Style ") + QString::number(kChildWindowStyle);
    return answerFor(m_service.sendString(inBuffer(command, kOpenCommandLength), nullptr));
}

QString ModMultimedia::MediaPlay(const QString &alias, const QString &from, const QString &to)
{
    const QString start = from.isEmpty() ? QStringLiteral("0") : from;
    const QString end = to.isEmpty() ? QString::number(MediaLengthFrames(alias)) : to;
    const QString command =
        QStringLiteral("play ") + alias + QStringLiteral(" from ") + start + QStringLiteral(" to ") + end;
    return answerFor(m_service.sendString(inBuffer(command, kPlayCommandLength), nullptr));
}

void ModMultimedia::startNextPlayAt(qint64 monotonicNs, std::function<qint64(qint64 songNs)> timeline)
{
    m_service.startNextPlayAt(monotonicNs, std::move(timeline));
}

int ModMultimedia::outputLatencyMs()
{
    const std::optional<qint64> ns = m_service.outputLatencyNs();
    return ns ? int((*ns + 999999) / 1000000) : 0;
}

void ModMultimedia::prepareOutput()
{
    m_service.prepareOutput();
}

QString ModMultimedia::MediaStop(const QString &alias)
{
    return answerFor(m_service.sendString(QStringLiteral("Stop ") + alias, nullptr));
}

QString ModMultimedia::MediaClose(const QString &alias)
{
    return answerFor(m_service.sendString(QStringLiteral("Close ") + alias, nullptr));
}

QString ModMultimedia::MediaCloseAll()
{
    return answerFor(m_service.sendString(QStringLiteral("Close All"), nullptr));
}

qint32 ModMultimedia::queryLength(const QString &alias, int *code)
{
    QString answer;
    *code = m_service.sendString(QStringLiteral("status ") + alias + QStringLiteral(" length"), &answer);
    return leadingNumber(answer.left(kAnswerLength));
}

qint32 ModMultimedia::MediaLengthFrames(const QString &alias)
{
    m_service.sendString(QStringLiteral("set ") + alias + QStringLiteral(" time format frames"), nullptr);
    int code = 0;
    const qint32 length = queryLength(alias, &code);
    return code == 0 ? length : -1;
}

qint32 ModMultimedia::MediaLengthMs(const QString &alias)
{
    m_service.sendString(QStringLiteral("set ") + alias + QStringLiteral(" time format ms"), nullptr);
    int code = 0;
    const qint32 length = queryLength(alias, &code);
    // Every procedure leaves the device in frames.
    m_service.sendString(QStringLiteral("set ") + alias + QStringLiteral(" time format frames"), nullptr);
    return code == 0 ? length : -1;
}
