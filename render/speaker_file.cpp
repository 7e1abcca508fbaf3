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

#include "vbap.hpp"

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
    auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
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

// A definition as written: the macro's name and its value.
struct MacroText {
    std::string name, value;
};

// Reads the definition "#define NAME #value#" that starts at text[at] (the
// value may go on over several lines) and moves at past it; the reason when
// there is none.
grain::Outcome<MacroText> readDefinition(const std::string& text, std::size_t& at) {
    const std::string keyword = "#define";
    if (text.compare(at, keyword.size(), keyword) != 0) {
        std::string line = trim(text.substr(at, text.find('\n', at) - at));
        return grain::because(quoted(line) + " is neither a comment nor a definition (#define SPEAKER_COUNT #8#)");
    }
    std::size_t nameStart = at + keyword.size();
    bool spaced = nameStart < text.size() && (text[nameStart] == ' ' || text[nameStart] == '\t');
    nameStart = spaced ? text.find_first_not_of(" \t", nameStart) : text.size();
    std::size_t nameEnd = std::min(nameStart, text.size());
    while (nameEnd < text.size() && (std::isalnum(static_cast<unsigned char>(text[nameEnd])) || text[nameEnd] == '_'))
        ++nameEnd;
    std::string name = text.substr(std::min(nameStart, text.size()), nameEnd - std::min(nameStart, text.size()));
    std::size_t open = text.find_first_not_of(" \t", nameEnd);
    std::size_t close = open == std::string::npos || text[open] != '#' ? std::string::npos : text.find('#', open + 1);
    if (name.empty() || close == std::string::npos || text.compare(close, keyword.size(), keyword) == 0) {
        std::string shown = name.empty() ? std::string("NAME") : name;
        std::string why = "a definition wants a name and its value between two # signs: #define ";
        return grain::because(why.append(shown).append(" #value#"));
    }
    std::string value = text.substr(open + 1, close - open - 1);
    at = close + 1;
    return MacroText{name, value};
}

// The file read and its format checked; channelLines gets the line of each
// channel's first value, then that of SPEAKER_DIRECTIONS.
grain::Outcome<SpeakerLayout> readSpeakerDirections(const std::string& text, const std::string& name,
                                                    std::vector<int>& channelLines) {
    SpeakerLayout layout;
    auto refuse = [&](int line, const std::string& why) {
        return grain::Outcome<SpeakerLayout>(grain::because(
            "the speaker file " + name + (line > 0 ? ", line " + std::to_string(line) : "") + ": " + why));
    };
    std::map<std::string, Definition> definitions;
    const std::string plain = withoutComments(text);
    auto lineOf = [&](std::size_t at) { return static_cast<int>(std::count(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(at), '\n')) + 1; };
    for (std::size_t at = plain.find_first_not_of(" \t\r\n"); at != std::string::npos;
         at = plain.find_first_not_of(" \t\r\n", at)) {
        int line = lineOf(at);
        auto definition = readDefinition(plain, at);
        if (!definition) return refuse(line, definition.reason());
        const auto& [macro, value] = *definition;
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
    // The values in order, each with its line: a number, or LFE or silent for a channel that is no speaker.
    struct Value {
        std::optional<double> number;
        space::ChannelKind kind = space::ChannelKind::speaker;
        int line = 0;
    };
    std::vector<Value> values;
    int line = directions.line, named = 0;
    std::istringstream list(directions.value);
    for (std::string item; std::getline(list, item, ',');) {
        // the value's line: the definition's, and one more for every line end before the value
        std::size_t start = std::min(item.find_first_not_of(" \t\r\n"), item.size());
        int itemLine = line + static_cast<int>(std::count(item.begin(), item.begin() + static_cast<std::ptrdiff_t>(start), '\n'));
        line += static_cast<int>(std::count(item.begin(), item.end(), '\n'));
        std::string word = trim(item);
        if (word == "LFE" || word == "silent") {
            values.push_back({std::nullopt, word == "LFE" ? space::ChannelKind::lfe : space::ChannelKind::silent, itemLine});
            ++named;
            continue;
        }
        auto value = number(word);
        if (!value)
            return refuse(itemLine, "value " + std::to_string(values.size() + 1) + " of SPEAKER_DIRECTIONS, " + quoted(word) +
                                        ", is neither a number of degrees nor LFE or silent");
        values.push_back({value, space::ChannelKind::speaker, itemLine});
    }
    const auto speakerCount = static_cast<std::size_t>(*speakers);
    const std::size_t perSpeaker = *dimension == 3 ? 2 : 1;
    const auto namedCount = static_cast<std::size_t>(named);
    if (namedCount > speakerCount || values.size() != (speakerCount - namedCount) * perSpeaker + namedCount)
        return refuse(directions.line,
                      "SPEAKER_DIRECTIONS holds " + std::to_string(values.size()) + " values, but " +
                          std::to_string(speakerCount) + " speakers in " + (perSpeaker == 2 ? "3" : "2") +
                          " dimensions want " + std::to_string((speakerCount - std::min(namedCount, speakerCount)) * perSpeaker + namedCount) +
                          (perSpeaker == 2 ? " (an azimuth, elevation pair each" : " (an azimuth each") +
                          (named > 0 ? ", or LFE or silent)" : ")"));

    layout.layout.name = name;
    for (std::size_t at = 0; at < values.size();) {
        std::string channel = std::to_string(layout.layout.channels.size() + 1);
        channelLines.push_back(values[at].line);
        if (!values[at].number) {
            layout.layout.channels.push_back({channel, values[at].kind, {}});
            ++at;
            continue;
        }
        if (perSpeaker == 2 && !values[at + 1].number)
            return refuse(values[at + 1].line, "speaker " + channel + " has an azimuth but no elevation");
        space::Direction direction{*values[at].number, perSpeaker == 2 ? *values[at + 1].number : 0.0};
        if (direction.elevation < -90 || direction.elevation > 90)
            return refuse(values[at + perSpeaker - 1].line, "the elevation of speaker " + channel + ", " +
                                                                degrees(direction.elevation) + ", is outside -90 to 90 degrees");
        layout.layout.channels.push_back({channel, space::ChannelKind::speaker, direction});
        at += perSpeaker;
    }
    channelLines.push_back(directions.line);
    return layout;
}

}  // namespace

grain::Outcome<SpeakerLayout> readSpeakerLayout(const std::string& text, const std::string& name) {
    std::vector<int> channelLines;  // the line of each channel's first value, then the directions' line
    auto layout = readSpeakerDirections(text, name, channelLines);
    if (!layout) return layout;
    grain::Outcome<space::Panning> panning = space::designPanning(layout->layout);
    if (!panning) {
        // The line of the speaker that stands where another does, else the
        // directions' line: the refusal is about the layout as a whole.
        auto together = space::speakersAtOneDirection(layout->layout);
        std::size_t line = together ? static_cast<std::size_t>(together->second - 1) : channelLines.size() - 1;
        return grain::because("the speaker file " + name + ", line " + std::to_string(channelLines[line]) + ": " +
                              panning.reason());
    }
    return layout;
}

}  // namespace render
