// What a part file records about itself, so that --mix sums only a set that
// makes one render: which score (a digest of its text), which technique (or
// which speaker file, by a digest of it), the sample rate, which orchestra (a
// digest of it and the include and speaker files beside it), the grain's
// window, which part of how many, which HRTF set binaural heard (a digest of
// the SOFA file, or Csound's own data) and which of grainrender's --no-...
// switches were given.
// The label is a few lines of text ("grainrender part 2 of 3", "score ...")
// kept inside the part file (part_file.hpp).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "file_bytes.hpp"
#include "outcome.hpp"

namespace render {

struct PartLabel {
    std::string score;      // digest of the score's text
    std::string space;      // the technique; "speakers " and a digest of the speaker file for --speakers
    int rate = 0;           // samples per second
    std::string orchestra;  // digest of the orchestra and its include files
    int part = 0;           // K of --part K/N, from 1
    int partCount = 0;      // N
    std::string window = "default";  // the grain's window
    std::string hrtf = "none";  // binaural: "csound" or a digest of the SOFA file; otherwise "none"
    std::string switches;   // the --no-... switches given, space between them; empty for none
};

// A digest of bytes (grain::contentDigest).
using grain::contentDigest;

// The digest of an orchestra: its text and that of every include file (.inc)
// and speaker file (.speakers) in its folder, by name. Empty when the orchestra cannot be read.
std::string orchestraDigest(const std::string& orchestraPath);

// The label as text, and read back from it (nothing when the text is no label).
std::string labelText(const PartLabel& label);
std::optional<PartLabel> parseLabel(const std::string& text);

// Whether the part files (paths, each with its label, or none when it has
// none) are exactly parts 1 to N of one render, each once, in any order; or
// one line naming what is wrong.
grain::Outcome<> checkPartSet(const std::vector<std::string>& paths,
                              const std::vector<std::optional<PartLabel>>& labels);

}  // namespace render
