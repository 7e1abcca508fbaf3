#include "speaker_file.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>

namespace render {

namespace {

const std::array<std::string, 3> macroNames = {"SPEAKER_COUNT", "SPEAKER_DIMENSIONS", "SPEAKER_DIRECTIONS"};
constexpr long mostSpeakers = 1024;

// A macro definition of the file: its value and its line (from 1).
struct Definition {
    std::string value;
    int line = 0;
};

std::string trim(const std::string& text) {
    auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// The text in double quotes.
std::string quoted(const std::string& text) {
    std::string out(1, '"');
    return out.append(text).append(1, '"');
}

// The text with its comments (";" or "//" to the line's end, "/* */")
// blanked out, its line ends kept, so that a place in it has its line.
std::string withoutComments(const std::string& text) {
    std::string out = text;
    for (std::size_t at = 0; at < out.size(); ++at) {
        std::size_t end = at;
        if (out[at] == ';' || out.compare(at, 2, "//") == 0) {
            end = out.find('\n', at);
        } else if (out.compare(at, 2, "/*") == 0) {
            end = out.find("*/", at + 2);
            if (end != std::string::npos) end += 2;
        } else {
            continue;
        }
        if (end == std::string::npos) end = out.size();
        for (std::size_t k = at; k < end; ++k)
            if (out[k] != '\n') out[k] = ' ';
        at = end == 0 ? 0 : end - 1;
    }
    return out;
}

// A decimal number and nothing else, finite.
std::optional<double> number(const std::string& text) {
    std::string word = trim(text);
    if (word.empty()) return std::nullopt;
    char* end = nullptr;
    double value = std::strtod(word.c_str(), &end);
    if (*end != '\0' || !std::isfinite(value)) return std::nullopt;
    return value;
}

// A number as the composer wrote it: 45, 22.5.
std::string degrees(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// Reads the definition "#define NAME #value#" that starts at text[at] (the
// value may go on over several lines) and moves at past it; the reason when
// there is none.
std::string readDefinition(const std::string& text, std::size_t& at, std::string& name, std::string& value) {
    const std::string keyword = "#define";
    if (text.compare(at, keyword.size(), keyword) != 0) {
        std::string line = trim(text.substr(at, text.find('\n', at) - at));
        return quoted(line) + " is neither a comment nor a definition (#define SPEAKER_COUNT #8#)";
    }
    std::size_t nameStart = at + keyword.size();
    bool spaced = nameStart < text.size() && (text[nameStart] == ' ' || text[nameStart] == '\t');
    nameStart = spaced ? text.find_first_not_of(" \t", nameStart) : text.size();
    std::size_t nameEnd = std::min(nameStart, text.size());
    while (nameEnd < text.size() && (std::isalnum(static_cast<unsigned char>(text[nameEnd])) || text[nameEnd] == '_'))
        ++nameEnd;
    name = text.substr(std::min(nameStart, text.size()), nameEnd - std::min(nameStart, text.size()));
    std::size_t open = text.find_first_not_of(" \t", nameEnd);
    std::size_t close = open == std::string::npos || text[open] != '#' ? std::string::npos : text.find('#', open + 1);
    if (name.empty() || close == std::string::npos || text.compare(close, keyword.size(), keyword) == 0) {
        std::string shown = name.empty() ? std::string("NAME") : name;
        std::string why = "a definition wants a name and its value between two # signs: #define ";
        return why.append(shown).append(" #value#");
    }
    value = text.substr(open + 1, close - open - 1);
    std::replace(value.begin(), value.end(), '\n', ' ');
    at = close + 1;
    return "";
}

// The checks of a ring: one speaker, or three and more with no gap of 180
// degrees or more between neighbours. channels are from 1, in file order.
std::string ringRefusal(double elevation, const std::vector<std::pair<double, int>>& members) {
    std::string where = "the ring at elevation " + degrees(elevation);
    if (members.size() == 2)
        return where + " holds two speakers (" + std::to_string(members[0].second) + " and " +
               std::to_string(members[1].second) + "): a ring wants one speaker, or three and more";
    if (members.size() < 3) return "";
    std::vector<std::pair<double, int>> around;  // azimuths from 0 to 360, in order
    for (const auto& [azimuth, channel] : members) {
        double wrapped = std::fmod(azimuth, 360.0);
        around.push_back({wrapped < 0 ? wrapped + 360 : wrapped, channel});
    }
    std::stable_sort(around.begin(), around.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t k = 0; k < around.size(); ++k) {
        const auto& from = around[k];
        const auto& to = around[(k + 1) % around.size()];
        double gap = to.first - from.first + (k + 1 == around.size() ? 360 : 0);
        if (gap >= 180)
            return where + " leaves a gap of " + degrees(gap) + " degrees between speakers " +
                   std::to_string(from.second) + " (" + degrees(from.first) + ") and " + std::to_string(to.second) +
                   " (" + degrees(to.first) + "): neighbours in a ring must be less than 180 degrees apart";
    }
    return "";
}

}  // namespace

SpeakerLayout readSpeakerLayout(const std::string& text, const std::string& name) {
    SpeakerLayout layout;
    auto refuse = [&](int line, const std::string& why) {
        layout.speakers.clear();
        layout.refusal = "the speaker file " + name + (line > 0 ? ", line " + std::to_string(line) : "") + ": " + why;
        return layout;
    };
    std::map<std::string, Definition> definitions;
    const std::string plain = withoutComments(text);
    auto lineOf = [&](std::size_t at) { return static_cast<int>(std::count(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(at), '\n')) + 1; };
    for (std::size_t at = plain.find_first_not_of(" \t\r\n"); at != std::string::npos;
         at = plain.find_first_not_of(" \t\r\n", at)) {
        int line = lineOf(at);
        std::string macro, value;
        if (auto why = readDefinition(plain, at, macro, value); !why.empty()) return refuse(line, why);
        if (std::find(macroNames.begin(), macroNames.end(), macro) == macroNames.end())
            return refuse(line, macro + " is not one of SPEAKER_COUNT, SPEAKER_DIMENSIONS, SPEAKER_DIRECTIONS");
        if (auto earlier = definitions.find(macro); earlier != definitions.end())
            return refuse(line, macro + " is defined a second time (first on line " +
                                    std::to_string(earlier->second.line) + ")");
        definitions[macro] = {value, line};
    }
    for (const auto& macro : macroNames)
        if (definitions.count(macro) == 0) return refuse(0, "it does not define " + macro);

    const Definition& count = definitions["SPEAKER_COUNT"];
    auto speakers = number(count.value);
    if (!speakers || *speakers != std::floor(*speakers) || *speakers < 1 || *speakers > mostSpeakers)
        return refuse(count.line, "SPEAKER_COUNT is " + quoted(trim(count.value)) + ", not a number of speakers from 1 to " +
                                      std::to_string(mostSpeakers));
    const Definition& dimensions = definitions["SPEAKER_DIMENSIONS"];
    auto dimension = number(dimensions.value);
    if (!dimension || (*dimension != 2 && *dimension != 3))
        return refuse(dimensions.line, "SPEAKER_DIMENSIONS is " + quoted(trim(dimensions.value)) +
                                           ", not 2 (a ring of azimuths) or 3 (a dome of azimuth, elevation pairs)");

    const Definition& directions = definitions["SPEAKER_DIRECTIONS"];
    std::vector<double> values;
    std::istringstream list(directions.value);
    for (std::string item; std::getline(list, item, ',');) {
        auto value = number(item);
        if (!value)
            return refuse(directions.line, "value " + std::to_string(values.size() + 1) + " of SPEAKER_DIRECTIONS, " +
                                               quoted(trim(item)) + ", is not a number of degrees");
        values.push_back(*value);
    }
    const auto speakerCount = static_cast<std::size_t>(*speakers);
    const std::size_t perSpeaker = *dimension == 3 ? 2 : 1;
    if (values.size() != speakerCount * perSpeaker)
        return refuse(directions.line,
                      "SPEAKER_DIRECTIONS holds " + std::to_string(values.size()) + " values, but " +
                          std::to_string(speakerCount) + " speakers in " + (perSpeaker == 2 ? "3" : "2") +
                          " dimensions want " + std::to_string(speakerCount * perSpeaker) +
                          (perSpeaker == 2 ? " (an azimuth, elevation pair each)" : " (an azimuth each)"));

    std::map<double, std::vector<std::pair<double, int>>> rings;  // by elevation: azimuth and channel
    for (std::size_t k = 0; k < speakerCount; ++k) {
        SpeakerDirection speaker{values[k * perSpeaker], perSpeaker == 2 ? values[k * perSpeaker + 1] : 0.0};
        if (speaker.elevation < -90 || speaker.elevation > 90)
            return refuse(directions.line, "the elevation of speaker " + std::to_string(k + 1) + ", " +
                                               degrees(speaker.elevation) + ", is outside -90 to 90 degrees");
        layout.speakers.push_back(speaker);
        rings[speaker.elevation].push_back({speaker.azimuth, static_cast<int>(k + 1)});
    }
    for (const auto& [elevation, members] : rings)
        if (auto why = ringRefusal(elevation, members); !why.empty()) return refuse(directions.line, why);
    return layout;
}

}  // namespace render
