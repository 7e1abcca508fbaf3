// A granule sound file at the render's rate. Csound's GEN01 reads a sound
// file's samples as they are, so a file recorded at another rate would play
// at the wrong pitch and speed; grainrender plays a copy converted to the
// render's rate instead (libsamplerate's best sinc converter), kept only
// while the render lasts. The composer's sound file and score stay as they are.
#pragma once

#include <memory>
#include <string>

#include "atomic_file.hpp"

namespace render {

// The sample rate of a sound file, 0 when it cannot be read.
int soundFileRate(const std::string& path);

// Writes the sound file `from` converted to rate into `to` as 32-bit float
// samples, every channel. Returns an empty text, or why it could not.
std::string resampleSoundFile(const std::string& from, const std::string& to, int rate);

// The sound file a render plays: the composer's own, or a converted copy that
// is removed when this goes.
struct SoundAtRate {
    std::string path;                           // the file the render's table reads
    std::unique_ptr<grain::AtomicFile> copy;    // the converted copy, never committed
    std::string note;                           // the line that says it was converted, or empty
    std::string error;                          // why it could not be converted, or empty
};

// The sound file at path for a render at rate; a converted copy is written
// in the folder `scratch`.
SoundAtRate soundAtRate(const std::string& path, int rate, const std::string& scratch);

}  // namespace render
