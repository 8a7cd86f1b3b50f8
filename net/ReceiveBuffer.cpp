#include "net/ReceiveBuffer.h"

#include "core/MonotonicClock.h"
#include "net/WireScan.h"

qint64 ReceiveBuffer::nowNs()
{
    return MonotonicClock::nowNs();
}

void ReceiveBuffer::append(const QByteArray &more, qint64 readAtNs)
{
    if (overflowed)
        return;
    if (pos > 0) {
        bytes.remove(0, pos);
        dropped += pos;
        pos = 0;
        while (!reads.isEmpty() && reads.first().end <= dropped)
            reads.removeFirst();
    }
    bytes.append(more);
    if (!more.isEmpty()) {
        reads.append({dropped + bytes.size() - more.size(), dropped + bytes.size(), readAtNs});
        if (reads.size() > keptReads)
            reads.removeFirst();
    }
    settled = false;
}

qint64 ReceiveBuffer::readAtNs(qsizetype index) const
{
    for (const Read &read : reads) {
        if (dropped + index < read.end)
            return read.atNs;
    }
    return reads.isEmpty() ? nowNs() : reads.last().atNs;
}

bool ReceiveBuffer::startsRead(qsizetype index) const
{
    for (const Read &read : reads) {
        if (dropped + index < read.end)
            return dropped + index == read.start;
    }
    return false;
}

void ReceiveBuffer::clear()
{
    const qsizetype examinedSoFar = examined;
    *this = ReceiveBuffer{};
    examined = examinedSoFar;
}

void ReceiveBuffer::skipUnknown(const QList<QByteArray> &tokens, qsizetype cap)
{
    bool partial = false;
    qsizetype to = wireScan::findToken(bytes, pos + 1, tokens, &partial, &examined);
    if (to < 0)
        to = bytes.size();
    skipped += to - pos;
    pos = to;
    checkCap(skipped, cap);
}

void ReceiveBuffer::checkCap(qsizetype pending, qsizetype cap)
{
    if (pending > cap)
        overflowed = true;
}

qsizetype ReceiveBuffer::find(QByteArrayView what, qsizetype from)
{
    const qsizetype at = QByteArrayView(bytes).indexOf(what, from);
    examined += (at < 0 ? bytes.size() : at) - from;
    return at;
}

QByteArray ReceiveBuffer::copy(qsizetype from, qsizetype length)
{
    examined += length;
    return bytes.sliced(from, length);
}
