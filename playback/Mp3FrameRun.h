#pragma once

#include <QtGlobal>

#include <optional>

class QIODevice;

// Finds where an MP3 file's audio begins: past any ID3v2 tag, the first of a short run of
// MPEG audio frames whose headers agree and follow one another exactly. A file without such a
// run near its start is not taken for MP3, however many stray sync bytes it holds.
namespace Mp3FrameRun {

// Consecutive agreeing frame headers that make a run (fewer when the file ends exactly
// after its frames).
inline constexpr int kFramesInRun = 4;
// How far past the tag a run may start; keeps a large file of noise quick to reject.
inline constexpr qint64 kScanBytes = 64 * 1024;

// Byte offset of the run's first frame in file, or nothing.
std::optional<qint64> firstFrame(QIODevice &file);

} // namespace Mp3FrameRun
