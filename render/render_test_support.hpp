// What the render tests share: grainrender run in the test's own process,
// bounded in what it may write, and scores written as the programs write
// them (grainrender refuses any other).
#pragma once

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "grain_render.hpp"

namespace render::testing {

// A render that does not end fails at the file-size limit within seconds
// instead of filling the disk: the write fails (EFBIG) and the run reports it.
// The limit is the soft one, so that a program the test starts (a JACK server,
// whose shared memory is a file) may be started without it.
constexpr rlim_t largestFile = 16 << 20;
inline const bool bounded = [] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_max < largestFile) return false;
    limit.rlim_cur = largestFile;
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}();

namespace fs = std::filesystem;

// A fresh folder of the test's own, removed with everything in it at the end.
class TemporaryFolder {
public:
    TemporaryFolder() {
        path_ = fs::temp_directory_path() / ("grainrender-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TemporaryFolder() { fs::remove_all(path_); }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    const fs::path& path() const { return path_; }
    // The names of everything in the folder.
    std::set<std::string> names() const {
        std::set<std::string> all;
        for (const auto& entry : fs::directory_iterator(path_)) all.insert(entry.path().filename().string());
        return all;
    }

private:
    fs::path path_;
};

inline void writeText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

struct RunResult {
    int status;
    std::string out, err;
};

// grainrender with the source tree's orchestras, two jobs, no progress bar.
inline RunResult grainrender(const std::vector<std::string>& arguments) {
    EXPECT_TRUE(bounded) << "the file-size limit could not be set";
    RenderEnvironment environment{{GRAIN_SOURCE_EXAMPLES}, 2, false};
    std::ostringstream out, err;
    int status = runGrainRender(arguments, environment, out, err);
    return {status, out.str(), err.str()};
}

// The column comment up to the program's own titles.
inline const std::string sharedColumns =
    ";inst\t srt\t\t  dur\t\t voice Phase\t Aziold\t Azi\t\t Elevold\t Elev\t\t Distold\t Dist\t\t Graindur\t ";

// The header of a glisson score with three harmonics.
inline const std::string glissonHeader = ";Table 1 6 simple sine wave harmonics (using GEN10).\n"
                                         "f1 0 16384 10 1 1 1 \n"
                                         "f2 0 16385 20 7 1 2    ; grain envelope\n\n" +
                                         sharedColumns + "Start Freq\t End Freq\n";

// The header of a granule score whose table 1 reads soundFile.
inline std::string granuleHeader(const std::string& soundFile) {
    return "f1 0 4194304 1 \"" + soundFile + "\" 0 4 1\nf2 0 16385 20 7 1 2    ; grain envelope\n\n" + sharedColumns +
           "File Play Pos\t Play Speed\n";
}

// One grain statement: "i1" and the values from p2 on, the voice (p4) as a
// whole number and every other value as "%f" writes it.
inline std::string statement(std::initializer_list<double> values) {
    std::string line = "i1";
    char field[64];
    int p = 2;
    for (double value : values) {
        if (p++ == 4)
            std::snprintf(field, sizeof field, "\t %d", static_cast<int>(value));
        else
            std::snprintf(field, sizeof field, "\t %f", value);
        line += field;
    }
    return line + "\n";
}

// The closing lines: the reverb statement when reverb (its duration, s) is
// above 0, and the end statement.
inline std::string closing(double reverb = 0) {
    char line[64] = "";
    if (reverb > 0) std::snprintf(line, sizeof line, "\ni99\t 0\t %f\t\n", reverb);
    return std::string(line) + "\ne\n";
}

}  // namespace render::testing
