// The level of a finished render: --normalize brings its highest sample peak
// (over all channels) to a level in dBFS, --loudness its integrated loudness
// after EBU R128 to a level in LUFS. Loudness is measured on what a listener
// hears as the whole: both channels of the two-channel techniques, channel W
// alone of Ambisonics (the omnidirectional signal), every speaker of a ring
// with the same weight. One gain scales every channel alike.
#pragma once

#include <string>

#include "containers.hpp"
#include "outcome.hpp"
#include "techniques.hpp"
#include "sound_files.hpp"

namespace render {

struct LevelTarget {
    enum class Kind { none, peak, loudness };
    Kind kind = Kind::none;
    double level = 0;  // dBFS for peak, LUFS for loudness
};

struct GainChoice {
    double gain = 1;      // the factor every sample is multiplied by
    std::string warning;  // why no gain could be found (a silent render): the render keeps its level
};

// Integrated loudness of a sound file in LUFS, measured as above; -HUGE_VAL
// when everything lies below the absolute gate (-70 LUFS). The reason when
// the file cannot be read or measured.
grain::Outcome<double> integratedLoudness(const std::string& path, ChannelLayout layout);

// The gain that brings the mixed render at path, with the summary of its
// peaks, to the target; the reason when the mixed render cannot be read.
grain::Outcome<GainChoice> chooseGain(const LevelTarget& target, const std::string& path, const SoundSummary& summary,
                      ChannelLayout layout);

// The gain in decibels as the closing line states it: "gain +3.21 dB".
std::string gainText(double gain);

}  // namespace render
