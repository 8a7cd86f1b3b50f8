#include "BlockFileReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// Large enough that a scan of a long song takes a few dozen reads, small enough to keep
// while a song plays.
constexpr qint64 kBlockBytes = 256 * 1024;

} // namespace

bool BlockFileReader::open(const QString &path)
{
    close();
    m_file.setFileName(path);
    // Unbuffered: the block is the only buffer, so each miss is exactly one read.
    return m_file.open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

void BlockFileReader::close()
{
    m_file.close();
    dropBlock();
    m_pos = 0;
}

void BlockFileReader::dropBlock()
{
    m_block = QByteArray();
    m_blockStart = 0;
}

qint64 BlockFileReader::read(char *data, qint64 bytes)
{
    qint64 total = 0;
    while (total < bytes) {
        const qint64 inBlock = m_pos - m_blockStart;
        if (inBlock < 0 || inBlock >= m_block.size()) {
            // A miss: one read of the block that holds m_pos. A file that shrank or vanished
            // gives a short or empty block, and so the end.
            m_block.resize(kBlockBytes);
            qint64 got = -1;
            if (m_file.seek(m_pos))
                got = m_file.read(m_block.data(), kBlockBytes);
            m_block.resize(std::max<qint64>(0, got));
            m_blockStart = m_pos;
            if (got <= 0)
                break;
            continue;
        }
        const qint64 count = std::min(bytes - total, m_block.size() - inBlock);
        std::memcpy(data + total, m_block.constData() + inBlock, size_t(count));
        total += count;
        m_pos += count;
    }
    return total;
}

qint64 BlockFileReader::seek(qint64 offset, int whence)
{
    qint64 base = 0;
    if (whence == SEEK_CUR)
        base = m_pos;
    else if (whence == SEEK_END)
        base = m_file.size();
    else if (whence != SEEK_SET)
        return -1;
    if (base + offset < 0)
        return -1;
    m_pos = base + offset;
    return m_pos;
}
