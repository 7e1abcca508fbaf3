#include "part_label.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace render {

namespace {

const std::string firstWords = "grainrender part ";

// How a technique reads in a refusal: "ambix3", "a speaker file".
std::string techniqueName(const std::string& space) {
    return space.rfind("speakers ", 0) == 0 ? "for a speaker file" : "in " + space;
}

// How the switches of a part read in a refusal: "--no-doppler --no-air", "every cue on".
std::string switchesName(const std::string& switches) { return switches.empty() ? "every cue on" : switches; }

// "part 2 of 3 is missing", "parts 2 and 3 of 5 are missing", "parts 1, 2 and 4 of 5 are missing".
std::string missingParts(const std::vector<int>& missing, int count) {
    std::string list = std::to_string(missing[0]);
    for (std::size_t k = 1; k < missing.size(); ++k)
        list += (k + 1 == missing.size() ? " and " : ", ") + std::to_string(missing[k]);
    return (missing.size() == 1 ? "part " : "parts ") + list + " of " + std::to_string(count) +
           (missing.size() == 1 ? " is missing" : " are missing");
}

}  // namespace

std::string orchestraDigest(const std::string& orchestraPath) {
    auto orchestra = grain::readFileBytes(orchestraPath);
    if (!orchestra) return "";
    std::map<std::string, std::string> includes;  // by name, so the order is the same everywhere
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(fs::absolute(orchestraPath).parent_path(), error))
        if (entry.path().extension() == ".inc" || entry.path().extension() == ".speakers")
            if (auto text = grain::readFileBytes(entry.path())) includes[entry.path().filename().string()] = *text;
    std::string all = *orchestra;
    for (const auto& [name, text] : includes) all += "\n" + name + "\n" + std::to_string(text.size()) + "\n" + text;
    return contentDigest(all);
}

std::string labelText(const PartLabel& label) {
    return firstWords + std::to_string(label.part) + " of " + std::to_string(label.partCount) + "\n" +
           "score " + label.score + "\n" + "space " + label.space + "\n" + "rate " + std::to_string(label.rate) + "\n" +
           "orchestra " + label.orchestra + "\n" + "window " + label.window + "\n" + "hrtf " + label.hrtf + "\n" +
           "switches " + (label.switches.empty() ? "none" : label.switches) + "\n";
}

std::optional<PartLabel> parseLabel(const std::string& text) {
    std::istringstream in(text);
    std::string line;
    PartLabel label;
    if (!std::getline(in, line) || line.rfind(firstWords, 0) != 0) return std::nullopt;
    if (std::sscanf(line.c_str() + firstWords.size(), "%d of %d", &label.part, &label.partCount) != 2) return std::nullopt;
    std::map<std::string, std::string> fields;
    while (std::getline(in, line)) {
        auto space = line.find(' ');
        if (space != std::string::npos) fields[line.substr(0, space)] = line.substr(space + 1);
    }
    for (const char* key : {"score", "space", "rate", "orchestra"})
        if (fields.count(key) == 0) return std::nullopt;
    label.score = fields["score"];
    label.space = fields["space"];
    label.rate = std::atoi(fields["rate"].c_str());
    label.orchestra = fields["orchestra"];
    // A part of an earlier grainrender records no window, HRTF set or
    // switches: the default window, no HRTF set named, every cue on.
    if (fields.count("window") != 0) label.window = fields["window"];
    if (fields.count("hrtf") != 0) label.hrtf = fields["hrtf"];
    if (fields.count("switches") != 0 && fields["switches"] != "none") label.switches = fields["switches"];
    if (label.part < 1 || label.part > label.partCount) return std::nullopt;
    return label;
}

grain::Outcome<> checkPartSet(const std::vector<std::string>& paths,
                              const std::vector<std::optional<PartLabel>>& labels) {
    for (std::size_t k = 0; k < paths.size(); ++k)
        if (!labels[k])
            return grain::because("the file " + paths[k] +
                                  " is no part file of grainrender --part (it records no part): "
                                  "only the parts of one render are mixed");
    const PartLabel& first = *labels[0];
    const std::string& one = paths[0];
    for (std::size_t k = 1; k < paths.size(); ++k) {
        const PartLabel& label = *labels[k];
        const std::string& other = paths[k];
        if (label.score != first.score) return grain::because(one + " and " + other + " are parts of different scores");
        if (label.space != first.space) {
            if (label.space.rfind("speakers ", 0) == 0 && first.space.rfind("speakers ", 0) == 0)
                return grain::because(one + " and " + other + " were rendered for different speaker files");
            return grain::because(one + " was rendered " + techniqueName(first.space) + ", " + other + " " +
                                  techniqueName(label.space));
        }
        if (label.rate != first.rate)
            return grain::because(one + " is at " + std::to_string(first.rate) + " Hz, " + other + " at " +
                                  std::to_string(label.rate) + " Hz");
        if (label.orchestra != first.orchestra)
            return grain::because(one + " and " + other + " were rendered with different orchestras");
        if (label.window != first.window)
            return grain::because(one + " was rendered with the window " + first.window + ", " + other + " with " +
                                  label.window);
        if (label.hrtf != first.hrtf)
            return grain::because(one + " and " + other + " were rendered with different HRTF sets");
        if (label.switches != first.switches)
            return grain::because(one + " was rendered with " + switchesName(first.switches) + ", " + other + " with " +
                                  switchesName(label.switches));
        if (label.partCount != first.partCount)
            return grain::because(one + " is part " + std::to_string(first.part) + " of " +
                                  std::to_string(first.partCount) + ", " + other + " part " +
                                  std::to_string(label.part) + " of " + std::to_string(label.partCount));
    }
    std::map<int, std::size_t> given;  // part number to its first file
    for (std::size_t k = 0; k < paths.size(); ++k) {
        auto [earlier, fresh] = given.emplace(labels[k]->part, k);
        if (!fresh)
            return grain::because("part " + std::to_string(labels[k]->part) + " of " + std::to_string(first.partCount) +
                                  " is given twice: " + paths[earlier->second] + " and " + paths[k]);
    }
    std::vector<int> missing;
    for (int part = 1; part <= first.partCount; ++part)
        if (given.count(part) == 0) missing.push_back(part);
    if (!missing.empty()) return grain::because(missingParts(missing, first.partCount));
    return grain::Done{};
}

}  // namespace render
