// Complete runs of each program, compared byte for byte with the console
// transcript and the score they must give: two voices of trajectories whose
// samples are exact binary fractions, and in granulescore a third voice whose
// files are missing.
//   glissonscore: frequency mode 1, grain-duration mode 2 (0.1 0.2 0.2 0.1 0.1),
//     constant density 1, T 2, reverb.
//   granulescore: grain-duration mode 1 (0.05 to 0.1), dynamic density
//     0 0.5 1 0.5 0, T 1, "my file.wav" at half speed.
//   additivescore: fundamental 100, dynamic density 0 0.5 1 0.5 0, T 8.
#include <gtest/gtest.h>

#include "program_run.hpp"
#include "test_support.hpp"

using namespace grain;
using namespace grain::testing;

namespace {

const std::filesystem::path data = std::filesystem::path(GRAIN_TEST_DATA) / "whole_run";

void writeTwoVoices(const std::filesystem::path& folder) {
    for (int v = 1; v <= 2; ++v) {
        std::vector<double> azimuth, elevation, distance;
        for (int i = 0; i < 30; ++i) {
            azimuth.push_back(-30 + 20 * i + v);
            elevation.push_back(-12.5 + 1.25 * i * v);
            distance.push_back(1 + 0.5 * i);
        }
        writeVoice(folder, v, azimuth, elevation, distance);
    }
}

// Some Windows editors start a file with the UTF-8 byte-order mark.
const std::string byteOrderMark = "\xEF\xBB\xBF";

// With marked, the answers and three of the coordinate files start with a
// byte-order mark: the run must not notice.
void expectWholeRun(Program program, const std::string& name, bool marked = false) {
    TempFolder folder;
    writeTwoVoices(folder.path());
    std::string answers = readText(data / (name + ".answers"));
    if (marked) {
        answers = byteOrderMark + answers;
        for (const char* file : {"bg1a.txt", "bg1e.txt", "bg2d.txt"})
            writeText(folder.path() / file, byteOrderMark + readText(folder.path() / file));
    }
    RunResult run = runProgram(program, answers, folder.path(), folder.path());
    if (program == Program::granule) {
        // Its third voice has no files: the score is written, and said to be incomplete.
        std::string missing;
        for (const char* file : {"bg3a.txt", "bg3e.txt", "bg3d.txt"})
            missing += (folder.path() / file).string() + ": No such file or directory; ";
        EXPECT_EQ(run.status, incompleteScoreStatus);
        EXPECT_EQ(run.errors, "granulescore: voice 3 of 3 not read: " + missing + "the score holds voices 1 to 2\n");
    } else {
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.errors, "");
    }
    EXPECT_EQ(run.console, readText(data / (name + ".console")));
    EXPECT_EQ(run.score, readText(data / (name + ".sco")));
}

}  // namespace

TEST(WholeRun, glissonscore) { expectWholeRun(Program::glisson, "glisson"); }

TEST(WholeRun, granulescore) { expectWholeRun(Program::granule, "granule"); }

TEST(WholeRun, additivescore) { expectWholeRun(Program::additive, "additive"); }

TEST(WholeRun, aByteOrderMarkBeforeTheAnswersOrTheCoordinatesIsPassedOver) {
    expectWholeRun(Program::glisson, "glisson", true);
    expectWholeRun(Program::granule, "granule", true);
    expectWholeRun(Program::additive, "additive", true);
}

TEST(WholeRun, theSameAnswersAndFilesAlwaysGiveTheSameScore) {
    TempFolder first, second;
    writeTwoVoices(first.path());
    writeTwoVoices(second.path());
    std::string answers = readText(data / "granule.answers");
    RunResult a = runProgram(Program::granule, answers, first.path(), first.path());
    RunResult b = runProgram(Program::granule, answers, second.path(), second.path());
    EXPECT_EQ(a.score, b.score);
    EXPECT_EQ(a.console, b.console);
}
