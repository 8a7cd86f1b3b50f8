#include "net/WireScan.h"

namespace wireScan {

TokenAt tokenAt(const QByteArray &bytes, qsizetype pos, const QList<QByteArray> &tokens)
{
    const QByteArrayView rest = QByteArrayView(bytes).sliced(pos);
    bool partial = false;
    for (int i = 0; i < tokens.size(); ++i) {
        const QByteArray &t = tokens[i];
        if (rest.size() >= t.size()) {
            if (rest.first(t.size()) == t)
                return {Match::Full, i, t.size()};
        } else if (!rest.isEmpty() && QByteArrayView(t).startsWith(rest)) {
            partial = true;
        }
    }
    return {partial ? Match::Partial : Match::None, -1, 0};
}

qsizetype findToken(const QByteArray &bytes, qsizetype from, const QList<QByteArray> &tokens, bool *partial,
                    qsizetype *examined)
{
    // One pass: each position is looked at once, and only where some token's first byte
    // stands is it compared further, so the search costs the bytes it passes.
    *partial = false;
    for (qsizetype p = from; p < bytes.size(); ++p) {
        if (examined)
            ++*examined;
        const char c = bytes[p];
        bool first = false;
        for (const QByteArray &t : tokens)
            first = first || t.front() == c;
        if (!first)
            continue;
        const TokenAt at = tokenAt(bytes, p, tokens);
        if (at.match == Match::None)
            continue;
        *partial = at.match == Match::Partial;
        return p;
    }
    return -1;
}

qsizetype findWithin(const QByteArray &bytes, qsizetype from, qsizetype to, QByteArrayView what, bool *partial,
                     qsizetype *examined)
{
    *partial = false;
    to = std::min(to, bytes.size());
    if (from >= to)
        return -1;
    // Whole occurrences may run past `to`; only their start must lie before it.
    const qsizetype wholeEnd = std::min(bytes.size(), to + what.size() - 1);
    const qsizetype at = QByteArrayView(bytes).sliced(from, wholeEnd - from).indexOf(what);
    if (at >= 0) {
        *examined += at + 1;
        return from + at;
    }
    *examined += to - from;
    for (qsizetype p = std::max(from, bytes.size() - what.size() + 1); p < to; ++p) {
        if (standsAt(bytes, p, what) == Match::Partial) {
            *partial = true;
            return p;
        }
    }
    return -1;
}

Match standsAt(const QByteArray &bytes, qsizetype pos, QByteArrayView what)
{
    if (pos > bytes.size())
        return Match::Partial;
    const qsizetype have = std::min(what.size(), bytes.size() - pos);
    if (QByteArrayView(bytes).sliced(pos, have) != what.first(have))
        return Match::None;
    return have == what.size() ? Match::Full : Match::Partial;
}

qsizetype digitsAt(const QByteArray &bytes, qsizetype pos, qsizetype maxDigits)
{
    qsizetype n = 0;
    while (n < maxDigits && pos + n < bytes.size() && bytes[pos + n] >= '0' && bytes[pos + n] <= '9')
        ++n;
    return n;
}

bool slotMayGoOn(const QByteArray &digits, const std::function<bool(int slot)> &possible)
{
    for (int slot = 0; slot <= lastSlot; ++slot) {
        const QByteArray written = QByteArray::number(slot);
        if (written.size() > digits.size() && written.startsWith(digits) && possible(slot))
            return true;
    }
    return false;
}

QList<QByteArray> songLines(const QByteArray &data)
{
    QList<QByteArray> lines;
    qsizetype pos = 0;
    while (pos < data.size() && lines.size() <= lastSlot) {
        qsizetype end = data.indexOf("\r\n", pos);
        if (end < 0)
            end = data.size();
        const QByteArray line = data.sliced(pos, end - pos);
        if (line.isEmpty())
            break;
        lines.append(line);
        pos = end + 2;
    }
    return lines;
}

} // namespace wireScan
