// A speaker file: the composer's ring or dome of speakers, in three macro
// lines that the "speakers" technique includes (examples/ring8.speakers):
//   #define SPEAKER_COUNT #6#
//   #define SPEAKER_DIMENSIONS #2#
//   #define SPEAKER_DIRECTIONS #0, 60, 120, 180, 240, 300#
// A ring (2 dimensions) lists one azimuth per speaker, a dome (3) an azimuth,
// elevation pair; degrees, azimuth clockwise from the front, elevation up
// positive. Speakers of equal elevation form a ring, and a grain is panned
// between the two speakers of a ring around it: a ring wants one speaker or
// three and more, with no gap of 180 degrees or more between neighbours.
// grainrender reads the file before Csound does and refuses one the
// orchestra cannot pan onto, naming the line and what is wrong.
#pragma once

#include <string>
#include <vector>

namespace render {

// One speaker's direction, degrees.
struct SpeakerDirection {
    double azimuth = 0;
    double elevation = 0;
};

struct SpeakerLayout {
    std::vector<SpeakerDirection> speakers;  // channel 1 first
    std::string refusal;                     // empty when the file is good, otherwise why not, with the line
};

// Reads the text of the speaker file named name and checks it. A refusal
// reads "the speaker file NAME, line 3: SPEAKER_DIRECTIONS holds 7 ...".
SpeakerLayout readSpeakerLayout(const std::string& text, const std::string& name);

}  // namespace render
