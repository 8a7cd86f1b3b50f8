#pragma once

#include <complex>
#include <cstdint>
#include <vector>

// Finds where known sounds begin in a recording of their mix: cross-correlation through one
// FFT of the whole recording, then the exact lag by a direct correlation around the peak.
class OnsetFinder {
public:
    struct Onset {
        // The recording's frame where the sound's first frame lies.
        std::int64_t frame = 0;
        // The peak over the strongest correlation anywhere else; a true match of noise stands
        // well above 4, a sound that is not there near 1.
        double confidence = 0;
    };

    // `samples`: interleaved signed 16-bit, 1 or 2 channels; sounds looked for are at most
    // `longestSound` frames long.
    OnsetFinder(std::vector<std::int16_t> samples, int channels, std::int64_t longestSound);

    std::int64_t frames() const { return m_frames; }
    int channels() const { return m_channels; }

    // The `count` strongest beginnings of `sound` (same channel count, at most the
    // longest announced), earliest first; two of them lie at least `spacing` frames apart (0: the
    // sound's length). Fewer when the recording holds no room for more.
    std::vector<Onset> find(const std::vector<std::int16_t> &sound, int count, std::int64_t spacing = 0) const;

private:
    using Spectrum = std::vector<std::complex<double>>;

    // Frames packed as complex numbers (left real, right imaginary), zero-padded to m_size.
    Spectrum pack(const std::vector<std::int16_t> &samples) const;
    void transform(Spectrum &data, bool inverse) const;
    // The radix-2 passes of `firstLength` to `lastLength` over n values.
    void butterflies(std::complex<double> *data, std::size_t n, std::size_t firstLength, std::size_t lastLength,
                     bool inverse) const;
    double directCorrelation(const std::vector<std::int16_t> &sound, std::int64_t lag) const;

    std::vector<std::int16_t> m_samples;
    int m_channels;
    std::int64_t m_frames;
    std::int64_t m_longest;
    std::size_t m_size = 1;
    std::vector<std::complex<double>> m_twiddles;
    Spectrum m_spectrum;
};
