// The grain streams of glissonscore and granulescore, driven through whole
// runs. The distance samples of most trajectories here equal their index, so
// a statement's "Dist" field shows the read position it was sampled at.
#include <gtest/gtest.h>

#include <cfloat>
#include <limits>

#include "run_state.hpp"
#include "program_run.hpp"
#include "test_support.hpp"

using namespace grain;
using namespace grain::testing;

namespace {

// Statement fields by p-field number (p2 srt ... p14).
std::string field(const std::vector<std::string>& statement, int p) { return statement.at(static_cast<size_t>(p - 1)); }

std::vector<std::string> column(const std::vector<std::vector<std::string>>& rows, int p, size_t from = 0,
                                size_t count = SIZE_MAX) {
    std::vector<std::string> values;
    for (size_t i = from; i < rows.size() && i - from < count; ++i) values.push_back(field(rows[i], p));
    return values;
}

// Voices 1 to n with the index as distance, a fixed azimuth and elevation.
void writeIndexedVoices(const std::filesystem::path& folder, int voices, int samples = 200) {
    for (int v = 1; v <= voices; ++v) writeRamp(folder, v, samples, 10, 0, 12.3, 0, 0, 1);
}

using Strings = std::vector<std::string>;

const std::string endOfData =
    "\n\nEnd of Boids input file reached\n\nScore file will contain unstable values\n\n"
    "Please either increase the minimum grain duration, or\nresample Boids in MAX MSP at a faster sampling period\n";

}  // namespace

TEST(GrainStreams, modeTwoFollowsTheGrainDurationEnvelopeFromGrainToGrain) {
    TempFolder folder;
    writeIndexedVoices(folder.path(), 2);
    RunResult run = runProgram(Program::glisson, "1 100 10000 1 2 0.1 0.2 0.2 0.1 0.1 1 1 2 2 0\n", folder.path(),
                               folder.path());
    ASSERT_EQ(run.status, 0);
    auto rows = statements(run.score);
    ASSERT_EQ(rows.size(), 18u);
    EXPECT_EQ(column(rows, 2, 0, 9), (Strings{"0.000000", "0.200000", "0.480000", "0.872000", "1.264000", "1.499200",
                                             "1.640320", "1.781440", "1.922560"}));
    EXPECT_EQ(column(rows, 3, 0, 9), (Strings{"0.400000", "0.560000", "0.784000", "0.784000", "0.470400", "0.282240",
                                             "0.282240", "0.282240", "0.282240"}));
    EXPECT_EQ(column(rows, 12, 0, 9), (Strings{"0.100000", "0.140000", "0.196000", "0.196000", "0.117600",
                                              "0.070560", "0.070560", "0.070560", "0.070560"}));
    EXPECT_EQ(column(rows, 11, 0, 9), (Strings{"0.000000", "2.000000", "4.800000", "8.720000", "12.640000",
                                              "14.992001", "16.403200", "17.814400", "19.225599"}));
    // Voice 2 repeats the grains half an inter-onset interval later.
    EXPECT_EQ(column(rows, 2, 9, 4), (Strings{"0.100000", "0.340000", "0.676000", "1.068000"}));
    EXPECT_EQ(column(rows, 3, 9), column(rows, 3, 0, 9));
    EXPECT_EQ(column(rows, 4, 9, 1), (Strings{"2"}));
}

TEST(GrainStreams, modeThreeStaggersVoicesByAFractionOfTheInterval) {
    TempFolder folder;
    writeIndexedVoices(folder.path(), 3);
    RunResult run = runProgram(Program::granule, "3 0.05 1 1 0.3 2 0\nsnd.wav\n1\n", folder.path(), folder.path());
    auto rows = statements(run.score);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(column(rows, 2), (Strings{"0.000000", "0.100000", "0.200000", "0.050000", "0.150000", "0.250000"}));
    EXPECT_EQ(column(rows, 3), Strings(6, "0.200000"));
    EXPECT_EQ(column(rows, 11), (Strings{"0.000000", "2.000000", "4.000000", "0.000000", "2.000000", "4.000000"}));
    EXPECT_EQ(run.console.find("writing voice 3"), std::string::npos);

    // 2.5 streams: voices 1 and 2, the second 0.4 of an interval later.
    RunResult partial = runProgram(Program::granule, "3 0.05 1 1 0.3 2.5 0\nsnd.wav\n1\n", folder.path(),
                                   folder.path());
    auto partialRows = statements(partial.score);
    ASSERT_EQ(partialRows.size(), 6u);
    EXPECT_EQ(column(partialRows, 2, 3), (Strings{"0.040000", "0.140000", "0.240000"}));
    EXPECT_EQ(partial.console.find("writing voice 3"), std::string::npos);
}

TEST(GrainStreams, modeOneDrawsEachVoicesDurationFromItsPhaseAndStartsAtTheClock) {
    TempFolder folder;
    writeIndexedVoices(folder.path(), 2, 2000);
    RunResult run = runProgram(Program::glisson, "1 100 10000 1 1 0.02 0.1 1 1 1 2 0\n", folder.path(), folder.path());
    auto rows = statements(run.score);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(field(rows[0], 12), "0.020100");  // 0.02 + 0.08 x 41 / 32767
    EXPECT_EQ(field(rows[0], 5), "0.001251");
    EXPECT_EQ(field(rows[1], 2), "0.040200");
    size_t second = 0;
    while (second < rows.size() && field(rows[second], 4) == "1") ++second;
    ASSERT_LT(second, rows.size());
    EXPECT_EQ(field(rows[second], 2), "0.000000") << "every voice starts at its own clock";
    EXPECT_EQ(field(rows[second], 5), "0.563585");
}

TEST(GrainStreams, aGrainWhoseClockReachesTheTotalDurationIsNotWritten) {
    TempFolder folder;
    writeIndexedVoices(folder.path(), 1);
    RunResult run = runProgram(Program::glisson, "1 100 10000 1 3 0.1 1 0 0.3 1 0\n", folder.path(), folder.path());
    EXPECT_EQ(column(statements(run.score), 2), (Strings{"0.000000", "0.100000", "0.200000"}));
}

TEST(GrainStreams, densityTwoKeepsTheVoicesFirstIntervalWhileTheDurationMoves) {
    TempFolder folder;
    writeIndexedVoices(folder.path(), 1);
    RunResult run = runProgram(Program::glisson, "1 100 10000 1 2 0.1 0.2 0.2 0.1 0.1 2 1 2 1 0\n", folder.path(),
                               folder.path());
    auto rows = statements(run.score);
    ASSERT_EQ(rows.size(), 10u);
    EXPECT_EQ(column(rows, 3), Strings(10, "0.400000"));  // 1 x 0.1 + 0.1, twice
    EXPECT_EQ(field(rows[1], 12), "0.140000");            // the envelope still moves: 0.1 + 0.2 / 0.5 x 0.1
}

TEST(GrainStreams, dynamicDensityRestartsEachQuarterFromItsOwnValueTimesTheDuration) {
    TempFolder folder;
    writeIndexedVoices(folder.path(), 1);
    RunResult run = runProgram(Program::glisson, "1 100 10000 1 3 0.1 0 0 1 1 0 0 4 1 0\n", folder.path(),
                               folder.path());
    auto rows = statements(run.score);
    ASSERT_GE(rows.size(), 3u);
    // Intervals 0.1 at 0, then (t / 1) x (1 - 0) x 0.1 + 0.1: 0.11 at 0.1, 0.121 at 0.21.
    EXPECT_EQ(column(rows, 2, 0, 3), (Strings{"0.000000", "0.100000", "0.210000"}));
    EXPECT_EQ(column(rows, 3, 0, 3), (Strings{"0.200000", "0.220000", "0.242000"}));
}

TEST(GrainStreams, theFirstGrainOfAVoiceIsItsOwnPreviousGrain) {
    TempFolder folder;
    writeVoice(folder.path(), 1, {10, 20, 30, 40}, {12.3, 0, 0, 0}, {1, 2, 3, 4});
    writeVoice(folder.path(), 2, {0, 0, 0, 0}, {-45, -45, -45, -45}, {5, 5, 5, 5});
    RunResult run = runProgram(Program::glisson, "1 100 10000 1 3 0.1 1 0 0.2 2 0\n", folder.path(), folder.path());
    auto rows = statements(run.score);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(Strings(rows[0].begin() + 5, rows[0].begin() + 11),
              (Strings{"370.000000", "10.000000", "12.300003", "12.300003", "1.000000", "1.000000"}));
    EXPECT_EQ(Strings(rows[1].begin() + 5, rows[1].begin() + 11),
              (Strings{"10.000000", "20.000000", "12.300003", "0.000000", "1.000000", "2.000000"}));
    // Nothing of voice 1 reaches voice 2.
    EXPECT_EQ(Strings(rows[2].begin() + 5, rows[2].begin() + 11),
              (Strings{"360.000000", "360.000000", "-45.000000", "-45.000000", "5.000000", "5.000000"}));
    // Mode 1 frequencies: P = E at the first grain; 45 degrees above the lowest point gives 2575.
    EXPECT_EQ(field(rows[2], 13), "2575.000000");
    EXPECT_EQ(field(rows[2], 14), "2575.000000");
}

TEST(GrainStreams, granulescoreWritesElevationsAsSampledAndItsPlaybackFields) {
    TempFolder folder;
    writeVoice(folder.path(), 1, {0, 0, 0, 0, 0, 0}, {12.3, 12.3, 12.3, 12.3, 12.3, 12.3}, {0, 1, 2, 3, 4, 5});
    writeVoice(folder.path(), 2, {0, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1}, {0, 1, 2, 3, 4, 5});
    RunResult run = runProgram(Program::granule, "3 0.1 1 1 0.6 2 0\nmy file.wav\n0.5\n", folder.path(),
                               folder.path());
    auto rows = statements(run.score);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(field(rows[0], 9), "12.300000");
    EXPECT_EQ(column(rows, 5), (Strings{"0.001251", "0.001251", "0.001251", "0.585009", "0.585009", "0.585009"}));
    EXPECT_EQ(column(rows, 13, 0, 4), (Strings{"0.563585", "0.193304", "0.808740", "0.479873"}));
    EXPECT_EQ(column(rows, 14), Strings(6, "0.500000"));
}

TEST(GrainStreams, aVoiceWithoutDataStillDrawsItsPhaseButNoPlayPosition) {
    TempFolder folder;
    writeVoice(folder.path(), 1, {}, {}, {});
    writeRamp(folder.path(), 2, 10, 0, 0, 0, 0, 0, 1);
    RunResult run = runProgram(Program::granule, "3 0.1 1 1 0.2 2 0\nx\n1\n", folder.path(), folder.path());
    EXPECT_EQ(run.console.find("writing voice 1 \n" + endOfData + "writing voice 2 \n") != std::string::npos, true);
    auto rows = statements(run.score);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(field(rows[0], 5), "0.563585");  // the second draw
    EXPECT_EQ(field(rows[0], 13), "0.193304");
}

TEST(GrainStreams, aZeroTotalDurationWritesNoStatementButEveryVoiceDraws) {
    TempFolder folder;
    writeIndexedVoices(folder.path(), 2);
    RunResult run = runProgram(Program::granule, "3 0.1 1 1 0 2 1\nx\n1\n", folder.path(), folder.path());
    EXPECT_EQ(statements(run.score).size(), 0u);
    EXPECT_NE(run.console.find("writing voice 1 \nwriting voice 2 \n\n\n\t\bScore file created"), std::string::npos);
    EXPECT_TRUE(run.score.ends_with("\ni99\t 0\t 0.000000\t\n\ne\n"));
}

TEST(GrainStreams, theEndOfAVoicesDataEndsOnlyThatVoice) {
    TempFolder folder;
    writeRamp(folder.path(), 1, 5, 0, 0, 0, 0, 0, 1);
    writeRamp(folder.path(), 2, 50, 0, 0, 0, 0, 0, 1);
    RunResult run = runProgram(Program::glisson, "1 100 10000 1 3 0.1 1 1 1 2 0\n", folder.path(), folder.path());
    auto rows = statements(run.score);
    // Voice 1 reads 0, 2 and stops at 4 (sample 5 is missing); voice 2 runs to T.
    EXPECT_EQ(column(rows, 11), (Strings{"0.000000", "2.000000", "0.000000", "2.000000", "4.000000", "6.000000",
                                        "8.000000"}));
    EXPECT_NE(run.console.find("writing voice 1 \n" + endOfData + "writing voice 2 \n"), std::string::npos);
}

TEST(GrainStreams, aMissingFileEndsTheVoiceLoopAndTheScoreIsStillFinished) {
    TempFolder folder;
    writeIndexedVoices(folder.path(), 3);
    std::filesystem::remove(folder.path() / "bg3e.txt");
    RunResult run = runProgram(Program::glisson, "1 100 10000 1 3 0.1 1 1 0.4 5 1\n", folder.path(), folder.path());
    EXPECT_EQ(run.status, incompleteScoreStatus);
    EXPECT_EQ(column(statements(run.score), 4), (Strings{"1", "1", "2", "2"}));
    EXPECT_NE(run.console.find("writing voice 3 \nProgram quitting due to missing Boids input files!\n"),
              std::string::npos);
    EXPECT_EQ(run.console.find("writing voice 4"), std::string::npos);
    EXPECT_TRUE(run.score.ends_with("\n\ni99\t 0\t 0.400000\t\n\ne\n"));
}

TEST(GrainStreams, aGrainDurationEnvelopeOvershootingBelowZeroEndsTheVoice) {
    TempFolder folder;
    writeIndexedVoices(folder.path(), 1, 2000);
    RunResult run = runProgram(Program::granule, "2 0.1 0.3 0.02 0.02 0.02 1 0 1 1 0\nx\n1\n", folder.path(),
                               folder.path());
    EXPECT_EQ(run.status, incompleteScoreStatus);
    EXPECT_NE(run.console.find("Voice 1 ends here: its grain duration -"), std::string::npos);
    for (const auto& row : statements(run.score)) EXPECT_NE(field(row, 12)[0], '-');
}

TEST(GrainStreams, durationsShrinkingGeometricallyEndTheVoiceWhenTheClockStalls) {
    TempFolder folder;
    writeIndexedVoices(folder.path(), 1, 20000);
    // Segment 3 falls by 0.76 of the duration per second of clock, and each
    // interval is one duration: the clock converges below 3T/4.
    RunResult run = runProgram(Program::glisson, "1 100 10000 1 2 0.2 0.2 0.2 0.01 0.01 1 0 1 1 0\n", folder.path(),
                               folder.path());
    EXPECT_EQ(run.status, incompleteScoreStatus);
    EXPECT_NE(run.console.find("Voice 1 ends here: its inter-onset interval "), std::string::npos);
    EXPECT_LT(statements(run.score).size(), 1000u);
    EXPECT_TRUE(run.score.ends_with("\ne\n"));
}

TEST(GrainStreams, theVoiceLoopEndsWhereTheFloatVoiceCounterStopsGrowing) {
    float counter = 16777215.0f;  // 2^24 - 1: the last step a float counter takes
    EXPECT_TRUE(advanceVoiceCounter(counter));
    EXPECT_EQ(counter, 16777216.0f);
    EXPECT_FALSE(advanceVoiceCounter(counter));  // 2^24 + 1 rounds back to 2^24
    EXPECT_EQ(counter, 16777216.0f);
}

#ifdef __linux__
TEST(GrainStreams, noCoordinateFileStaysOpenHoweverAVoiceEnds) {
    auto openDescriptors = [] {
        int count = 0;
        for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
        return count;
    };
    TempFolder folder;
    writeRamp(folder.path(), 1, 5, 0, 0, 0, 0, 0, 1);    // ends at the end of its data
    writeRamp(folder.path(), 2, 200, 0, 0, 0, 0, 0, 1);  // ends at the total duration
    writeRamp(folder.path(), 3, 200, 0, 0, 0, 0, 0, 1);
    std::filesystem::remove(folder.path() / "bg3d.txt");  // two of its files open, one is missing
    int before = openDescriptors();
    for (Program program : {Program::glisson, Program::granule, Program::additive}) {
        const char* answers = program == Program::additive ? "10 1 1 1 0 4 0" : "3 0.1 1 1 1 4 0\nx\n1\n";
        std::string full = program == Program::glisson ? std::string("1 100 10000 1 ") + answers : answers;
        RunResult run = runProgram(program, full, folder.path(), folder.path());
        EXPECT_EQ(run.status, incompleteScoreStatus);
        EXPECT_NE(run.console.find("writing voice 3"), std::string::npos);
        EXPECT_EQ(openDescriptors(), before) << programName(program);
    }
}
#endif

// The quick test at every grain says a voice goes on exactly where no reason
// to stop it is found: durations and intervals at zero, negative, tiny,
// huge, infinite or NaN, and clocks that the interval only just moves on, or
// no longer does.
TEST(GrainStreams, theQuickTestAtEveryGrainAgreesWithTheReasonsAVoiceStops) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const float amounts[] = {0.0f, -0.0f, -1.0f, 1e-45f, 1e-38f, 0.01f, 1.0f, 3e38f, FLT_MAX, inf, -inf, nan};
    const float clocks[] = {0.0f, 1.0f, 199.9f, 16777216.0f, 3e38f, FLT_MAX, inf, nan};
    for (float grainDur : amounts)
        for (float interval : amounts)
            for (float clock : clocks)
                EXPECT_EQ(voiceGoesOn(grainDur, interval, clock), whyVoiceStops(grainDur, interval, clock).empty())
                    << grainDur << " " << interval << " " << clock;
}

// A statement is written only when all its numbers are finite: an infinity
// or NaN in any one field is caught, the largest and smallest finite floats
// and both zeros are not.
TEST(GrainStreams, aStatementWithAnyNumberNotFiniteIsCaught) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    GrainEvent finite{FLT_MAX, -FLT_MAX, 1, 1e-45f, -0.0f, 0.0f, 360.0f, -90.0f, FLT_MIN, 3.5f, 0.01f,
                      {-1e-45f, 1e38f}};
    EXPECT_TRUE(isFinite(finite));
    auto fields = [](GrainEvent& e) {
        return std::vector<float*>{&e.srt,  &e.dur,     &e.phase,   &e.aziOld,   &e.azi,      &e.elevOld, &e.elev,
                                   &e.distOld, &e.dist, &e.grainDur, &e.own[0], &e.own[1]};
    };
    for (std::size_t field = 0; field < 12; ++field)
        for (float bad : {inf, -inf, nan, -nan}) {
            GrainEvent event = finite;
            *fields(event)[field] = bad;
            EXPECT_FALSE(isFinite(event)) << bad;
        }
}
