#include "transfer/IncomingSong.h"

#include <QSaveFile>

IncomingSong::IncomingSong() = default;

IncomingSong::~IncomingSong()
{
    discard();
}

bool IncomingSong::open(const QString &file)
{
    discard();
    m_file = std::make_unique<QSaveFile>(file);
    // Writing straight onto the name would leave a cut song under it.
    m_file->setDirectWriteFallback(false);
    // Unbuffered: a write that fails (no room) must fail here, where it is seen, not in a
    // flush that committing would let pass and so name a cut song.
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        m_file.reset();
        return false;
    }
    return true;
}

bool IncomingSong::append(const QByteArray &piece)
{
    if (!m_file || m_failed)
        return false;
    if (m_file->write(piece) != piece.size()) {
        m_failed = true;
        return false;
    }
    m_size += piece.size();
    return true;
}

bool IncomingSong::commit()
{
    if (!m_file)
        return false;
    const bool ok = !m_failed && m_file->flush() && m_file->commit();
    if (!ok)
        m_file->cancelWriting();
    m_file.reset();
    m_size = 0;
    m_failed = false;
    return ok;
}

void IncomingSong::discard()
{
    if (m_file)
        m_file->cancelWriting();
    m_file.reset();
    m_size = 0;
    m_failed = false;
}
