// A speaker file: the composer's ring or dome of speakers, in three macro
// lines that the "speakers" technique includes (examples/ring8.speakers):
//   #define SPEAKER_COUNT #6#
//   #define SPEAKER_DIMENSIONS #2#
//   #define SPEAKER_DIRECTIONS #0, 60, 120, 180, 240, 300#
// A ring (2 dimensions) lists one azimuth per speaker, a dome (3) an azimuth,
// elevation pair; degrees, azimuth clockwise from the front, elevation up
// positive. A channel that is no speaker is the word LFE or silent in its
// place (kept silent, in the file's channel order):
//   #define SPEAKER_COUNT #6#
//   #define SPEAKER_DIMENSIONS #2#
//   #define SPEAKER_DIRECTIONS #-30, 30, 0, LFE, -110, 110#
// The layout need not close around the listener: a frontal array pans a
// grain outside it to its nearer end (space/vbap.hpp). grainrender reads the
// file and refuses one it cannot pan onto, naming the line and what is wrong.
#pragma once

#include <string>

#include "layout.hpp"
#include "outcome.hpp"

namespace render {

struct SpeakerLayout {
    space::Layout layout;  // its channels, channel 1 first, named by their numbers; mask 0
};

// Reads the text of the speaker file named name and checks that it can be
// panned onto (space::designPanning): its layout, or why not, with the line
// ("the speaker file NAME, line 3: SPEAKER_DIRECTIONS holds 7 ...").
grain::Outcome<SpeakerLayout> readSpeakerLayout(const std::string& text, const std::string& name);

}  // namespace render
