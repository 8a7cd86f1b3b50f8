#pragma once

#include <QByteArray>

// A VBRI-headed song made from a generated one: no encoder here writes that header (only
// Fraunhofer's does), so the Xing frame lame writes is swapped for a VBRI frame.
namespace VbriSong {

// Size of the MPEG-1 Layer III frame that starts at data[at], or 0 when none does.
inline int frameSizeAt(const QByteArray &data, qsizetype at)
{
    static const int kKbps[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    static const int kRates[] = {44100, 48000, 32000, 0};
    if (at + 4 > data.size() || quint8(data[at]) != 0xFF || (quint8(data[at + 1]) & 0xFE) != 0xFA)
        return 0;
    const quint8 bits = quint8(data[at + 2]);
    const int kbps = kKbps[bits >> 4];
    const int rate = kRates[(bits >> 2) & 3];
    return kbps && rate ? 144000 * kbps / rate + ((bits >> 1) & 1) : 0;
}

// The audio frames after the song's first (info) frame; frames receives their count.
inline QByteArray audioAfterInfo(const QByteArray &song, int &frames)
{
    const int infoSize = frameSizeAt(song, 0);
    qsizetype end = infoSize;
    for (frames = 0; const int size = infoSize ? frameSizeAt(song, end) : 0; ++frames)
        end += size;
    return song.mid(infoSize, end - infoSize);
}

// The stereo song with its first (Xing) frame replaced by a VBRI frame of the same size and
// header; frames receives the count of audio frames after it. Empty when the song does not
// start with a stereo MPEG-1 Layer III Xing frame.
inline QByteArray fromXingSong(const QByteArray &song, int &frames)
{
    const int infoSize = frameSizeAt(song, 0);
    constexpr int kTagAt = 4 + 32; // after the header and the stereo side information
    if (infoSize < kTagAt + 26 || song.mid(kTagAt, 4) != QByteArrayLiteral("Xing"))
        return QByteArray();
    const QByteArray audio = audioAfterInfo(song, frames);
    const qsizetype end = infoSize + audio.size();

    QByteArray vbri = song.left(4) + QByteArray(kTagAt - 4, '\0') + QByteArrayLiteral("VBRI");
    const auto put = [&vbri](qint64 value, int bytes) { // big-endian
        while (bytes--)
            vbri.append(char(value >> (8 * bytes)));
    };
    put(1, 2);   // version
    put(576, 2); // encoder delay
    put(75, 2);  // quality
    put(end, 4); // bytes in the stream, this frame included
    put(frames, 4);
    put(0, 2); // no seek table: nothing here seeks
    put(1, 2);
    put(2, 2);
    put(1, 2);
    return vbri + QByteArray(infoSize - vbri.size(), '\0') + audio;
}

} // namespace VbriSong
