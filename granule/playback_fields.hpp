// granulescore's own fields: every grain plays a stretch of one mono sound
// file, starting at a random position (a fraction of the file, drawn anew for
// every grain) and at the playback speed the composer chose.
#pragma once

#include "random_source.hpp"

namespace grain {

// The grain's position in the sound file, 0 to 1: one draw divided by 32767.
float drawFilePlayPos(RandomSource& random);

}  // namespace grain
