// glissonscore's glissandi: every grain glides from a start to an end
// frequency that the boid's elevation gives (offset elevations, 0 to 180 for
// -90 to 90 degrees).
//   mode 1: from the frequency of the previous elevation to that of the current;
//   mode 2: from the frequency of the previous elevation one octave up when the
//           boid rose or kept its height, one octave down when it sank;
//   mode 3: from the frequency of the current elevation to a ratio of it that
//           the elevation picks from a just major scale; elevations that pick
//           no ratio repeat the end frequency held from the last grain.
#pragma once

namespace grain {

struct GlissonFrequencyMapper {
    int mode = 1;
    float low = 0.0f;   // lowest frequency, Hz
    float high = 0.0f;  // highest frequency, Hz
    float heldEnd = 0.0f;    // end frequency of the last grain, for the whole run
    bool hasHeldEnd = false;
};

struct GlissonFrequencies {
    float startFreq;
    float endFreq;
};

// The start and end frequency of a grain from the previous and current offset
// elevations; the end frequency is then held for the next grain.
GlissonFrequencies mapFrequencies(GlissonFrequencyMapper& mapper, float previous, float current);

}  // namespace grain
