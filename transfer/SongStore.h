#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <memory>

class QThread;

// The server's songs of the current run: one master copy of each song, read once per run in
// a worker thread so the window stays responsive, and each song's size in bytes.
class SongStore : public QObject {
    Q_OBJECT
public:
    // A run holds slots 0 to 200.
    static constexpr int slotCount = 201;

    explicit SongStore(QObject *parent = nullptr);
    ~SongStore() override;

    // The start of a run: forgets the old songs and reads `fullPaths` (at most 201, slot i =
    // entry i) in a worker. Reports `progress` before each song and `prepared` at the end.
    void prepare(const QStringList &fullPaths);
    // The stop of a run: forgets every song; a preparation under way is abandoned.
    void clear();

    bool isPreparing() const { return m_worker != nullptr && !m_ready; }
    // Songs of the prepared run; 0 while preparing and after `clear`.
    int songCount() const { return m_count; }

    // Reads one song at once on the calling thread into slot `FileID`.
    void setFileToRead(int FileID, const QString &sFile);
    // The whole file (`StartPosition` and `NumberOfBytes` -1, the only mode there is), its
    // length in `FileLength`. Empty, and `FileLength` untouched, on any failure. `cancel`
    // stops a long read between blocks.
    static QByteArray ReadFile(const QString &sFile, qint64 StartPosition, double NumberOfBytes, qint64 &FileLength,
                               const std::atomic_bool *cancel = nullptr);

    const QByteArray &master(int slot) const;
    // False for a song the preparation could not read: its master copy is no song.
    bool isReadable(int slot) const;
    qint64 FileSizes(int slot) const;

Q_SIGNALS:
    // Before the first song is read, and at `clear`: copies handed out are no longer wanted.
    void songsForgotten();
    // The progress bar's value by the shown-value rule.
    void progress(double percent);
    void prepared();

private:
    void stopWorker();
    void forgetSongs();
    void store(int slot, QByteArray bytes, qint64 length);

    std::array<QByteArray, slotCount> m_master;
    std::array<qint64, slotCount> m_sizes{};
    std::array<bool, slotCount> m_readable{};
    int m_count = 0;
    bool m_ready = false;
    quint64 m_generation = 0;
    std::unique_ptr<QThread> m_worker;
    std::atomic_bool m_cancel = false;
};
