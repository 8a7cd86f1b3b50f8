#pragma once

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>

// Song bytes that hold the server's words wherever cutting by text would go wrong: starting
// at, ending at and straddling every 4000th and 200000th byte, where a small chunk would
// end inside a large one, and in between.
inline QByteArray wordySong(qsizetype size, quint32 seed)
{
    QByteArray song(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    for (char &b : song)
        b = static_cast<char>(random.bounded(256));
    const QList<QByteArray> words = {"DoGetFile\r\n ", "PutFileReady\r\nD:\\Musik\\Pop\\x.mp3", "StopAllMusic\r\n"};
    const auto place = [&](qsizetype at, const QByteArray &word) {
        if (at >= 0 && at + word.size() <= size)
            song.replace(at, word.size(), word);
    };
    for (qsizetype edge = 4000, k = 0; edge < size; edge += 4000, ++k) {
        const QByteArray &word = words[k % 3];
        const qsizetype shift[] = {0, -word.size(), -word.size() / 2};
        place(edge + shift[(k / 3) % 3], word);
    }
    for (qsizetype edge = 200000, k = 0; edge < size; edge += 200000, ++k) {
        place(edge - 12, "DoGetFile\r\n DoGetFile\r\n ");
        place(edge + 4000, k % 2 ? "DoGetFile\r\n StopAllMusic\r\n" : "DoGetFile\r\n ");
    }
    for (int i = 0; i < 60; ++i)
        place(random.bounded(static_cast<int>(size)), words[i % 3]);
    return song;
}
