// The sound files grainrender writes and reads: 32-bit float samples, full
// scale at 1. A part file is W64 (part_file.hpp); the mixed file is WAV, or W64 when it would pass the
// 4 GB that WAV can hold. Every file is written as a grain::AtomicFile (under
// a temporary name in its folder, renamed when complete), so a failed run
// leaves no file behind.
#pragma once

#include <sndfile.h>

#include <memory>
#include <string>
#include <vector>

#include "outcome.hpp"

namespace render {

// A sound file open for writing float frames.
struct SoundWriter {
    std::unique_ptr<SNDFILE, int (*)(SNDFILE*)> file{nullptr, sf_close};
    int channels = 0;
};

// Appends interleaved frames; the reason when the write fails.
grain::Outcome<> writeFrames(SoundWriter& writer, const float* samples, long long frames);

// Closes the file; the reason when the last write fails.
grain::Outcome<> closeWriter(SoundWriter& writer);

// Writes interleaved frames of channels as a W64 file of 32-bit floats at
// path, whole, for the orchestra to load into a table (GEN01); why not when
// it cannot.
grain::Outcome<> writeTableFile(const std::string& path, const std::vector<float>& frames, int channels, int rate);

// Whether a file can be created at path, or why not. Leaves nothing behind.
grain::Outcome<> checkOutputFile(const std::string& path);

// What a finished sound file holds.
struct SoundSummary {
    long long frames = 0;
    int channels = 0;
    int rate = 0;
    std::vector<double> peaks;  // largest magnitude of each channel, 1 is full scale
    bool w64 = false;
};

// Sums the part files sample by sample (shorter ones go on in silence) into
// out, as floats. The parts must agree in channels and sample rate. What the
// file holds, or why it could not be written.
grain::Outcome<SoundSummary> mixSoundFiles(const std::vector<std::string>& parts, const std::string& out);

}  // namespace render
