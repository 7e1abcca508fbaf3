// The container of grainrender's finished sound file, chosen by the output's
// name: .wav (extensible WAV, 32-bit float; RF64 past 4 GB), .caf (32-bit
// float; an Ambisonics render in CAF is a basic AmbiX file), .w64, .aiff or
// .aif (AIFF-C, 32-bit float) and .flac (24-bit, at most 8 channels). A
// part file is always W64. The WAV header's channel mask says what the
// channels are: the technique's (techniques.hpp), front left and right for
// the two-channel techniques, a standard layout's speakers, no speaker
// position at all for Ambisonics and the composer's own speakers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "outcome.hpp"
#include "sound_files.hpp"

namespace render {

struct Container {
    std::string extension;  // ".wav", lower case
    int format = 0;         // libsndfile's major format and sample format
    int maxChannels = 0;    // 0: no limit
};

// The container the output's name asks for; none for an unknown extension.
std::optional<Container> containerOf(const std::string& path);

// The container of the file at path when a finished render of that many
// channels (0: not known yet) can go into it; why it cannot otherwise.
grain::Outcome<Container> checkContainer(const std::string& path, int channels);

// Copies the float sound file `from` into `output`, in the container its name
// asks for, every sample multiplied by gain, with the WAV channel mask given.
// Written whole or not at all.
// The summary's peaks are those of the samples written.
grain::Outcome<SoundSummary> writeContainer(const std::string& from, const std::string& output, std::uint32_t mask, double gain);

}  // namespace render
