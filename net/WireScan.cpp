#include "net/WireScan.h"

namespace wireScan {

TokenAt tokenAt(const QByteArray &bytes, qsizetype pos, const QList<QByteArray> &tokens)
{
    const qsizetype available = bytes.size() - pos;
    bool partial = false;
    for (int i = 0; i < tokens.size(); ++i) {
        const QByteArray &t = tokens[i];
        if (available >= t.size()) {
            if (bytes.sliced(pos, t.size()) == t)
                return {Match::Full, i, t.size()};
        } else if (available > 0 && t.startsWith(bytes.sliced(pos))) {
            partial = true;
        }
    }
    return {partial ? Match::Partial : Match::None, -1, 0};
}

qsizetype findToken(const QByteArray &bytes, qsizetype from, const QList<QByteArray> &tokens, bool *partial)
{
    qsizetype best = -1;
    qsizetype longest = 0;
    for (const QByteArray &t : tokens) {
        longest = std::max(longest, t.size());
        const qsizetype at = bytes.indexOf(t, from);
        if (at >= 0 && (best < 0 || at < best))
            best = at;
    }
    // A token cut off by the end of the bytes can only start within the last few bytes.
    const qsizetype tailStart = std::max(from, bytes.size() - longest + 1);
    const qsizetype tailEnd = best >= 0 ? best : bytes.size();
    for (qsizetype p = tailStart; p < tailEnd; ++p) {
        if (tokenAt(bytes, p, tokens).match == Match::Partial) {
            *partial = true;
            return p;
        }
    }
    *partial = false;
    return best;
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
