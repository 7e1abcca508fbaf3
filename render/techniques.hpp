// The spatial techniques grainrender renders in, in one table: the name
// --space takes, the channels, the orchestras' include file for it
// (examples/space-<...>.inc, chosen by the SPACE macro), the WAV channel mask
// of the finished file, and whether it takes the composer's speaker file.
// Besides the techniques of their own (stereo, binaural, Ambisonics, ring8)
// every standard speaker layout is one (space/layout.hpp): its panning is
// worked out here and written for the orchestra's space-layout.inc. The
// usage, the refusals and the container checks are all made from the table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "layout.hpp"

namespace render {

// What the channels of a sound file are, for the loudness meter.
enum class ChannelLayout { pair, ambisonic, speakers };

struct Technique {
    std::string name;          // what --space takes ("4+7+0")
    std::string alias;         // another name it goes by ("7.1.4"), or empty
    int channels = 0;          // 0: the speaker file decides
    std::string include;       // the orchestras' include file, in examples/
    std::uint32_t mask = 0;    // the WAV channel mask; 0 names no speaker positions
    ChannelLayout kind = ChannelLayout::speakers;
    bool speakerFile = false;  // takes the composer's speaker file (--speakers)
    std::optional<space::Layout> layout;  // a standard layout: its panning is written for the orchestra
};

// Every technique, in the order --help lists them.
const std::vector<Technique>& techniques();

// The technique of a name or alias; none otherwise.
const Technique* findTechnique(const std::string& name);

// The SPACE macro that makes the orchestras include the technique's file
// ("layout" for space-layout.inc).
std::string spaceMacro(const Technique& technique);

// The names --space takes, for its refusal: "stereo, binaural, ..., 9+10+3 (22.2)".
std::string techniqueNames();

// The layout of a finished render of that many channels in a technique
// (empty: not known, as for a mix of part files given none).
ChannelLayout layoutOf(const std::string& space, int channels);

// The channel mask of a finished render of that many channels in a technique (empty: not known).
std::uint32_t maskOf(const std::string& space, int channels);

}  // namespace render
