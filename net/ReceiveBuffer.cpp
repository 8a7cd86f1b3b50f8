#include "net/ReceiveBuffer.h"

#include "net/WireScan.h"

void ReceiveBuffer::append(const QByteArray &more)
{
    if (overflowed)
        return;
    if (pos > 0) {
        bytes.remove(0, pos);
        pos = 0;
    }
    bytes.append(more);
    settled = false;
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
