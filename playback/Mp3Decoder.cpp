#include "Mp3Decoder.h"

#include "Mp3FrameRun.h"

#include <QFile>

#include <mpg123.h>

#include <algorithm>
#include <mutex>
#include <optional>

namespace {

void initLibrary()
{
    // Only needed by libmpg123 before 1.27, harmless after.
    static std::once_flag once;
    std::call_once(once, [] { mpg123_init(); });
}

int samplesPerFrameOf(const mpg123_frameinfo &info)
{
    if (info.layer == 1)
        return 384;
    if (info.layer == 3 && info.version != MPG123_1_0)
        return 576;
    return 1152;
}

// libmpg123 reads the Xing and LAME info frames but not the VBRI one, and would play it as a
// frame of silence: true when the first frame is such an info frame.
bool isVbriFrame(QFile &file, qint64 frameStart)
{
    // The VBRI header always stands 32 bytes after the frame header, whatever the channel mode.
    constexpr qint64 vbriOffset = 4 + 32;
    return file.seek(frameStart + vbriOffset) && file.read(4) == QByteArrayLiteral("VBRI");
}

mpg123_ssize_t readBlocks(void *reader, void *data, size_t bytes)
{
    return mpg123_ssize_t(static_cast<BlockFileReader *>(reader)->read(static_cast<char *>(data), qint64(bytes)));
}

off_t seekBlocks(void *reader, off_t offset, int whence)
{
    return off_t(static_cast<BlockFileReader *>(reader)->seek(qint64(offset), whence));
}

} // namespace

void Mp3Decoder::HandleDeleter::operator()(mpg123_handle_struct *handle) const
{
    mpg123_close(handle);
    mpg123_delete(handle);
}

Mp3Decoder::Mp3Decoder() = default;
Mp3Decoder::~Mp3Decoder() = default;

bool Mp3Decoder::open(const QString &path)
{
    // libmpg123 takes a file for MP3 on a single plausible frame header; a few bytes of noise
    // would open as a song. Ask for a run of frames first, looked for in a bounded stretch.
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const std::optional<qint64> firstFrame = Mp3FrameRun::firstFrame(file);
    if (!firstFrame)
        return false;
    const bool vbri = isVbriFrame(file, *firstFrame);
    file.close();

    initLibrary();
    int error = MPG123_OK;
    m_handle.reset(mpg123_new(nullptr, &error));
    if (!m_handle)
        return false;
    mpg123_handle *mh = m_handle.get();
    // Quiet: a bad file is reported by the result, not on stderr. Skipping ID3v2 keeps cover
    // art out of memory; gapless trims the encoder's delay and padding for the exact length.
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_SKIP_ID3V2 | MPG123_GAPLESS, 0.);
    // A frame's data may begin up to 511 bytes back: seven frames at 32 kbit/s. A seek decodes
    // that many first, or its first frames come out silent.
    mpg123_param(mh, MPG123_PREFRAMES, 10, 0.);
    mpg123_format_none(mh);
    const long *rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);

    if (!m_reader.open(path) || mpg123_replace_reader_handle(mh, readBlocks, seekBlocks, nullptr) != MPG123_OK ||
        mpg123_open_handle(mh, &m_reader) != MPG123_OK) {
        close();
        return false;
    }
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 || channels < 1 || channels > 2 ||
        encoding != MPG123_ENC_SIGNED_16) {
        close();
        return false;
    }
    mpg123_frameinfo info{};
    if (mpg123_info(mh, &info) == MPG123_OK)
        m_samplesPerFrame = samplesPerFrameOf(info);
    if (mpg123_scan(mh) != MPG123_OK) {
        close();
        return false;
    }
    m_skipSamples = vbri ? m_samplesPerFrame : 0;
    const off_t length = mpg123_length(mh) - m_skipSamples;
    m_rate = int(rate);
    m_channels = channels;
    m_lengthSamples = length;
    if (length <= 0 || !seekSample(0)) {
        close();
        return false;
    }
    return true;
}

void Mp3Decoder::close()
{
    m_handle.reset();
    m_reader.close();
    m_ended = true;
}

qint64 Mp3Decoder::read(char *data, qint64 maxBytes)
{
    if (!m_handle || m_ended)
        return 0;
    // A damaged file (an info frame that counts too few frames, say) may decode past the
    // length it reported after a seek: the song ends at that length all the same.
    maxBytes = std::min(maxBytes, (m_lengthSamples - m_position) * bytesPerSample());
    maxBytes -= maxBytes % bytesPerSample();
    qint64 total = 0;
    while (total < maxBytes) {
        size_t done = 0;
        const int result = mpg123_read(m_handle.get(), reinterpret_cast<unsigned char *>(data + total),
                                       size_t(maxBytes - total), &done);
        total += qint64(done);
        if (result == MPG123_NEW_FORMAT) {
            long rate = 0;
            int channels = 0;
            int encoding = 0;
            mpg123_getformat(m_handle.get(), &rate, &channels, &encoding);
            // A stream that changes its format midway would play at the wrong speed: end there.
            if (rate != m_rate || channels != m_channels) {
                m_ended = true;
                break;
            }
            continue;
        }
        if (result != MPG123_OK) {
            // MPG123_DONE, or a read error of a file that vanished or shrank.
            m_ended = true;
            break;
        }
        if (done == 0)
            break;
    }
    m_position += total / bytesPerSample();
    if (m_position >= m_lengthSamples)
        m_ended = true;
    return total;
}

bool Mp3Decoder::seekSample(qint64 sample)
{
    if (!m_handle)
        return false;
    m_ended = false;
    // libmpg123 answers a seek past the end, or one that lands elsewhere (a damaged file), with
    // an offset as if it were done: only an exact landing within the song counts.
    const off_t wanted = off_t(sample + m_skipSamples);
    mpg123_handle *mh = m_handle.get();
    if (sample < 0 || sample > m_lengthSamples || mpg123_seek(mh, wanted, SEEK_SET) != wanted ||
        mpg123_tell(mh) != wanted) {
        m_ended = true;
        return false;
    }
    m_position = sample;
    return true;
}
