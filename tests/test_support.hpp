// Helpers for tests that drive whole runs: a temporary folder that cleans up
// after itself, coordinate files written from lists of values, and a run of
// one program with scripted answers whose console, errors and score are kept.
#pragma once

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "additive_score.hpp"
#include "glisson_score.hpp"
#include "granule_score.hpp"
#include "run_parameters.hpp"
#include "score_writer.hpp"

namespace grain::testing {

// A fresh, empty folder removed again at the end of the test.
class TempFolder {
public:
    TempFolder() {
        static std::mt19937_64 names(std::random_device{}());
        path_ = std::filesystem::temp_directory_path() / ("grainscore-test-" + std::to_string(names()));
        std::filesystem::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
}

inline std::string readText(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// One value per line, each followed by a line end.
inline std::string lines(const std::vector<double>& values) {
    std::string text;
    for (double v : values) {
        std::ostringstream line;
        line.precision(9);
        line << v << "\n";
        text += line.str();
    }
    return text;
}

// Writes voice's three coordinate files into folder.
inline void writeVoice(const std::filesystem::path& folder, int voice, const std::vector<double>& azimuth,
                       const std::vector<double>& elevation, const std::vector<double>& distance) {
    auto name = [&](char letter) { return folder / ("bg" + std::to_string(voice) + letter + ".txt"); };
    writeText(name('a'), lines(azimuth));
    writeText(name('e'), lines(elevation));
    writeText(name('d'), lines(distance));
}

// n samples of a simple path: azimuth from a0 by da, elevation from e0 by de,
// distance from d0 by dd.
inline void writeRamp(const std::filesystem::path& folder, int voice, int n, double a0, double da, double e0,
                      double de, double d0, double dd) {
    std::vector<double> a, e, d;
    for (int i = 0; i < n; ++i) {
        a.push_back(a0 + da * i);
        e.push_back(e0 + de * i);
        d.push_back(d0 + dd * i);
    }
    writeVoice(folder, voice, a, e, d);
}

struct RunResult {
    int status = 0;
    std::string console;
    std::string errors;
    std::string score;  // empty when no score file exists
    bool scoreExists = false;
};

// Runs program with answers, coordinate files from coordinates, the score in scoreFolder.
// With answersFile, the answers come from that file instead.
inline RunResult runProgram(Program program, const std::string& answers, const std::filesystem::path& coordinates,
                            const std::filesystem::path& scoreFolder, const std::filesystem::path& answersFile = {}) {
    std::istringstream input(answers);
    std::ostringstream console, errors;
    RunResult result;
    switch (program) {
        case Program::glisson: result.status = runGlissonScore(input, console, coordinates, scoreFolder, errors, answersFile); break;
        case Program::granule: result.status = runGranuleScore(input, console, coordinates, scoreFolder, errors, answersFile); break;
        case Program::additive:
            result.status = runAdditiveScore(input, console, coordinates, scoreFolder, errors, answersFile);
            break;
    }
    result.console = console.str();
    result.errors = errors.str();
    // A score left behind as a link (to /dev/full, say) counts as existing but
    // is not followed: only a regular file is read.
    auto scorePath = scoreFolder / scoreFileName(program);
    result.scoreExists = std::filesystem::exists(std::filesystem::symlink_status(scorePath));
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(scorePath)))
        result.score = readText(scorePath);
    return result;
}

// The grain statements of a score, one per line, split into their fields.
inline std::vector<std::vector<std::string>> statements(const std::string& score) {
    std::vector<std::vector<std::string>> rows;
    std::istringstream text(score);
    std::string line;
    while (std::getline(text, line)) {
        if (line.rfind("i1\t", 0) != 0) continue;
        std::vector<std::string> fields;
        std::istringstream words(line);
        std::string word;
        while (words >> word) fields.push_back(word);
        rows.push_back(fields);
    }
    return rows;
}

}  // namespace grain::testing
