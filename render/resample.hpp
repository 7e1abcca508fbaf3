// A granule sound file at the render's rate. Csound's GEN01 reads a sound
// file's samples as they are, so a file recorded at another rate would play
// at the wrong pitch and speed; grainrender plays a copy converted to the
// render's rate instead (libsamplerate's best sinc converter), kept only
// while the render lasts. The composer's sound file and score stay as they are.
//
// What the render tells of the file it plays: when it is longer than the
// score's table 1, the score handed to Csound gives the table the file's
// length, so that the whole file is played; when it has more than one
// channel, table 1 reads channel 1 only, and the composer hears how loud the
// others are against it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "atomic_file.hpp"
#include "outcome.hpp"

namespace render {

// The sample rate of a sound file, 0 when it cannot be read.
int soundFileRate(const std::string& path);

// Writes the sound file `from` converted to rate into `to` as 32-bit float
// samples, every channel; why not when it could not.
grain::Outcome<> resampleSoundFile(const std::string& from, const std::string& to, int rate);

// The sound file a render plays: the composer's own, or a converted copy that
// is removed when this goes.
struct SoundAtRate {
    std::string path;                           // the file the render's table reads
    std::unique_ptr<grain::AtomicFile> copy;    // the converted copy, never committed
    std::string note;                           // the line that says it was converted, or empty
};

// The sound file at path for a render at rate; a converted copy is written
// in the folder `scratch`. Why not when it could not be converted.
grain::Outcome<SoundAtRate> soundAtRate(const std::string& path, int rate, const std::string& scratch);

// A sound file's length and channels, and each channel's RMS level.
struct SoundFileFacts {
    long long frames = 0;     // 0 when the file cannot be read
    int rate = 0;
    std::vector<double> rms;  // by channel
    std::size_t channels() const { return rms.size(); }
};

// Reads the sound file at path whole.
SoundFileFacts soundFileFacts(const std::string& path);

// The line that says the file named name is longer than table 1's size
// samples and that the render gives the table the file's length.
std::string longSoundNote(const std::string& name, const SoundFileFacts& facts, long long size);

// The line that says the score reads channel 1 of the file named name and
// how loud the other channels are against it.
std::string channelsNote(const std::string& name, const SoundFileFacts& facts);

}  // namespace render
