// What grainrender tells the composer while and after it renders: a progress
// bar (score time done of all parts, the rate against real time, the time
// left) and one closing line with the length, each channel's peak and the
// real-time factor.
#pragma once

#include <string>
#include <vector>

#include "sound_files.hpp"

namespace render {

// The score time done and in all, summed over the parts, seconds: a part
// counts up to the end of its last statement and no further, so that the total
// stays as it was at the start while the parts render the reverb's tail
// (which only the orchestra knows the length of).
struct PartsDone {
    double done = 0, total = 0;
};
PartsDone partsDone(const std::vector<double>& times, const std::vector<double>& ends);

// One line of the progress bar, without a line end: done and total are
// seconds of score time summed over all parts, music is the length of the
// whole piece in seconds and wall the seconds since rendering began.
std::string progressLine(double done, double total, double music, double wall);

// The progress line of --play: played is the score time played so far and
// music the length of the piece, in seconds.
std::string playLine(double played, double music);

// The closing line of --play: "played 12.50 s, 2 channels at 48000 Hz through JACK, peaks -6.0 dBFS -7.1 dBFS, 0 under-runs".
std::string playedLine(const SoundSummary& summary, int underruns);

// A level in decibels against full scale, one decimal: "-6.0 dBFS", "silent" for 0.
std::string dbfs(double peak);

// The closing line: "NAME: 12.50 s, 2 channels at 44100 Hz, peaks -6.0 dBFS -7.1 dBFS, 4.2 x real time".
std::string closingLine(const std::string& name, const SoundSummary& summary, double wall);

// One warning line for every channel whose peak passes full scale; empty when none does.
std::vector<std::string> peakWarnings(const std::string& name, const SoundSummary& summary);

}  // namespace render
