#include "net/RunClockWords.h"

#include <QList>

namespace runClockWords {

namespace {

// Exactly `count` fields, each a whole number written plainly (no blanks, signs only for negatives).
std::optional<QList<qint64>> numbers(const QByteArray &data, int count)
{
    const QList<QByteArray> fields = data.split(' ');
    if (fields.size() != count)
        return std::nullopt;
    QList<qint64> values;
    for (const QByteArray &field : fields) {
        bool ok = false;
        const qint64 value = field.toLongLong(&ok);
        if (!ok || field != QByteArray::number(value))
            return std::nullopt;
        values.append(value);
    }
    return values;
}

QByteArray line(const QByteArray &word, const QList<qint64> &fields)
{
    QByteArray bytes = word + "\r\n";
    for (qsizetype i = 0; i < fields.size(); ++i)
        bytes += (i > 0 ? " " : "") + QByteArray::number(fields[i]);
    return bytes + "\r\n";
}

} // namespace

LineEnd lineEnd(const QByteArray &bytes, qsizetype start, qsizetype *scanned)
{
    qsizetype i = std::max(start, start + *scanned);
    const qsizetype limit = std::min(bytes.size(), start + maxLineBytes);
    for (; i < limit; ++i) {
        const char c = bytes[i];
        if ((c < '0' || c > '9') && c != ' ' && c != '-')
            break;
    }
    *scanned = i - start;
    if (i == bytes.size())
        return {};
    if (i + 1 < bytes.size() && bytes[i] == '\r' && bytes[i + 1] == '\n')
        return {i, i + 2 - start};
    if (bytes[i] == '\r' && i + 1 == bytes.size())
        return {};
    return {i, i - start};
}

QByteArray askBytes(const Ask &ask)
{
    return line(clockAsk, {ask.number, ask.outputLatencyMs});
}

std::optional<Ask> parseAsk(const QByteArray &data)
{
    const std::optional<QList<qint64>> v = numbers(data, 2);
    if (!v || (*v)[0] < 0 || (*v)[0] > 0xffffffffLL || (*v)[1] < 0)
        return std::nullopt;
    return Ask{quint32((*v)[0]), int(std::min<qint64>((*v)[1], 60000))};
}

QByteArray tellBytes(const Tell &tell)
{
    return line(clockTell, {tell.number, tell.receivedNs, tell.sentNs});
}

std::optional<Tell> parseTell(const QByteArray &data)
{
    const std::optional<QList<qint64>> v = numbers(data, 3);
    if (!v || (*v)[0] < 0 || (*v)[0] > 0xffffffffLL)
        return std::nullopt;
    return Tell{quint32((*v)[0]), (*v)[1], (*v)[2]};
}

QByteArray playAtBytes(const PlayAt &play)
{
    return line(playMusicAt, {play.slot, play.atNs, play.delayMs});
}

std::optional<PlayAt> parsePlayAt(const QByteArray &data)
{
    const std::optional<QList<qint64>> v = numbers(data, 3);
    if (!v || (*v)[0] < 0 || (*v)[0] > 200 || (*v)[2] < 0 || (*v)[2] > 60000)
        return std::nullopt;
    return PlayAt{int((*v)[0]), (*v)[1], int((*v)[2])};
}

} // namespace runClockWords
