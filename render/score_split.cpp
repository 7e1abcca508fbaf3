#include "score_split.hpp"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <sstream>

#include "score_format.hpp"

namespace render {

namespace {

std::vector<std::string> words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> out;
    for (std::string word; in >> word;) out.push_back(word);
    return out;
}

std::optional<double> number(const std::string& word) {
    char* end = nullptr;
    double value = std::strtod(word.c_str(), &end);
    if (word.empty() || *end != '\0') return std::nullopt;
    return value;
}

bool startsWithStatement(const std::string& line, const std::string& name) {
    if (line.compare(0, name.size(), name) != 0) return false;
    return line.size() == name.size() || std::isspace(static_cast<unsigned char>(line[name.size()]));
}

// The program named by the header's column comment, or else by the score's
// file name.
std::optional<ScoreProgram> programOf(const std::string& header, const std::string& fileName) {
    if (auto id = grain::programOfScore(header)) return scoreProgram(*id);
    std::string name = fileName;
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
    for (const grain::ScoreFormat& format : grain::scoreFormats) {
        ScoreProgram program = scoreProgram(format.program);
        std::string known = program.scoreName;
        std::transform(known.begin(), known.end(), known.begin(), [](unsigned char c) { return std::toupper(c); });
        if (name == known) return program;
    }
    return std::nullopt;
}

// The file name between the first pair of double quotes of table 1's statement.
std::string soundFileOf(const std::string& header) {
    std::istringstream in(header);
    for (std::string line; std::getline(in, line);) {
        if (!startsWithStatement(line, "f1")) continue;
        auto open = line.find('"');
        auto close = open == std::string::npos ? open : line.find('"', open + 1);
        if (close != std::string::npos) return line.substr(open + 1, close - open - 1);
    }
    return "";
}

}  // namespace

ScoreProgram scoreProgram(grain::Program program) {
    const grain::ScoreFormat& format = grain::scoreFormat(program);
    return {program, std::string(format.name), std::string(format.orchestraFileName),
            std::string(format.scoreFileName)};
}

SplitReading splitScore(const std::string& text, const std::string& fileName) {
    SplitScore score;
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string raw; std::getline(in, raw);) lines.push_back(raw);
    std::size_t first = 0;
    for (; first < lines.size(); ++first) {
        std::string line = lines[first];
        if (startsWithStatement(line, "i1")) break;
        score.header += line + "\n";
    }
    auto program = programOf(score.header, fileName);
    if (!program) return {std::nullopt, "is not a score of glissonscore, granulescore or additivescore"};
    score.program = *program;
    if (score.program.id == grain::Program::granule) score.soundFile = soundFileOf(score.header);

    bool ended = false;
    for (std::size_t n = first; n < lines.size(); ++n) {
        std::string line = lines[n];
        if (!line.empty() && line.back() == '\r') line.pop_back();
        auto refuse = [&](const std::string& why) {
            return SplitReading{std::nullopt, "line " + std::to_string(n + 1) + " " + why + ": " + line};
        };
        auto fields = words(line);
        if (fields.empty() || fields[0][0] == ';') continue;
        if (fields[0] == "e") {
            ended = true;
            break;
        }
        if (fields[0] != "i1" && fields[0] != "i99") return refuse("holds a statement that the score programs do not write");
        std::optional<double> start = fields.size() > 2 ? number(fields[1]) : std::nullopt;
        std::optional<double> duration = fields.size() > 2 ? number(fields[2]) : std::nullopt;
        if (!start || !duration) return refuse("is a statement without a start and a duration");
        if (fields[0] == "i99") {
            score.reverb += lines[n] + "\n";
            score.reverbEnd = std::max(score.reverbEnd, *start + *duration);
            continue;
        }
        std::optional<double> voice = fields.size() > 3 ? number(fields[3]) : std::nullopt;
        if (!voice || *voice != static_cast<int>(*voice)) return refuse("is a grain statement without a voice number");
        score.grains.push_back({lines[n] + "\n", static_cast<int>(*voice), *duration, *start + *duration});
    }
    // A score cut short renders silence, or never ends: the orchestras' bus
    // and reverb instruments play until the end statement.
    if (score.grains.empty()) return {std::nullopt, "holds no grain statements: it is not a complete score"};
    if (!ended) return {std::nullopt, "has no end statement (e): it is not a complete score"};
    return {score, ""};
}

std::map<int, int> shareVoices(const SplitScore& score, int partCount) {
    std::map<int, double> noteTime;
    for (const auto& grain : score.grains) noteTime[grain.voice] += grain.duration;
    std::vector<std::pair<int, double>> voices(noteTime.begin(), noteTime.end());
    std::stable_sort(voices.begin(), voices.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    std::vector<double> load(static_cast<std::size_t>(std::max(partCount, 1)), 0.0);
    std::map<int, int> shares;
    for (const auto& [voice, time] : voices) {
        auto lightest = std::min_element(load.begin(), load.end()) - load.begin();
        load[static_cast<std::size_t>(lightest)] += time;
        shares[voice] = static_cast<int>(lightest);
    }
    return shares;
}

std::string partScoreText(const SplitScore& score, const std::map<int, int>& shares, int part) {
    std::string text = score.header;
    for (const auto& grain : score.grains)
        if (shares.at(grain.voice) == part) text += grain.text;
    if (!score.reverb.empty()) text += "\n" + score.reverb;
    return text + "\ne\n";
}

double partEndTime(const SplitScore& score, const std::map<int, int>& shares, int part) {
    double end = score.reverb.empty() ? 0.0 : score.reverbEnd;
    for (const auto& grain : score.grains)
        if (shares.at(grain.voice) == part) end = std::max(end, grain.end);
    return end;
}

}  // namespace render
