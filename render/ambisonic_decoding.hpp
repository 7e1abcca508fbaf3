// Decoding a finished Ambisonics render (AmbiX, first to third order) to a
// speaker layout with the all-round decoder of space/ambisonic_decoder.hpp:
// every frame's speaker signals are the decoder's gains times its components.
#pragma once

#include <string>

#include "ambisonic_decoder.hpp"
#include "outcome.hpp"
#include "sound_files.hpp"

namespace render {

// Decodes the AmbiX file from into a float W64 file to, one channel per
// channel of the decoder's layout. The summary's peaks are those written.
grain::Outcome<SoundSummary> decodeAmbisonics(const std::string& from, const std::string& to,
                                              const space::AmbisonicDecoder& decoder);

// The decoder's gains as --verbose shows them: a line per channel, "FL  0.1234 ...".
std::string decoderGainsText(const space::Layout& layout, const space::AmbisonicDecoder& decoder);

}  // namespace render
