#include "transfer/SongStore.h"

#include "transfer/TransferText.h"

#include <QFile>
#include <QThread>

namespace {

// Large songs are read in blocks so an abandoned preparation stops soon.
constexpr qint64 readBlockBytes = 1024 * 1024;

} // namespace

SongStore::SongStore(QObject *parent) : QObject(parent)
{
}

SongStore::~SongStore()
{
    stopWorker();
}

void SongStore::stopWorker()
{
    if (!m_worker)
        return;
    m_cancel = true;
    m_worker->wait();
    m_worker.reset();
    m_cancel = false;
}

void SongStore::forgetSongs()
{
    ++m_generation;
    m_count = 0;
    m_ready = false;
    m_master.fill(QByteArray());
    m_readable.fill(false);
    Q_EMIT songsForgotten();
}

void SongStore::clear()
{
    stopWorker();
    forgetSongs();
}

void SongStore::prepare(const QStringList &fullPaths)
{
    stopWorker();
    forgetSongs();
    const QStringList paths = fullPaths.mid(0, slotCount);
    const quint64 generation = m_generation;
    // Results come back as queued calls, in order; a later prepare or clear makes them stale.
    m_worker.reset(QThread::create([this, paths, generation] {
        const auto current = [this, generation] { return generation == m_generation; };
        const qsizetype count = paths.size();
        for (qsizetype i = 0; i < count && !m_cancel; ++i) {
            const double shown = transferText::shownValue(static_cast<double>(i + 1) / count * 100.0);
            QMetaObject::invokeMethod(
                this,
                [this, current, shown] {
                    if (current())
                        Q_EMIT progress(shown);
                },
                Qt::QueuedConnection);
            qint64 length = -1;
            QByteArray bytes = ReadFile(paths[i], -1, -1, length, &m_cancel);
            QMetaObject::invokeMethod(
                this,
                [this, current, i, bytes = std::move(bytes), length]() mutable {
                    if (current())
                        store(static_cast<int>(i), std::move(bytes), length);
                },
                Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(
            this,
            [this, current, count] {
                if (!current())
                    return;
                m_count = static_cast<int>(count);
                m_ready = true;
                Q_EMIT progress(transferText::emptyBar);
                Q_EMIT prepared();
            },
            Qt::QueuedConnection);
    }));
    m_worker->start();
}

void SongStore::store(int slot, QByteArray bytes, qint64 length)
{
    // A song that cannot be read keeps its earlier size; only its readable mark tells.
    m_readable[slot] = length >= 0;
    if (length >= 0)
        m_sizes[slot] = length;
    m_master[slot] = std::move(bytes);
}

void SongStore::setFileToRead(int FileID, const QString &sFile)
{
    if (FileID < 0 || FileID >= slotCount)
        return;
    qint64 length = -1;
    QByteArray bytes = ReadFile(sFile, -1, -1, length);
    store(FileID, std::move(bytes), length);
}

QByteArray SongStore::ReadFile(const QString &sFile, qint64 StartPosition, double NumberOfBytes, qint64 &FileLength,
                               const std::atomic_bool *cancel)
{
    if (StartPosition != -1 || NumberOfBytes != -1)
        return {};
    QFile file(sFile);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return {};
    const qint64 size = file.size();
    QByteArray bytes(size, Qt::Uninitialized);
    qint64 done = 0;
    while (done < size) {
        if (cancel && *cancel)
            return {};
        const qint64 n = file.read(bytes.data() + done, std::min(readBlockBytes, size - done));
        if (n <= 0)
            return {};
        done += n;
    }
    FileLength = size;
    return bytes;
}

const QByteArray &SongStore::master(int slot) const
{
    static const QByteArray none;
    return slot >= 0 && slot < slotCount ? m_master[slot] : none;
}

bool SongStore::isReadable(int slot) const
{
    return slot >= 0 && slot < slotCount && m_readable[slot];
}

qint64 SongStore::FileSizes(int slot) const
{
    return slot >= 0 && slot < slotCount ? m_sizes[slot] : 0;
}
