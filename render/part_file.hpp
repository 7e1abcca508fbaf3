// A part file of grainrender --part: 32-bit float samples, full scale at 1,
// in a Sony Wave64 (W64) file, whose sizes are 64-bit, since a part's length
// is known only when it has been rendered. The file carries the part's label
// (part_label.hpp) in a chunk of its own before the samples. libsndfile keeps
// neither string chunks nor chunks of the caller's in W64, so grainrender
// writes the file itself: a header (riff, wave, fmt, fact, the label, data)
// whose sizes are filled in when the file is closed, then the samples as they
// come. Readers that do not know the label's chunk pass over it (libsndfile
// does), and the file reads as any float W64 file.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "outcome.hpp"

namespace render {

class PartFileWriter {
public:
    // Creates path for interleaved float frames of channels at rate, with the
    // label's text; the reason when it cannot be made.
    static grain::Outcome<PartFileWriter> create(const std::string& path, int channels, int rate,
                                                 const std::string& label);

    // Appends interleaved frames; the reason when the write fails (and every
    // write after it gives the same reason).
    grain::Outcome<> write(const float* samples, long long frames);
    // Fills in the sizes and closes the file; the reason when that, or a write before it, failed.
    grain::Outcome<> close();

private:
    PartFileWriter(const std::string& path, int channels);
    std::string path_;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file_{nullptr, std::fclose};
    int channels_ = 0;
    long long frames_ = 0;
    long dataStart_ = 0;                    // where the samples begin
    grain::Outcome<> status_;  // done while all is well, else the first failure, which ends the writing
    // Keeps the first failure, "cannot write PATH: what", and gives it back.
    grain::Reason fail(const std::string& what);
};

// The label's text recorded in a W64 file; nothing when the file has none
// (it is no part file, or not W64) or cannot be read.
std::optional<std::string> readPartLabelText(const std::string& path);

}  // namespace render
