#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

class QSaveFile;

// A song being received: its bytes go to a temporary file beside the song's name as they
// arrive, and the file takes that name only when the song is whole. A song counts as
// present by its name alone, so a cut or failed song must never carry it.
class IncomingSong {
public:
    IncomingSong();
    ~IncomingSong();
    IncomingSong(const IncomingSong &) = delete;
    IncomingSong &operator=(const IncomingSong &) = delete;

    // Opens the temporary file for `file`; false when it cannot be made.
    bool open(const QString &file);
    bool isOpen() const { return m_file != nullptr; }

    // Appends a piece; false once any write has failed.
    bool append(const QByteArray &piece);
    qint64 size() const { return m_size; }
    bool failed() const { return m_failed; }

    // Gives the file its name. False when it could not; nothing is then left behind.
    bool commit();
    // Drops the temporary file.
    void discard();

private:
    std::unique_ptr<QSaveFile> m_file;
    qint64 m_size = 0;
    bool m_failed = false;
};
