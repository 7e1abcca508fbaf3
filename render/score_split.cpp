#include "score_split.hpp"

#include <algorithm>
#include <string_view>

#include "score_reader.hpp"

namespace render {

namespace {

// The lines of text with their line ends, as they are.
std::vector<std::string_view> linesWithEnds(const std::string& text) {
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        end = end == std::string::npos ? text.size() : end + 1;
        lines.emplace_back(text.data() + at, end - at);
        at = end;
    }
    return lines;
}

}  // namespace

grain::Outcome<SplitScore> splitScore(const std::string& text) {
    grain::ScoreReading reading = grain::readScore(text);
    if (!reading.problems.empty()) {
        std::string refusal = reading.problems.front();
        if (reading.problems.size() > 1)
            refusal += " (and " + std::to_string(reading.problems.size() - 1) + " more problems)";
        return grain::because(refusal);
    }
    // A score cut short renders silence, or never ends: the orchestras' bus
    // and reverb instruments play until the end statement.
    if (reading.grains.empty()) return grain::because("holds no grain statements: it is not a complete score");

    SplitScore score;
    score.program = *reading.program;
    const std::vector<std::string_view> lines = linesWithEnds(text);
    const auto firstGrain = static_cast<std::size_t>(reading.grains.front().line - 1);
    for (std::size_t n = 0; n < firstGrain; ++n) score.header += lines[n];
    score.grains.reserve(reading.grains.size());
    for (const grain::GrainStatement& g : reading.grains)
        score.grains.push_back({std::string(lines[static_cast<std::size_t>(g.line - 1)]), g.voice, g.noteDuration,
                                g.start + g.noteDuration});
    if (reading.reverb) {
        score.reverb = lines[static_cast<std::size_t>(reading.reverbLine - 1)];
        score.reverbEnd = reading.reverbDuration;  // the reverb statement starts at 0
    }
    if (reading.soundTableLine != 0) {
        score.soundFile = reading.soundFile;
        score.soundTableSize = reading.soundTableSize;
        score.soundTableLine = static_cast<std::size_t>(reading.soundTableLine - 1);
    }
    return score;
}

void setSoundTable(SplitScore& score, long long size, const std::string& file) {
    std::vector<std::string_view> lines = linesWithEnds(score.header);
    std::string header;
    for (std::size_t n = 0; n < lines.size(); ++n) {
        if (n != score.soundTableLine) {
            header += lines[n];
            continue;
        }
        std::string_view end = lines[n].ends_with("\r\n") ? "\r\n" : "\n";
        header.append(grain::soundTableStart).append(std::to_string(size)).append(grain::soundTableGen);
        header.append(file).append(grain::soundTableEnd).append(end);
    }
    score.header = header;
    score.soundTableSize = size;
    score.soundFile = file;
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

std::string partScoreText(const SplitScore& score, const std::map<int, int>& shares, int part, double tail) {
    std::string text = score.header;
    for (const auto& grain : score.grains)
        if (shares.at(grain.voice) == part) text += grain.text;
    if (!score.reverb.empty()) text += "\n" + score.reverb;
    // instr 98 of the orchestras does nothing but keep a performance going
    if (tail > 0) text += "\ni98 " + std::to_string(partEndTime(score, shares, part)) + " " + std::to_string(tail);
    return text.append("\n").append(grain::endStatement).append("\n");
}

double partEndTime(const SplitScore& score, const std::map<int, int>& shares, int part) {
    double end = score.reverb.empty() ? 0.0 : score.reverbEnd;
    for (const auto& grain : score.grains)
        if (shares.at(grain.voice) == part) end = std::max(end, grain.end);
    return end;
}

}  // namespace render
