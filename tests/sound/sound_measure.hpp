// Measurements on rendered sound files: levels, delays between channels,
// gains of one channel against another and the strength of single
// frequencies. They are what the spatial rendering tests state their claims
// in: decibels, milliseconds, hertz.
#pragma once

#include <cstddef>
#include <filesystem>
#include <vector>

#include "outcome.hpp"

namespace grain::sound {

// A sound file's samples, one vector per channel, full scale 1.
struct Sound {
    int rate = 0;
    std::vector<std::vector<double>> channels;
    std::size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

// Reads any sound file libsndfile knows; an empty Sound when it cannot.
Sound readSound(const std::filesystem::path& path);

// Writes sound as a 32-bit float WAV file. Done, or why not.
Outcome<> writeSound(const std::filesystem::path& path, const Sound& sound);

// Root mean square of samples [from, to).
double rms(const std::vector<double>& samples, std::size_t from, std::size_t to);

// Level of a ratio of amplitudes in decibels.
double decibels(double ratio);

// The lag in samples (-maxLag to maxLag) at which later[n + lag] best matches
// earlier[n]: positive when `later` is the delayed copy.
int bestLag(const std::vector<double>& earlier, const std::vector<double>& later, int maxLag);

// Least-squares gain of signal against reference: signal ~ gain * reference.
double gainAgainst(const std::vector<double>& reference, const std::vector<double>& signal);

// Amplitude of the component at frequency hz in samples [from, to), from a
// Hann-windowed discrete Fourier sum (a full-scale sine gives about 1).
double amplitudeAt(const std::vector<double>& samples, int rate, double hz, std::size_t from, std::size_t to);

// Frequency of the strongest component between lowHz and highHz in samples
// [from, to), to a small fraction of a hertz.
double peakFrequency(const std::vector<double>& samples, int rate, double lowHz, double highHz, std::size_t from,
                     std::size_t to);

// Energy of samples [from, to) (to held to the end) in the octave band around each centre
// frequency (centre / sqrt 2 to centre x sqrt 2), in the same arbitrary unit
// for every band and signal of the same length.
std::vector<double> octaveBandEnergies(const std::vector<double>& samples, int rate, std::size_t from, std::size_t to,
                                       const std::vector<double>& centres);

// Energy of the whole file's spectrum above hz divided by the energy below it.
double energyAboveOverBelow(const std::vector<double>& samples, int rate, double hz);

// The energy (sum of squares) of the part of the whole file's spectrum below hz.
double energyBelow(const std::vector<double>& samples, int rate, double hz);

// Mean of samples [from, to).
double mean(const std::vector<double>& samples, std::size_t from, std::size_t to);

}  // namespace grain::sound
