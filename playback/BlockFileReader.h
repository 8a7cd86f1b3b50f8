#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Reads a song file for the decoder in large blocks: the decoder asks for a few bytes at a
// time, and a scan of a five-minute song would otherwise cost one system call per frame.
class BlockFileReader {
public:
    bool open(const QString &path);
    void close();
    // Up to bytes into data; 0 at the end or when the file can no longer be read.
    qint64 read(char *data, qint64 bytes);
    // Like lseek: the new offset, or -1.
    qint64 seek(qint64 offset, int whence);
    // Lets go of the cached block while nothing reads (many songs stay open, few play).
    void dropBlock();

private:
    QFile m_file;
    QByteArray m_block;
    qint64 m_blockStart = 0;
    qint64 m_pos = 0;
};
