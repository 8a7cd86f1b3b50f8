#pragma once

#include <QString>
#include <QStringList>

// The songs scripts/make-test-songs.sh generates, with what is known about each.
namespace TestSongs {

struct Song
{
    const char *name;
    int milliseconds; // the tone's length
    int rate;
    int channels;
    int samplesPerFrame;
};

inline QString folder()
{
    return QStringLiteral(TUNVERO_TEST_SONGS);
}

inline QString path(const char *name)
{
    return folder() + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".mp3");
}

// Every song that carries the encoder's gapless tag, so its length is the tone's exactly.
inline const Song kTagged[] = {
    {"cbr_44k_stereo", 3000, 44100, 2, 1152},
    {"cbr_48k_mono", 2000, 48000, 1, 1152},
    {"cbr_32k_stereo", 2000, 32000, 2, 1152},
    {"cbr_22k_mono", 2000, 22050, 1, 576},
    {"vbr_44k_stereo", 2500, 44100, 2, 1152},
    {"vbr_48k_stereo", 4000, 48000, 2, 1152},
    {"vbr_16k_mono", 3000, 16000, 1, 576},
    {"id3_44k_stereo", 3000, 44100, 2, 1152},
    {"id3_cover_vbr_48k", 2000, 48000, 2, 1152},
};

// Without the tag the decoder cannot trim the encoder's delay and padding: a little longer.
inline const Song kUntagged = {"cbr_44k_notag", 3000, 44100, 2, 1152};

} // namespace TestSongs
