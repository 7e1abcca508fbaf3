#include "sound_measure.hpp"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <string>

namespace grain::sound {

Sound readSound(const std::filesystem::path& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.string().c_str(), SFM_READ, &info);
    Sound sound;
    if (file == nullptr) return sound;
    std::vector<double> interleaved(static_cast<std::size_t>(info.frames) * static_cast<std::size_t>(info.channels));
    sf_count_t got = sf_readf_double(file, interleaved.data(), info.frames);
    sf_close(file);
    sound.rate = info.samplerate;
    sound.channels.assign(static_cast<std::size_t>(info.channels), std::vector<double>(static_cast<std::size_t>(got)));
    for (std::size_t frame = 0; frame < static_cast<std::size_t>(got); ++frame)
        for (std::size_t c = 0; c < sound.channels.size(); ++c)
            sound.channels[c][frame] = interleaved[frame * sound.channels.size() + c];
    return sound;
}

Outcome<> writeSound(const std::filesystem::path& path, const Sound& sound) {
    SF_INFO info{};
    info.samplerate = sound.rate;
    info.channels = static_cast<int>(sound.channels.size());
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open(path.string().c_str(), SFM_WRITE, &info);
    if (file == nullptr) return because("cannot write " + path.string() + ": " + sf_strerror(nullptr));
    std::vector<double> interleaved;
    for (std::size_t frame = 0; frame < sound.frames(); ++frame)
        for (const auto& channel : sound.channels) interleaved.push_back(channel[frame]);
    const auto frames = static_cast<sf_count_t>(sound.frames());
    if (sf_writef_double(file, interleaved.data(), frames) != frames) {
        Reason why = because("cannot write " + path.string() + ": " + sf_strerror(file));
        sf_close(file);
        return why;
    }
    if (int closed = sf_close(file); closed != 0)
        return because("cannot write " + path.string() + ": " + sf_error_number(closed));
    return {};
}

double mean(const std::vector<double>& samples, std::size_t from, std::size_t to) {
    to = std::min(to, samples.size());
    if (from >= to) return 0;
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += samples[i];
    return sum / static_cast<double>(to - from);
}

double rms(const std::vector<double>& samples, std::size_t from, std::size_t to) {
    to = std::min(to, samples.size());
    if (from >= to) return 0;
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += samples[i] * samples[i];
    return std::sqrt(sum / static_cast<double>(to - from));
}

double decibels(double ratio) { return 20 * std::log10(ratio); }

int bestLag(const std::vector<double>& earlier, const std::vector<double>& later, int maxLag) {
    int best = 0;
    double bestSum = -1e300;
    const auto n = static_cast<long>(std::min(earlier.size(), later.size()));
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        double sum = 0;
        for (long i = std::max(0L, -static_cast<long>(lag)); i < n && i + lag < n; ++i)
            sum += earlier[static_cast<std::size_t>(i)] * later[static_cast<std::size_t>(i + lag)];
        if (sum > bestSum) bestSum = sum, best = lag;
    }
    return best;
}

double gainAgainst(const std::vector<double>& reference, const std::vector<double>& signal) {
    double cross = 0, power = 0;
    for (std::size_t i = 0; i < std::min(reference.size(), signal.size()); ++i) {
        cross += reference[i] * signal[i];
        power += reference[i] * reference[i];
    }
    return power > 0 ? cross / power : 0;
}

double amplitudeAt(const std::vector<double>& samples, int rate, double hz, std::size_t from, std::size_t to) {
    to = std::min(to, samples.size());
    if (from >= to) return 0;
    const double n = static_cast<double>(to - from);
    std::complex<double> sum = 0;
    for (std::size_t i = from; i < to; ++i) {
        const double k = static_cast<double>(i - from);
        const double window = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * k / n);
        sum += samples[i] * window * std::polar(1.0, -2 * std::numbers::pi * hz * k / rate);
    }
    return 4 * std::abs(sum) / n;  // the Hann window keeps half the amplitude, the sum half of the rest
}

double peakFrequency(const std::vector<double>& samples, int rate, double lowHz, double highHz, std::size_t from,
                     std::size_t to) {
    // A coarse scan for the strongest step, then golden-section search around it.
    const double step = std::max(0.5, (highHz - lowHz) / 400);
    double best = lowHz, bestAmplitude = -1;
    for (double hz = lowHz; hz <= highHz; hz += step) {
        const double a = amplitudeAt(samples, rate, hz, from, to);
        if (a > bestAmplitude) bestAmplitude = a, best = hz;
    }
    double lo = best - step, hi = best + step;
    const double ratio = (std::sqrt(5.0) - 1) / 2;
    while (hi - lo > 0.001) {
        const double a = hi - ratio * (hi - lo), b = lo + ratio * (hi - lo);
        if (amplitudeAt(samples, rate, a, from, to) > amplitudeAt(samples, rate, b, from, to))
            hi = b;
        else
            lo = a;
    }
    return (lo + hi) / 2;
}

namespace {

// In-place radix-2 transform of a power-of-two length.
void transform(std::vector<std::complex<double>>& x) {
    const std::size_t n = x.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(x[i], x[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const auto turn = std::polar(1.0, -2 * std::numbers::pi / static_cast<double>(len));
        for (std::size_t start = 0; start < n; start += len) {
            std::complex<double> w = 1;
            for (std::size_t k = 0; k < len / 2; ++k, w *= turn) {
                const auto a = x[start + k], b = x[start + k + len / 2] * w;
                x[start + k] = a + b;
                x[start + k + len / 2] = a - b;
            }
        }
    }
}

}  // namespace

namespace {

// The whole file's spectrum, zero-padded to a power of two.
std::vector<std::complex<double>> spectrumOf(const std::vector<double>& samples) {
    std::size_t n = 1;
    while (n < samples.size()) n <<= 1;
    std::vector<std::complex<double>> spectrum(samples.begin(), samples.end());
    spectrum.resize(n);
    transform(spectrum);
    return spectrum;
}

}  // namespace

double energyAboveOverBelow(const std::vector<double>& samples, int rate, double hz) {
    const auto spectrum = spectrumOf(samples);
    const std::size_t n = spectrum.size();
    double above = 0, below = 0;
    for (std::size_t k = 1; k < n / 2; ++k) {
        const double binHz = static_cast<double>(k) * rate / static_cast<double>(n);
        (binHz > hz ? above : below) += std::norm(spectrum[k]);
    }
    return below > 0 ? above / below : 0;
}

double energyBelow(const std::vector<double>& samples, int rate, double hz) {
    const auto spectrum = spectrumOf(samples);
    const std::size_t n = spectrum.size();
    double below = 0;
    for (std::size_t k = 1; k < n / 2 && static_cast<double>(k) * rate / static_cast<double>(n) < hz; ++k)
        below += std::norm(spectrum[k]);
    return 2 * below / static_cast<double>(n);  // both halves of the spectrum, as Parseval counts them
}

std::vector<double> octaveBandEnergies(const std::vector<double>& samples, int rate, std::size_t from, std::size_t to,
                                       const std::vector<double>& centres) {
    to = std::min(to, samples.size());
    from = std::min(from, to);
    std::size_t n = 1;
    while (n < to - from) n <<= 1;
    std::vector<std::complex<double>> spectrum(samples.begin() + static_cast<long>(from),
                                               samples.begin() + static_cast<long>(to));
    spectrum.resize(n);
    transform(spectrum);
    std::vector<double> energies;
    for (double centre : centres) {
        double energy = 0;
        for (std::size_t k = 1; k < n / 2; ++k) {
            const double binHz = static_cast<double>(k) * rate / static_cast<double>(n);
            if (binHz >= centre / std::numbers::sqrt2 && binHz < centre * std::numbers::sqrt2) energy += std::norm(spectrum[k]);
        }
        energies.push_back(energy);
    }
    return energies;
}

}  // namespace grain::sound
