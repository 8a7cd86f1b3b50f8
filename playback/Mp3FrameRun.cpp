#include "Mp3FrameRun.h"

#include <QByteArray>
#include <QIODevice>

#include <algorithm>

namespace Mp3FrameRun {

namespace {

// The largest frame: MPEG-2 Layer II at 160 kbit/s and 8 kHz, with padding.
constexpr qint64 kMaxFrameBytes = 2881;
constexpr int kId3HeaderBytes = 10;

struct Header {
    int key = 0; // version, layer and sample rate: equal in every frame of one stream
    int bytes = 0;
};

// The frame header at data[at], or a zero-length one when the bytes there are no header.
Header headerAt(const QByteArray &data, qint64 at)
{
    static const int kKbps[2][3][16] = {
        // MPEG-1: Layer I, II, III
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
        // MPEG-2 and 2.5: Layer I, II, III
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}},
    };
    static const int kRates[4][3] = {{11025, 12000, 8000}, {0, 0, 0}, {22050, 24000, 16000}, {44100, 48000, 32000}};
    if (at + 4 > data.size())
        return {};
    const auto b1 = quint8(data[at + 1]);
    const auto b2 = quint8(data[at + 2]);
    if (quint8(data[at]) != 0xFF || (b1 & 0xE0) != 0xE0)
        return {};
    const int version = (b1 >> 3) & 3;   // 0: 2.5, 1: reserved, 2: 2, 3: 1
    const int layerBits = (b1 >> 1) & 3; // 1: III, 2: II, 3: I
    const int bitrateIndex = b2 >> 4;
    const int rateIndex = (b2 >> 2) & 3;
    if (version == 1 || layerBits == 0 || rateIndex == 3 || bitrateIndex == 0)
        return {}; // reserved values; free-format bit rates cannot be followed from frame to frame
    const int layer = 4 - layerBits;
    const bool mpeg1 = version == 3;
    const int bitsPerSecond = 1000 * kKbps[mpeg1 ? 0 : 1][layer - 1][bitrateIndex];
    const int rate = kRates[version][rateIndex];
    const int padding = (b2 >> 1) & 1;
    if (bitsPerSecond == 0)
        return {};
    int bytes = 0;
    if (layer == 1)
        bytes = (12 * bitsPerSecond / rate + padding) * 4;
    else if (layer == 3 && !mpeg1)
        bytes = 72 * bitsPerSecond / rate + padding;
    else
        bytes = 144 * bitsPerSecond / rate + padding;
    return {(b1 & 0xFE) << 2 | rateIndex, bytes};
}

bool runStartsAt(const QByteArray &data, qint64 at, bool dataEndsTheFile)
{
    const Header first = headerAt(data, at);
    if (first.bytes == 0)
        return false;
    qint64 next = at + first.bytes;
    for (int frames = 1; frames < kFramesInRun; ++frames) {
        // A short song may end before a whole run: its frames must then end with the file.
        if (next == data.size() && dataEndsTheFile)
            return frames >= 2;
        const Header header = headerAt(data, next);
        if (header.bytes == 0 || header.key != first.key)
            return false;
        next += header.bytes;
    }
    return true;
}

} // namespace

std::optional<qint64> firstFrame(QIODevice &file)
{
    if (!file.seek(0))
        return std::nullopt;
    qint64 start = 0;
    const QByteArray tag = file.read(kId3HeaderBytes);
    if (tag.size() == kId3HeaderBytes && tag.startsWith(QByteArrayLiteral("ID3"))) {
        const auto syncsafe = [&](int i) { return qint64(quint8(tag[i]) & 0x7f); };
        const bool hasFooter = quint8(tag[5]) & 0x10;
        start = kId3HeaderBytes + (syncsafe(6) << 21 | syncsafe(7) << 14 | syncsafe(8) << 7 | syncsafe(9)) +
                (hasFooter ? kId3HeaderBytes : 0);
    }
    if (!file.seek(start))
        return std::nullopt;
    const qint64 window = kScanBytes + kFramesInRun * kMaxFrameBytes;
    const QByteArray data = file.read(window);
    const bool dataEndsTheFile = data.size() < window || file.atEnd();
    const qint64 lastStart = std::min<qint64>(kScanBytes, data.size());
    for (qint64 at = 0; at < lastStart; ++at) {
        if (runStartsAt(data, at, dataEndsTheFile))
            return start + at;
    }
    return std::nullopt;
}

} // namespace Mp3FrameRun
