#pragma once

#include <QString>

// The songs scripts/make-test-songs.sh generates, with what is known about each.
namespace TestSongs {

struct Song {
    const char *name;
    int milliseconds; // the tone's length
    int rate;
};

inline QString path(const char *name)
{
    return QStringLiteral(TUNVERO_TEST_SONGS "/") + QLatin1String(name) + QStringLiteral(".mp3");
}

// Samples in one MPEG frame: 576 for the low rates of MPEG-2.
inline int samplesPerFrame(const Song &song)
{
    return song.rate < 32000 ? 576 : 1152;
}

// Every song that carries the encoder's gapless tag, so its length is the tone's exactly.
inline const Song kTagged[] = {
    {"cbr_44k_stereo", 3000, 44100}, {"cbr_48k_mono", 2000, 48000},   {"cbr_32k_stereo", 2000, 32000},
    {"cbr_22k_mono", 2000, 22050},   {"vbr_44k_stereo", 2500, 44100}, {"vbr_48k_stereo", 4000, 48000},
    {"vbr_16k_mono", 3000, 16000},   {"id3_44k_stereo", 3000, 44100}, {"id3_cover_vbr_48k", 2000, 48000},
};

// Without the tag the decoder cannot trim the encoder's delay and padding: a little longer.
inline const Song kUntagged = {"cbr_44k_notag", 3000, 44100};

} // namespace TestSongs
