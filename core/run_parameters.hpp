// The answers a composer gives in a program's dialogue, and the minimum grain
// duration derived from them. Filled once by the dialogue; every later stage
// of the run reads it and none changes it.
#pragma once

#include <array>
#include <string>

#include "score_format.hpp"

namespace grain {

struct RunParameters {
    int frequencyMode = 0;          // glissonscore: frequency mapping menu, 1 to 3
    float lowFrequency = 0.0f;      // glissonscore: lowest frequency, Hz
    float highFrequency = 0.0f;     // glissonscore: highest frequency, Hz
    float fundamental = 0.0f;       // additivescore: fundamental frequency, Hz
    int harmonics = 0;              // glissonscore, additivescore: partials of the f1 sine table
    int grainDurMode = 0;           // glissonscore, granulescore: grain duration menu, 1 to 3
    float minGrainDur = 0.0f;       // seconds between coordinate samples; the shortest grain
    float maxGrainDur = 0.0f;       // grain duration mode 1: longest grain, seconds
    std::array<float, 5> grainDurPoints{};    // grain durations at 0, T/4, T/2, 3T/4, T
    int densityMode = 0;            // 0 dynamic density, any other value constant
    std::array<float, 5> intergrainPoints{};  // intergrain values at 0, T/4, T/2, 3T/4, T
    float totalDuration = 0.0f;     // T, seconds, of every voice
    float streams = 0.0f;           // number of grain streams (voices), a real
    int reverb = 0;                 // exactly 1 switches the global reverb on
    std::string soundFile;          // granulescore: the sound file to granulate, as typed
    float playSpeed = 0.0f;         // granulescore: grain playback speed
};

}  // namespace grain
