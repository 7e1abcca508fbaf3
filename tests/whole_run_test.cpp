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

// Voice 1's azimuth data lie within -180 to 180 and cross behind the listener
// at every sample (170, -170, 170, ...); voice 2's lie within 0 to 360 and
// cross ahead (350, 10, 350, ...). Each distance sample is its index plus 1,
// so "Dist" shows the read position. Every grain between two samples is
// written on the side the boid crossed, worked out by hand from the samples
// and the read positions: glissonscore steps 1.5 samples per grain,
// granulescore 1.25, additivescore 2.5 in voice 1 and 1.25 in voice 2.
TEST(WholeRun, grainsBetweenSamplesOnEitherSideOfTheWrapStayOnTheSideTheBoidCrossed) {
    struct Case {
        Program program;
        const char* answers;
        std::vector<std::string> distAziOldAzi;  // per statement: "Dist Aziold Azi"
    };
    const Case cases[] = {
        {Program::glisson, "1\n100\n10000\n3\n2\n0.5 0.5 0.5 0.5 0.5\n1\n0.5\n3\n2\n1\n",
         {"1.000000 530.000000 170.000000", "2.500000 170.000000 180.000000",  // -170 to 170 halfway: -180
          "4.000000 180.000000 190.000000", "5.500000 190.000000 180.000000",  // 170 to -170 halfway: 180
          "1.000000 710.000000 350.000000", "2.500000 350.000000 360.000000",  // 10 to 350 halfway: 0
          "4.000000 360.000000 10.000000", "5.500000 10.000000 360.000000"}},  // 350 to 10 halfway: 360
        {Program::granule, "2\n0.5 0.5 0.5 0.5 0.5\n1\n0.25\n3\n2\n1\nmy file.wav\n0.5\n",
         {"1.000000 530.000000 170.000000", "2.250000 170.000000 185.000000",  // -170 to 170 at 0.25: -175
          "3.500000 185.000000 180.000000", "4.750000 180.000000 175.000000",  // at 0.75: -185
          "6.000000 175.000000 190.000000",                                    //
          "1.000000 710.000000 350.000000", "2.250000 350.000000 5.000000",    // 10 to 350 at 0.25: 5
          "3.500000 5.000000 360.000000", "4.750000 360.000000 355.000000",    // at 0.75: -5
          "6.000000 355.000000 10.000000"}},
        {Program::additive, "100\n3\n3\n1\n0.25\n2\n1\n",
         {"1.000000 530.000000 170.000000", "3.500000 170.000000 180.000000",
          "6.000000 180.000000 190.000000",  //
          "1.000000 710.000000 350.000000", "2.250000 350.000000 5.000000", "3.500000 5.000000 360.000000",
          "4.750000 360.000000 355.000000", "6.000000 355.000000 10.000000"}},
    };
    for (const Case& c : cases) {
        TempFolder folder;
        for (int voice = 1; voice <= 2; ++voice) {
            std::vector<double> azimuth, elevation(40, 0.0), distance;
            for (int i = 0; i < 40; ++i) {
                azimuth.push_back(voice == 1 ? (i % 2 == 0 ? 170 : -170) : (i % 2 == 0 ? 350 : 10));
                distance.push_back(1 + i);
            }
            writeVoice(folder.path(), voice, azimuth, elevation, distance);
        }
        RunResult run = runProgram(c.program, c.answers, folder.path(), folder.path());
        ASSERT_EQ(run.status, 0) << run.errors;
        std::vector<std::string> written;
        for (const auto& fields : statements(run.score))
            if (fields[0] == "i1") written.push_back(fields[10] + " " + fields[5] + " " + fields[6]);
        EXPECT_EQ(written, c.distAziOldAzi) << programName(c.program);
    }
}
