#include "Mp3Decoder.h"

#include <QFile>

#include <mpg123.h>

#include <mutex>

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
// frame of silence: true when the first frame after any ID3v2 tag is such an info frame.
bool startsWithVbriFrame(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    qint64 frameStart = 0;
    const QByteArray tag = file.read(10);
    if (tag.size() == 10 && tag.startsWith(QByteArrayLiteral("ID3"))) {
        const auto syncsafe = [&](int i) { return qint64(uchar(tag[i]) & 0x7f); };
        const bool hasFooter = uchar(tag[5]) & 0x10;
        frameStart = 10 + (syncsafe(6) << 21 | syncsafe(7) << 14 | syncsafe(8) << 7 | syncsafe(9))
                     + (hasFooter ? 10 : 0);
    }
    // The VBRI header always stands 32 bytes after the frame header, whatever the channel mode.
    constexpr qint64 vbriOffset = 4 + 32;
    return file.seek(frameStart + vbriOffset) && file.read(4) == QByteArrayLiteral("VBRI");
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
    initLibrary();
    int error = MPG123_OK;
    m_handle.reset(mpg123_new(nullptr, &error));
    if (!m_handle)
        return false;
    mpg123_handle *mh = m_handle.get();
    // Quiet: a bad file is reported by the result, not on stderr. Skipping ID3v2 keeps cover
    // art out of memory; gapless trims the encoder's delay and padding for the exact length.
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_SKIP_ID3V2 | MPG123_GAPLESS, 0.);
    mpg123_format_none(mh);
    const long *rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i)
        mpg123_format(mh, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_SIGNED_16);

    if (mpg123_open(mh, QFile::encodeName(path).constData()) != MPG123_OK) {
        m_handle.reset();
        return false;
    }
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(mh, &rate, &channels, &encoding) != MPG123_OK || rate <= 0
        || channels < 1 || channels > 2 || encoding != MPG123_ENC_SIGNED_16) {
        m_handle.reset();
        return false;
    }
    mpg123_frameinfo info{};
    if (mpg123_info(mh, &info) == MPG123_OK)
        m_samplesPerFrame = samplesPerFrameOf(info);
    if (mpg123_scan(mh) != MPG123_OK) {
        m_handle.reset();
        return false;
    }
    m_skipSamples = startsWithVbriFrame(path) ? m_samplesPerFrame : 0;
    const off_t length = mpg123_length(mh) - m_skipSamples;
    if (length <= 0 || mpg123_seek(mh, off_t(m_skipSamples), SEEK_SET) < 0) {
        m_handle.reset();
        return false;
    }
    m_rate = int(rate);
    m_channels = channels;
    m_lengthSamples = length;
    m_ended = false;
    return true;
}

void Mp3Decoder::close()
{
    m_handle.reset();
    m_ended = true;
}

qint64 Mp3Decoder::read(char *data, qint64 maxBytes)
{
    if (!m_handle || m_ended)
        return 0;
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
    return total;
}

bool Mp3Decoder::seekSample(qint64 sample)
{
    if (!m_handle)
        return false;
    m_ended = false;
    if (mpg123_seek(m_handle.get(), off_t(sample + m_skipSamples), SEEK_SET) < 0) {
        m_ended = true;
        return false;
    }
    return true;
}

qint64 Mp3Decoder::tellSample() const
{
    return m_handle ? qint64(mpg123_tell(m_handle.get())) - m_skipSamples : 0;
}
