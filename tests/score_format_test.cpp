// The one definition of each program's score: the score a run writes is what
// its format says, and every reader tells the program by its column comment.
#include "score_format.hpp"

#include <gtest/gtest.h>

#include "program_run.hpp"
#include "test_support.hpp"

using namespace grain;
using namespace grain::testing;

TEST(ScoreFormat, aWrittenScoreIsTheProgramsOwnAndIsToldByItsColumnComment) {
    const std::string answers[] = {"1 100 10000 2 3 0.05 1 0 1 1 1\n", "3 0.05 1 0 1 1 1\nx.wav\n1\n",
                                   "100 2 1 1 0 1 1\n"};
    TempFolder coordinates;
    writeRamp(coordinates.path(), 1, 50, 10, 1, 5, 1, 2, 0.1);
    for (const ScoreFormat& format : scoreFormats) {
        TempFolder scores;
        RunResult run = runProgram(format.program, answers[static_cast<int>(format.program)], coordinates.path(),
                                   scores.path());
        ASSERT_EQ(run.status, 0) << run.errors;
        EXPECT_EQ(programName(format.program), format.name);
        EXPECT_TRUE(std::filesystem::exists(scores.path() / std::string(format.scoreFileName)));
        EXPECT_NE(run.console.find(std::string("written to ") + std::string(format.completionName)), std::string::npos);
        // The header has the format's lines, the column comment last; each
        // statement has the format's p-fields.
        std::istringstream lines(run.score);
        std::string line;
        for (int i = 0; i < format.headerLines; ++i) std::getline(lines, line);
        EXPECT_TRUE(isColumnComment(line, format)) << line;
        ASSERT_FALSE(statements(run.score).empty());
        EXPECT_EQ(statements(run.score).front().size(), static_cast<std::size_t>(format.pFields()));
        EXPECT_EQ(programOfScore(run.score), format.program);
        std::string crlf;
        for (char c : run.score) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        EXPECT_EQ(programOfScore(crlf), format.program);
    }
    // No column comment, or one of no program's: nobody's score.
    EXPECT_EQ(programOfScore(""), std::nullopt);
    EXPECT_EQ(programOfScore("f1 0 16384 10 1\ni1 0 1\ne\n"), std::nullopt);
    EXPECT_EQ(programOfScore(std::string(sharedColumns) + "Start Freq\n"), std::nullopt);
    EXPECT_EQ(programOfScore(std::string(sharedColumns) + "Fundamental\t Extra\n"), std::nullopt);
}
