// Reading what SDL's disk audio driver wrote (the library's output: 48 kHz, 16-bit, stereo) and
// measuring it: sounding spans, pure tones fitted window by window, a clip resampled to the
// output rate and found in it by correlation.
#pragma once

#include <SDL.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "test_system.h"

namespace vt_test {

constexpr int kOutputRate = 48000;
constexpr int kOutputChannels = 2;

// Sends the output of every SDL audio device opened from now on to path, through SDL's disk
// driver, which writes at the real-time rate. Returns path.
inline std::string send_audio_to(std::string path) {
    vt_test::set_env("SDL_AUDIODRIVER", "disk");
    vt_test::set_env("SDL_DISKAUDIOFILE", path);
    return path;
}

// The driver's output file as 16-bit samples; nothing when there is no file.
inline std::vector<int16_t> read_samples(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
    std::vector<int16_t> samples(bytes.size() / 2);
    if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// The device writes on, silence when nothing plays, through a buffered file: what it wrote
// after sample from, once it has written at least samples more (or after four seconds).
inline std::vector<int16_t> written_after(const std::string &path, size_t from, size_t samples) {
    std::vector<int16_t> out;
    for (int tries = 0; tries < 200; ++tries) {
        out = read_samples(path);
        if (out.size() >= from + samples) break;
        SDL_Delay(20);
    }
    return std::vector<int16_t>(out.begin() + long(std::min(from, out.size())), out.end());
}

// Output samples in ms milliseconds.
constexpr size_t output_samples(double ms) {
    return size_t(ms * kOutputRate / 1000) * kOutputChannels;
}

// One channel of interleaved output.
inline std::vector<double> channel(const std::vector<int16_t> &output, int which) {
    std::vector<double> samples;
    for (size_t i = size_t(which); i < output.size(); i += kOutputChannels)
        samples.push_back(output[i]);
    return samples;
}

// Number of samples from the first to the last non-zero one.
inline size_t sounding_span(const std::vector<int16_t> &samples) {
    const auto first =
        std::find_if(samples.begin(), samples.end(), [](int16_t s) { return s != 0; });
    if (first == samples.end()) return 0;
    const auto last =
        std::find_if(samples.rbegin(), samples.rend(), [](int16_t s) { return s != 0; });
    return size_t(last.base() - first);
}

// Milliseconds of one channel whose 1 ms windows are louder than rms.
inline size_t loud_ms(const std::vector<double> &samples, double rms) {
    constexpr size_t window = kOutputRate / 1000;
    size_t loud = 0;
    for (size_t at = 0; at + window <= samples.size(); at += window) {
        double energy = 0;
        for (size_t i = at; i < at + window; ++i) energy += samples[i] * samples[i];
        loud += std::sqrt(energy / window) > rms;
    }
    return loud;
}

// Pure tones fitted to samples[at, at + count): the amplitude of each and what is left over
// (root mean square). count must span whole periods of every tone.
struct ToneFit {
    std::vector<double> amplitudes;
    double residual = 0;
};

inline ToneFit fit_tones(const std::vector<double> &samples, size_t at, size_t count,
                         const std::vector<double> &hz) {
    const double pi = std::acos(-1.0);
    std::vector<double> sines(hz.size()), cosines(hz.size());
    for (size_t t = 0; t < hz.size(); ++t)
        for (size_t i = 0; i < count; ++i) {
            const double phase = 2 * pi * hz[t] * double(i) / kOutputRate;
            sines[t] += samples[at + i] * std::sin(phase) * 2 / double(count);
            cosines[t] += samples[at + i] * std::cos(phase) * 2 / double(count);
        }
    ToneFit fit;
    for (size_t t = 0; t < hz.size(); ++t)
        fit.amplitudes.push_back(std::hypot(sines[t], cosines[t]));
    for (size_t i = 0; i < count; ++i) {
        double left = samples[at + i];
        for (size_t t = 0; t < hz.size(); ++t) {
            const double phase = 2 * pi * hz[t] * double(i) / kOutputRate;
            left -= sines[t] * std::sin(phase) + cosines[t] * std::cos(phase);
        }
        fit.residual += left * left;
    }
    fit.residual = std::sqrt(fit.residual / double(count));
    return fit;
}

// The tones fitted window by window (10 ms windows from the start of samples).
inline std::vector<ToneFit> fit_windows(const std::vector<double> &samples,
                                        const std::vector<double> &hz) {
    constexpr size_t window = kOutputRate / 100;
    std::vector<ToneFit> fits;
    for (size_t at = 0; at + window <= samples.size(); at += window)
        fits.push_back(fit_tones(samples, at, window, hz));
    return fits;
}

// samples at rate, band-limited resampled to the output rate (windowed sinc, upsampling),
// starting shift output samples late.
inline std::vector<double> resampled(const std::vector<int16_t> &samples, double rate,
                                     double shift) {
    const double pi = std::acos(-1.0), step = rate / kOutputRate;
    constexpr int half = 32;
    std::vector<double> out(size_t(double(samples.size()) / step));
    for (size_t m = 0; m < out.size(); ++m) {
        const double t = (double(m) + shift) * step;
        const long centre = long(t);
        double value = 0;
        for (long k = centre - half + 1; k <= centre + half; ++k) {
            if (k < 0 || k >= long(samples.size())) continue;
            const double x = t - double(k);
            const double sinc = x == 0 ? 1 : std::sin(pi * x) / (pi * x);
            const double window = 0.5 + 0.5 * std::cos(pi * x / half);  // Hann
            value += samples[size_t(k)] * sinc * window;
        }
        out[m] = value;
    }
    return out;
}

// Where clip (at rate) best lines up with samples near their first sound, how closely
// (normalised correlation, 1 for the same shape) and at what gain. Searched in eighths of an
// output sample: a resampler may start between two of them.
struct Match {
    long at = -1;
    double correlation = 0, gain = 0, length = 0;  // length in output samples
};

inline Match find_clip(const std::vector<double> &samples, const std::vector<int16_t> &clip,
                       double rate) {
    Match best;
    const auto first =
        std::find_if(samples.begin(), samples.end(), [](double s) { return s != 0; });
    if (first == samples.end() || clip.empty()) return best;
    const long onset = long(first - samples.begin());
    for (int eighth = 0; eighth < 8; ++eighth) {
        const std::vector<double> reference = resampled(clip, rate, eighth / 8.0);
        double reference_energy = 0;
        for (double r : reference) reference_energy += r * r;
        for (long at = std::max(0L, onset - 64); at <= onset + 64; ++at) {
            if (size_t(at) + reference.size() > samples.size()) break;
            double cross = 0, energy = 0;
            for (size_t i = 0; i < reference.size(); ++i) {
                cross += samples[size_t(at) + i] * reference[i];
                energy += samples[size_t(at) + i] * samples[size_t(at) + i];
            }
            const double correlation = cross / std::sqrt(energy * reference_energy);
            if (correlation > best.correlation)
                best = {at, correlation, cross / reference_energy, double(reference.size())};
        }
    }
    return best;
}

}  // namespace vt_test
