#pragma once

#include <QByteArray>
#include <QList>

#include <numeric>

// A VBRI-headed song made from a generated one: no encoder here writes that header (only
// Fraunhofer's does), so the Xing frame lame writes is swapped for a VBRI frame.
namespace VbriSong {

// Size of the MPEG-1 Layer III frame that starts at data[at], or 0 when none does.
inline int frameSizeAt(const QByteArray &data, qsizetype at)
{
    static const int kKbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    static const int kRates[] = {44100, 48000, 32000, 0};
    if (at < 0 || at + 4 > data.size())
        return 0;
    const auto byte = [&](int i) { return quint8(data[at + i]); };
    if (byte(0) != 0xFF || (byte(1) & 0xFE) != 0xFA)
        return 0;
    const int kbps = kKbps[byte(2) >> 4];
    const int rate = kRates[(byte(2) >> 2) & 3];
    return kbps && rate ? 144000 * kbps / rate + ((byte(2) >> 1) & 1) : 0;
}

// The song with its first (Xing) frame replaced by a VBRI frame of the same size and header.
// frames receives the count of audio frames after it. Empty when the song does not start with
// an MPEG-1 Layer III Xing frame.
inline QByteArray fromXingSong(const QByteArray &song, int &frames)
{
    const int infoSize = frameSizeAt(song, 0);
    const bool mono = infoSize && (quint8(song[3]) >> 6) == 3;
    const int tagAt = 4 + (mono ? 17 : 32); // after the side information
    if (infoSize == 0 || song.mid(tagAt, 4) != QByteArrayLiteral("Xing"))
        return QByteArray();
    QList<int> sizes;
    qsizetype end = infoSize;
    while (const int size = frameSizeAt(song, end)) {
        sizes.append(size);
        end += size;
    }
    frames = int(sizes.size());

    constexpr int kFramesPerEntry = 4;
    QByteArray vbri = song.left(4) + QByteArray(tagAt - 4, '\0') + QByteArrayLiteral("VBRI");
    const auto put = [&vbri](qint64 value, int bytes) { // big-endian
        while (bytes--)
            vbri.append(char(value >> (8 * bytes)));
    };
    put(1, 2);   // version
    put(576, 2); // encoder delay
    put(75, 2);  // quality
    put(end, 4); // bytes in the stream, this frame included
    put(frames, 4);
    put((frames + kFramesPerEntry - 1) / kFramesPerEntry, 2); // TOC entries
    put(1, 2);                                                // TOC scale factor
    put(2, 2);                                                // bytes per entry
    put(kFramesPerEntry, 2);
    for (int i = 0; i < frames; i += kFramesPerEntry) {
        const QList<int> block = sizes.mid(i, kFramesPerEntry);
        put(std::accumulate(block.begin(), block.end(), 0), 2);
    }
    if (vbri.size() > infoSize)
        return QByteArray();
    vbri.append(QByteArray(infoSize - vbri.size(), '\0'));
    return vbri + song.mid(infoSize, end - infoSize);
}

} // namespace VbriSong
