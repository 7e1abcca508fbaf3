#include "playback_fields.hpp"

namespace grain {

float drawFilePlayPos(RandomSource& random) { return drawFraction(random); }

}  // namespace grain
