// What every whole run must hold, whatever the answers and coordinate files:
// it is refused with a non-zero exit and no score file, or it exits 0 with a
// score that begins with its header and ends with "\ne\n"; no statement holds
// a number that is not finite nor a negative duration, and each grain's old
// point is the point of the grain before it; and no coordinate file stays
// open. Shared by the randomised whole-run test and the whole-run fuzz
// target, together with the way a fuzz input is cut into answers and
// coordinate files and a bound on how much a run can write.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "coordinate_files.hpp"
#include "decimal_reader.hpp"
#include "dialogue.hpp"
#include "program_run.hpp"
#include "test_support.hpp"

namespace grain::testing {

// The number of file descriptors the process has open now.
inline int openDescriptorCount() {
    int count = 0;
    std::error_code error;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++count;
    return count;
}

// A folder for many small temporary files: /dev/shm, held in memory, where
// there is one; the system's temporary folder elsewhere.
inline std::string fastTemporaryFolder() {
    std::error_code error;
    if (std::filesystem::is_directory("/dev/shm", error)) return "/dev/shm";
    return std::filesystem::temp_directory_path().string();
}

// The header a finished score of program begins with.
inline const char* scoreHeaderStart(Program program) {
    switch (program) {
        case Program::glisson: return ";Table 1 6 simple sine wave harmonics (using GEN10).\nf1 0 16384 10 ";
        case Program::granule: return "f1 0 4194304 1 \"";
        case Program::additive: return ";User data - fundamental ";
    }
    return "";
}

// Whether text is a finite decimal number as the score writes them.
inline bool isFiniteNumberText(const std::string& text) {
    if (text.empty()) return false;
    char* end = nullptr;
    double value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(value) &&
           text.find_first_of("xXnNiI") == std::string::npos;
}

// What is wrong with a finished run, or an empty text when it holds every
// invariant. descriptorsBefore and descriptorsAfter are the open descriptors
// counted around the run.
inline std::string runInvariantViolation(Program program, const RunResult& run, int descriptorsBefore,
                                         int descriptorsAfter) {
    if (descriptorsAfter != descriptorsBefore)
        return "the run left " + std::to_string(descriptorsAfter - descriptorsBefore) + " file descriptors open";
    const bool completed = run.console.find("Score file created and written to") != std::string::npos;
    const std::string name = programName(program);
    if (run.status != 0 && run.status != incompleteScoreStatus) {
        if (run.scoreExists) return "a refused run left a score file";
        if (completed) return "a refused run printed the completion message";
        if (run.errors.empty()) return "a refused run gave no reason";
        return {};
    }
    if (!run.scoreExists) return "a run that wrote its score left no score file";
    if (!completed) return "a run that wrote its score printed no completion message";
    if (run.status == 0 && !run.errors.empty()) return "a run that exited 0 printed an error: " + run.errors;
    if (run.status == incompleteScoreStatus) {
        // Each line names a voice that is missing or was cut short.
        if (run.errors.empty()) return "an incomplete score named no voice";
        std::istringstream lines(run.errors);
        for (std::string line; std::getline(lines, line);)
            if (line.rfind(name + ": voice ", 0) != 0 ||
                (line.find(" not read: ") == std::string::npos && line.find(" ended at ") == std::string::npos))
                return "an incomplete score's line names no missing or short voice: " + line;
    }
    if (run.score.rfind(scoreHeaderStart(program), 0) != 0) return "the score does not begin with its header";
    if (run.score.size() < 3 || run.score.compare(run.score.size() - 3, 3, "\ne\n") != 0)
        return "the score does not end with \"\\ne\\n\"";

    const std::size_t fields = program == Program::additive ? 13 : 14;
    std::istringstream lines(run.score);
    std::string line;
    std::vector<std::string> previous;  // the statement before, while the voice goes on
    while (std::getline(lines, line)) {
        const bool statement = line.rfind("i1\t", 0) == 0;
        const bool reverb = line.rfind("i99\t", 0) == 0;
        const bool userData = line.rfind(";User data", 0) == 0;
        if (userData) {
            // Every number of additivescore's user-data line follows a blank.
            std::istringstream words(line);
            std::string word;
            while (words >> word) {
                if (word.back() == ',') word.pop_back();
                bool number = !word.empty() && ((word[0] >= '0' && word[0] <= '9') || (word[0] == '-' && word.size() > 1));
                bool nonFinite = word.find("nan") != std::string::npos || word.find("inf") != std::string::npos;
                if (nonFinite || (number && !isFiniteNumberText(word)))
                    return "the user data line holds " + word + ": " + line;
            }
            continue;
        }
        if (!statement && !reverb) continue;
        std::istringstream words(line);
        std::vector<std::string> row;
        std::string word;
        while (words >> word) row.push_back(word);
        if (statement && row.size() != fields) return "a statement has " + std::to_string(row.size()) + " fields: " + line;
        for (std::size_t i = 1; i < row.size(); ++i)
            if (!isFiniteNumberText(row[i])) return "a statement holds " + row[i] + ": " + line;
        if (!statement) continue;
        // Durations are positive, though one below half a microsecond shows as 0.000000.
        if (row[2][0] == '-' || row[11][0] == '-') return "a statement has a negative duration: " + line;
        // Every grain's old point is the point of the voice's grain before it
        // (Aziold, Elevold, Distold are fields 5, 7, 9); a voice's first grain
        // is its own previous grain, its azimuth not yet brought into 0 to 360.
        if (!previous.empty() && previous[3] == row[3]) {
            if (row[5] != previous[6] || row[7] != previous[8] || row[9] != previous[10])
                return "a statement's old point is not the point of the grain before it: " + line;
        } else if (row[7] != row[8] || row[9] != row[10]) {
            return "a voice's first statement has an old point of its own: " + line;
        }
        previous = row;
    }
    return {};
}

// A whole run's input: the program, its answers and the coordinate files of
// voices 1, 2, ... (azimuth, elevation, distance for each; nothing where a
// file is missing).
struct RunCase {
    Program program = Program::glisson;
    std::string answers;
    std::vector<std::optional<std::string>> files;  // bg1a, bg1e, bg1d, bg2a, ...
};

// The most voices a fuzz input supplies files for.
inline constexpr std::size_t maxFuzzVoices = 4;

// Cuts fuzz bytes into a RunCase: the first byte chooses the program (its
// value modulo 3: glissonscore, granulescore, additivescore), the rest is cut
// at every zero byte into the answers and then the coordinate files in order.
// A part that is the single byte 0xFF stands for a missing file; files after
// the last part are missing too.
inline RunCase decodeRunCase(const unsigned char* data, std::size_t size) {
    RunCase run;
    if (size == 0) return run;
    run.program = static_cast<Program>(data[0] % 3);
    std::vector<std::string> parts(1);
    for (std::size_t i = 1; i < size; ++i) {
        if (data[i] == 0) {
            if (parts.size() == 1 + 3 * maxFuzzVoices) break;
            parts.emplace_back();
        } else {
            parts.back() += static_cast<char>(data[i]);
        }
    }
    run.answers = parts[0];
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i] == "\xff")
            run.files.emplace_back(std::nullopt);
        else
            run.files.emplace_back(parts[i]);
    }
    return run;
}

// Writes the case's coordinate files into folder and returns their paths.
inline std::vector<std::filesystem::path> writeCoordinateFiles(const RunCase& run,
                                                               const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> written;
    const char letters[] = {'a', 'e', 'd'};
    for (std::size_t i = 0; i < run.files.size(); ++i) {
        if (!run.files[i]) continue;
        auto path = folder / ("bg" + std::to_string(i / 3 + 1) + letters[i % 3] + ".txt");
        writeText(path, *run.files[i]);
        written.push_back(path);
    }
    return written;
}

// The number of runs of digits in text: every value of a coordinate file has
// at least one digit of its own, so no voice has more samples than its
// distance file has runs of digits.
inline int digitRunCount(const std::string& text) {
    int runs = 0;
    bool inRun = false;
    for (char c : text) {
        bool digit = c >= '0' && c <= '9';
        if (digit && !inRun) ++runs;
        inRun = digit;
    }
    return runs;
}

namespace detail {

struct Span {
    double lo;
    double hi;
};

inline Span hull(double a, double b) { return {std::min(a, b), std::max(a, b)}; }
inline Span unite(Span a, Span b) { return {std::min(a.lo, b.lo), std::max(a.hi, b.hi)}; }
inline Span times(Span a, Span b) {
    double p[] = {a.lo * b.lo, a.lo * b.hi, a.hi * b.lo, a.hi * b.hi};
    return {*std::min_element(p, p + 4), *std::max_element(p, p + 4)};
}

// Where a quarter-point envelope of points can go. Every evaluation in a
// segment continues from the anchor that the segment before it left, and
// that anchor lies at most `fraction` quarters back (`last` in the last
// segment): two quarters at most, and only one quarter plus the longest
// interval when a voice steps through every segment. Value-anchored, scale 1,
// starting at points[0]:
inline Span valueAnchoredSpan(const std::array<float, 5>& points, double fraction, double last) {
    Span segment = hull(points[0], points[1]);
    Span all = segment;
    for (std::size_t k = 2; k <= 4; ++k) {
        double step = (k == 4 ? last : fraction) * (static_cast<double>(points[k]) - points[k - 1]);
        segment = {segment.lo + std::min(0.0, step), segment.hi + std::max(0.0, step)};
        all = unite(all, segment);
    }
    return all;
}

// The time-anchored intergrain factor (the interval divided by its base).
inline Span timeAnchoredSpan(const std::array<float, 5>& points, double fraction) {
    Span all = hull(1.0 + points[0], 1.0 + points[1]);
    for (std::size_t k = 2; k <= 4; ++k) {
        double from = 1.0 + points[k - 1];
        all = unite(all, hull(from, from + fraction * (static_cast<double>(points[k]) - points[k - 1])));
    }
    return all;
}

// How far back, in quarters, an anchor can lie when no interval is longer
// than longest.
inline double anchorFraction(double longest, double totalDuration) {
    return std::min(2.01, 1.01 + longest / (totalDuration / 4));
}

// Whether a voice whose intervals stay in delta stays within maxGrains.
inline bool fewGrains(Span delta, double totalDuration, double minGrainDur, int samples, double maxGrains) {
    if (!(delta.lo > 0.0)) return false;
    double grains = totalDuration / delta.lo;
    // The read position moves delta / minGrainDur samples per grain; once
    // that step is large enough never to vanish in float, the data ends it.
    double step = delta.lo / minGrainDur;
    if (step >= 1.0 / 64) grains = std::min(grains, samples / step);
    return grains + 2 <= maxGrains;
}

}  // namespace detail

// Whether a run with these answers, with at most samples samples and voices
// voices of coordinate data, writes at most about maxGrains grains per voice.
// Answers that are accepted as typed can ask for millions of grains (an
// intergrain value just above -1 makes the intervals tiny); runs that check
// invariants skip those. The bound is conservative: it covers every way the
// envelopes' anchors can fall.
inline bool runStaysSmall(Program program, const RunParameters& p, int samples, int voices, double maxGrains) {
    using namespace detail;
    const double T = p.totalDuration;
    if (!(T > 0.0)) return true;  // no voice writes a grain
    const double m = p.minGrainDur;
    const double x0 = p.intergrainPoints[0];
    if (program == Program::additive) {
        std::array<float, 5> factors{};
        for (std::size_t i = 0; i < 5; ++i) factors[i] = static_cast<float>(1.0 + p.intergrainPoints[i]);
        for (int k = 1; k <= voices && !(static_cast<float>(k) > p.streams); ++k) {
            auto partial = static_cast<float>(static_cast<double>(k) * p.fundamental);
            auto g = static_cast<float>(1.0 / partial * p.fundamental);
            if (!(g > 0.0f) || !std::isfinite(g)) continue;  // the voice ends at once
            auto start = static_cast<float>(x0 * g + g);
            if (!(start > 0.0f)) continue;  // the voice ends at once
            Span delta{start, start};
            if (p.densityMode == 0) {
                // The voice time runs ahead of the clock by up to the first
                // interval, so the last segment can be reached late.
                auto span = [&](double fraction, double longest) {
                    double last = fraction + (start + longest) / (T / 4);
                    return times(Span{g, g}, valueAnchoredSpan(factors, fraction, last));
                };
                delta = span(2.01, start);
                if (delta.hi > 0.0) delta = span(anchorFraction(delta.hi, T), delta.hi);
            }
            if (!fewGrains(delta, T, m, samples, maxGrains)) return false;
        }
        return true;
    }

    // glissonscore and granulescore
    Span firstGrainDur = p.grainDurMode == 1 ? hull(p.minGrainDur, p.maxGrainDur)
                                             : Span{p.grainDurPoints[0], p.grainDurPoints[0]};
    if (!(firstGrainDur.hi > 0.0)) return true;                    // every voice ends at its first grain
    if (firstGrainDur.lo > 0.0 && !(1.0 + x0 > 0.0)) return true;  // so does every first interval
    auto intervals = [&](double fraction) {
        Span grainDur =
            p.grainDurMode == 2 ? valueAnchoredSpan(p.grainDurPoints, fraction, fraction) : firstGrainDur;
        if (p.densityMode == 0) return times(grainDur, timeAnchoredSpan(p.intergrainPoints, fraction));
        if (p.densityMode == 1) return times(grainDur, Span{1.0 + x0, 1.0 + x0});
        return times(firstGrainDur, Span{1.0 + x0, 1.0 + x0});
    };
    Span delta = intervals(2.01);
    if (delta.hi > 0.0) delta = intervals(anchorFraction(delta.hi, T));
    return fewGrains(delta, T, m, samples, maxGrains);
}

// The answers of run as the dialogue reads them, or nothing when the dialogue
// stops or refuses them.
inline std::optional<RunParameters> usableAnswers(const RunCase& run) {
    std::istringstream input(run.answers);
    std::ostringstream console;
    AnswerReader reader{input, console};
    try {
        RunParameters parameters = runDialogue(run.program, reader);
        if (!answersUsable(run.program, parameters)) return std::nullopt;
        return parameters;
    } catch (const DialogueStopped&) {
        return std::nullopt;
    }
}

// Whether run is small enough to check quickly (see runStaysSmall).
inline bool caseStaysSmall(const RunCase& run, double maxGrains) {
    auto parameters = usableAnswers(run);
    if (!parameters) return true;
    // Every harmonic adds "1 " to the sine table: a billion of them, typed
    // as an answer, make a score of gigabytes before the first grain.
    if (parameters->harmonics > 10000) return false;
    int samples = 0;
    int voices = 0;
    for (std::size_t i = 2; i < run.files.size(); i += 3) {
        if (!run.files[i]) break;
        samples = std::max(samples, std::min(digitRunCount(*run.files[i]), trajectoryCapacity));
        ++voices;
    }
    return runStaysSmall(run.program, *parameters, samples, voices, maxGrains);
}

}  // namespace grain::testing
