// additivescore's grainlet schedule through whole runs. Distance samples equal
// their index, so "Dist" shows the read position of each grain.
#include <gtest/gtest.h>

#include "program_run.hpp"
#include "test_support.hpp"

using namespace grain;
using namespace grain::testing;

namespace {

using Strings = std::vector<std::string>;

std::vector<std::string> column(const std::vector<std::vector<std::string>>& rows, size_t p) {
    std::vector<std::string> values;
    for (const auto& row : rows) values.push_back(row.at(p - 1));
    return values;
}

void writeIndexedVoices(const std::filesystem::path& folder, int voices, int samples = 100) {
    for (int v = 1; v <= voices; ++v) writeRamp(folder, v, samples, 10 * v, 10, 5, 1, 0, 1);
}

}  // namespace

TEST(PartialVoices, constantDensityGivesEachPartialItsOwnGrainletDuration) {
    TempFolder folder;
    writeIndexedVoices(folder.path(), 3);
    RunResult run = runProgram(Program::additive, "100 3 1 1 0 3 0", folder.path(), folder.path());
    ASSERT_EQ(run.status, 0);
    EXPECT_NE(run.console.find("\nwriting voice 1 partial no.1.000000 freq 100.000000 grain duration 1.000000\n"
                               "writing voice 2 partial no.2.000000 freq 200.000000 grain duration 0.500000\n"
                               "writing voice 3 partial no.3.000000 freq 300.000000 grain duration 0.333333\n"
                               "\n\n\t\bScore file created"),
              std::string::npos);
    auto rows = statements(run.score);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(column(rows, 2),
              (Strings{"0.000626", "0.281793", "0.781793", "0.096652", "0.429985", "0.763319"}));
    EXPECT_EQ(column(rows, 3),
              (Strings{"2.000000", "1.000000", "1.000000", "0.666667", "0.666667", "0.666667"}));
    EXPECT_EQ(column(rows, 5),
              (Strings{"0.001251", "0.563585", "0.563585", "0.193304", "0.193304", "0.193304"}));
    EXPECT_EQ(column(rows, 12),
              (Strings{"1.000000", "0.500000", "0.500000", "0.333333", "0.333333", "0.333333"}));
    EXPECT_EQ(column(rows, 13),
              (Strings{"100.000000", "200.000000", "200.000000", "300.000000", "300.000000", "300.000000"}));
    EXPECT_EQ(column(rows, 11),  // read positions
              (Strings{"0.000000", "0.000000", "1.500000", "0.000000", "1.000000", "2.000000"}));
    EXPECT_EQ(rows[0].size(), 13u);
    // No elevation offset: elevation samples 5, 6, ... are written as read.
    EXPECT_EQ(column(rows, 9), (Strings{"5.000000", "5.000000", "6.500000", "5.000000", "6.000000", "7.000000"}));
}

TEST(PartialVoices, grainletDurationsAtAnAwkwardFundamentalAreWorkedOutInDouble) {
    // At 55 Hz, 1 / (k x 55) x 55 rounds once to float: exactly 1 for the
    // fundamental (two grainlets in 2 s), not the 0.99999994 that rounding
    // 1 / 55 first gives (three). The read positions step by g / (1/7).
    TempFolder folder;
    writeIndexedVoices(folder.path(), 7);
    RunResult run = runProgram(Program::additive, "55 1 2 1 0 7 0", folder.path(), folder.path());
    ASSERT_EQ(run.status, 0);
    auto rows = statements(run.score);
    std::vector<int> perVoice(7);
    for (const auto& row : rows) ++perVoice.at(std::stoul(row.at(3)) - 1);
    EXPECT_EQ(perVoice, (std::vector<int>{2, 4, 6, 8, 10, 13, 14}));
    std::vector<std::string> third, sixth;
    for (const auto& row : rows) {
        if (row[3] == "3") third.push_back(row[10]);
        if (row[3] == "6") sixth.push_back(row[10]);
    }
    EXPECT_EQ(third, (Strings{"0.000000", "2.333333", "4.666667", "7.000000", "9.333333", "11.666666"}));
    ASSERT_EQ(sixth.size(), 13u);
    EXPECT_EQ(Strings(sixth.begin() + 9, sixth.end()), (Strings{"10.500000", "11.666667", "12.833334", "14.000001"}));
}

TEST(PartialVoices, dynamicDensityWorksOutEachIntervalAfterTheStatement) {
    TempFolder folder;
    writeIndexedVoices(folder.path(), 1);
    RunResult run = runProgram(Program::additive, "100 1 10 0 0 0.5 1 0.5 0 1 0", folder.path(), folder.path());
    auto rows = statements(run.score);
    ASSERT_EQ(rows.size(), 11u);
    auto srt = column(rows, 2);
    EXPECT_EQ(Strings(srt.begin(), srt.begin() + 6), (Strings{"0.000626", "1.200626", "2.640626", "4.368626", "5.751026", "6.856946"}));
    auto dur = column(rows, 3);
    EXPECT_EQ(Strings(dur.begin(), dur.begin() + 6),
              (Strings{"2.000000", "2.400000", "2.880000", "3.456000", "2.764800", "2.211840"}));
    auto read = column(rows, 11);
    EXPECT_EQ(Strings(read.begin(), read.begin() + 6),
              (Strings{"0.000000", "1.000000", "2.200000", "3.640000", "5.368000", "6.750400"}));
    EXPECT_EQ(rows.back()[1], "9.831074");
    EXPECT_EQ(rows.back()[2], "0.724776");
}

TEST(PartialVoices, aVoiceTimeOnABoundaryStaysInTheEarlierSegment) {
    TempFolder folder;
    writeIndexedVoices(folder.path(), 1);
    // T 4, g 1: the first grain moves the voice time to exactly T/4, still
    // segment 1, so the next interval is (1 / 1) x (1 - 0) x 1 + 1 = 2.
    // The second grain's voice time, 3, lies in segment 3 while nothing fell
    // into segment 2: its anchor stands in at T/2 = 2, continuing segment 2
    // from (2 at 1): 2 + (1 / 1) x (3 - 1) = 4. Segment 3 then rises by
    // (3 - 2) / 1 x (4 - 3) to 5.
    RunResult run = runProgram(Program::additive, "100 1 4 0 0 1 3 4 4 1 0", folder.path(), folder.path());
    auto rows = statements(run.score);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(column(rows, 2), (Strings{"0.000626", "2.000626"}));
    EXPECT_EQ(column(rows, 3), (Strings{"2.000000", "4.000000"}));
    EXPECT_EQ(column(rows, 11), (Strings{"0.000000", "1.000000"}));
    // The voice clock after grain 2 is 2 + 5 = 7: past T, no third grain.
}

TEST(PartialVoices, anyDensityButZeroKeepsTheStartInterval) {
    TempFolder folder;
    writeIndexedVoices(folder.path(), 1);
    RunResult run = runProgram(Program::additive, "100 1 2 2 0.5 1 0", folder.path(), folder.path());
    auto rows = statements(run.score);
    EXPECT_EQ(column(rows, 2), (Strings{"0.000626", "1.500626"}));
    EXPECT_EQ(column(rows, 3), (Strings{"3.000000", "3.000000"}));
}

TEST(PartialVoices, streamsCountAsARealNumberOfPartials) {
    TempFolder folder;
    writeIndexedVoices(folder.path(), 3);
    RunResult run = runProgram(Program::additive, "100 1 1 1 0 2.5 0", folder.path(), folder.path());
    EXPECT_NE(run.console.find("\nThe minimum grain duration will be 0.400000\n"), std::string::npos);
    EXPECT_NE(run.console.find("writing voice 2 "), std::string::npos);
    EXPECT_EQ(run.console.find("writing voice 3 "), std::string::npos);

    RunResult none = runProgram(Program::additive, "100 1 1 1 0 0.5 1", folder.path(), folder.path());
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.console.find("writing voice"), std::string::npos);
    EXPECT_EQ(statements(none.score).size(), 0u);
    EXPECT_TRUE(none.score.ends_with("grain envelope\n\n;inst\t srt\t\t  dur\t\t voice Phase\t Aziold\t Azi\t\t Elevold"
                                     "\t Elev\t\t Distold\t Dist\t\t Graindur\t Fundamental\n\ni99\t 0\t 1.000000\t\n\ne\n"));
}

TEST(PartialVoices, aZeroTotalDurationStillAnnouncesEveryPartialAndDrawsItsPhase) {
    TempFolder folder;
    writeIndexedVoices(folder.path(), 3);
    RunResult run = runProgram(Program::additive, "100 1 0 1 0 3 0", folder.path(), folder.path());
    EXPECT_EQ(statements(run.score).size(), 0u);
    EXPECT_NE(run.console.find("writing voice 3 partial no.3.000000 freq 300.000000 grain duration 0.333333\n"),
              std::string::npos);
    // Voice 4 of a longer piece shows the fourth draw: the phases do not
    // depend on the grains written before.
    writeIndexedVoices(folder.path(), 4);
    RunResult longer = runProgram(Program::additive, "100 1 1 1 0 4 0", folder.path(), folder.path());
    auto rows = statements(longer.score);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows.back()[4], "0.808740");
}

TEST(PartialVoices, anIntergrainValueOfMinusOneEndsTheVoice) {
    TempFolder folder;
    writeIndexedVoices(folder.path(), 2);
    RunResult run = runProgram(Program::additive, "100 1 1 1 -1 2 0", folder.path(), folder.path());
    EXPECT_EQ(run.status, incompleteScoreStatus);
    EXPECT_EQ(statements(run.score).size(), 0u);
    EXPECT_NE(run.console.find("grain duration 1.000000\nVoice 1 ends here: its inter-onset interval 0.000000 is not "
                               "a positive number of seconds\nwriting voice 2 "),
              std::string::npos);

    // A dynamic envelope that falls to zero ends the voice after the statement.
    RunResult falling = runProgram(Program::additive, "100 1 8 0 0 -1 -1 -1 -1 1 0", folder.path(), folder.path());
    EXPECT_EQ(falling.status, incompleteScoreStatus);
    EXPECT_NE(falling.console.find("Voice 1 ends here: its inter-onset interval"), std::string::npos);
    EXPECT_GE(statements(falling.score).size(), 1u);
}
