#include "OnsetFinder.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Band-limited noise (an MP3 keeps nothing above ~16 kHz) still correlates a little with itself
// a few frames off its peak: the next-best value is looked for beyond this many frames.
constexpr std::int64_t ringFrames = 64;
// The FFT's peak is the exact lag within rounding; the direct check looks this far either side.
constexpr std::int64_t refineFrames = 2;
// Complex numbers an FFT pass handles at a time: 256 KiB, well inside the cache.
constexpr std::size_t cacheBlock = 1 << 14;
// Reported instead of an infinite ratio, when nothing else in the recording correlates at all.
constexpr double certain = 1e9;

// Without the library's infinity and NaN handling, which costs a call per product.
std::complex<double> times(std::complex<double> a, std::complex<double> b)
{
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

} // namespace

OnsetFinder::OnsetFinder(std::vector<std::int16_t> samples, int channels, std::int64_t longestSound)
    : m_samples(std::move(samples)), m_channels(channels == 2 ? 2 : 1),
      m_frames(std::int64_t(m_samples.size()) / m_channels), m_longest(std::max<std::int64_t>(longestSound, 1))
{
    // Room for the longest sound after the last frame: the correlation never wraps round.
    const auto needed = std::size_t(m_frames + m_longest);
    while (m_size < needed)
        m_size *= 2;
    // Each pass's factors side by side (the pass of half-length h at h - 1): read in order.
    m_twiddles.resize(m_size);
    for (std::size_t half = 1; half < m_size; half *= 2) {
        for (std::size_t k = 0; k < half; ++k)
            m_twiddles[half - 1 + k] = std::polar(1.0, -std::numbers::pi * double(k) / double(half));
    }
    m_spectrum = pack(m_samples);
    transform(m_spectrum, false);
}

OnsetFinder::Spectrum OnsetFinder::pack(const std::vector<std::int16_t> &samples) const
{
    Spectrum data(m_size);
    const std::size_t frames = std::min(samples.size() / std::size_t(m_channels), m_size);
    for (std::size_t f = 0; f < frames; ++f) {
        const std::size_t at = f * std::size_t(m_channels);
        data[f] = {double(samples[at]), m_channels == 2 ? double(samples[at + 1]) : 0.0};
    }
    return data;
}

void OnsetFinder::transform(Spectrum &data, bool inverse) const
{
    const std::size_t n = data.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j |= bit;
        if (i < j)
            std::swap(data[i], data[j]);
    }
    // The passes over short lengths run block by block while a block stays in the cache; only
    // the long ones sweep the whole array.
    const std::size_t block = std::min(n, cacheBlock);
    for (std::size_t from = 0; from < n; from += block)
        butterflies(data.data() + from, block, 2, block, inverse);
    butterflies(data.data(), n, block * 2, n, inverse);
}

void OnsetFinder::butterflies(std::complex<double> *data, std::size_t n, std::size_t firstLength,
                              std::size_t lastLength, bool inverse) const
{
    for (std::size_t length = firstLength; length <= lastLength; length *= 2) {
        const std::size_t half = length / 2;
        const std::complex<double> *twiddles = m_twiddles.data() + half - 1;
        for (std::size_t start = 0; start < n; start += length) {
            for (std::size_t k = 0; k < half; ++k) {
                const std::complex<double> w = twiddles[k];
                const double wi = inverse ? -w.imag() : w.imag();
                const std::complex<double> u = data[start + k];
                const std::complex<double> v = times(data[start + k + half], {w.real(), wi});
                data[start + k] = u + v;
                data[start + k + half] = u - v;
            }
        }
    }
}

double OnsetFinder::directCorrelation(const std::vector<std::int16_t> &sound, std::int64_t lag) const
{
    const std::int64_t frames = std::min(std::int64_t(sound.size()) / m_channels, m_frames - lag);
    std::int64_t sum = 0;
    const std::int16_t *recorded = m_samples.data() + lag * m_channels;
    for (std::int64_t i = 0; i < frames * m_channels; ++i)
        sum += std::int64_t(recorded[i]) * sound[std::size_t(i)];
    return double(sum);
}

std::vector<OnsetFinder::Onset> OnsetFinder::find(const std::vector<std::int16_t> &sound, int count,
                                                  std::int64_t spacing) const
{
    const std::int64_t soundFrames = std::int64_t(sound.size()) / m_channels;
    if (soundFrames == 0 || soundFrames > m_longest || m_frames == 0)
        return {};
    if (spacing <= 0)
        spacing = soundFrames;

    // Real part of recording times conjugated sound: left with left plus right with right.
    Spectrum product = pack(sound);
    transform(product, false);
    for (std::size_t k = 0; k < m_size; ++k)
        product[k] = times(m_spectrum[k], std::conj(product[k]));
    transform(product, true);
    std::vector<double> correlation(static_cast<std::size_t>(m_frames));
    for (std::int64_t k = 0; k < m_frames; ++k)
        correlation[std::size_t(k)] = product[std::size_t(k)].real();

    std::vector<std::int64_t> peaks;
    std::vector<char> taken(std::size_t(m_frames), 0);
    for (int c = 0; c < count; ++c) {
        std::int64_t best = -1;
        for (std::int64_t k = 0; k < m_frames; ++k) {
            if (!taken[std::size_t(k)] && (best < 0 || correlation[std::size_t(k)] > correlation[std::size_t(best)]))
                best = k;
        }
        if (best < 0)
            break;
        peaks.push_back(best);
        const std::int64_t from = std::max<std::int64_t>(0, best - spacing + 1);
        const std::int64_t to = std::min(m_frames, best + spacing);
        std::fill(taken.begin() + from, taken.begin() + to, 1);
    }

    // The strongest correlation, either sign, away from every peak found.
    std::fill(taken.begin(), taken.end(), 0);
    for (const std::int64_t peak : peaks) {
        const std::int64_t from = std::max<std::int64_t>(0, peak - ringFrames);
        const std::int64_t to = std::min(m_frames, peak + ringFrames + 1);
        std::fill(taken.begin() + from, taken.begin() + to, 1);
    }
    double nextBest = 0;
    for (std::int64_t k = 0; k < m_frames; ++k) {
        if (!taken[std::size_t(k)])
            nextBest = std::max(nextBest, std::abs(correlation[std::size_t(k)]));
    }

    std::vector<Onset> onsets;
    for (const std::int64_t peak : peaks) {
        std::int64_t exact = peak;
        double exactValue = directCorrelation(sound, peak);
        for (std::int64_t lag = std::max<std::int64_t>(0, peak - refineFrames);
             lag <= std::min(m_frames - 1, peak + refineFrames); ++lag) {
            const double value = directCorrelation(sound, lag);
            if (value > exactValue) {
                exact = lag;
                exactValue = value;
            }
        }
        const double value = correlation[std::size_t(peak)];
        const double confidence = value <= 0 ? 0 : nextBest > value / certain ? value / nextBest : certain;
        onsets.push_back({exact, confidence});
    }
    std::sort(onsets.begin(), onsets.end(), [](const Onset &a, const Onset &b) { return a.frame < b.frame; });
    return onsets;
}
