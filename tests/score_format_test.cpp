// The one definition of each program's score: the score a run writes is what
// its format says, and every reader tells the program by its column comment.
#include "score_format.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

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

// What the format says a program's score is, its orchestra and the scripts
// say too: each orchestra's grain instrument checks the format's p-field
// count (GRAIN_OPENING(N)), and the scripts' program table names the same
// programs with their scores and orchestras.
TEST(ScoreFormat, theOrchestrasAndTheScriptsAgreeWithTheFormat) {
    const std::filesystem::path source = GRAIN_SOURCE_DIR;
    std::string table;  // the scripts' table, one line per program
    {
        const std::string command = "bash -c 'source \"" + (source / "scripts/lib/programs.bash").string() +
                                    "\" && for p in \"${score_programs[@]}\"; do "
                                    "echo \"$p ${score_file[$p]} ${orchestra_file[$p]} ${answers_file[$p]}\"; done'";
        std::FILE* pipe = popen(command.c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) table += buffer;
        ASSERT_EQ(pclose(pipe), 0) << table;
    }
    std::string expected;
    for (const ScoreFormat& format : scoreFormats) {
        const std::string name(format.name), orchestra(format.orchestraFileName);
        expected += name + " " + std::string(format.scoreFileName) + " " + orchestra + " examples/" + name +
                    ".answers\n";
        EXPECT_TRUE(std::filesystem::exists(source / "examples" / (name + ".answers"))) << name;
        const std::string text = readText(source / "examples" / orchestra);
        ASSERT_FALSE(text.empty()) << orchestra;
        const std::string opening = "$GRAIN_OPENING(" + std::to_string(format.pFields()) + ")";
        EXPECT_NE(text.find(opening), std::string::npos) << orchestra << " does not open with " << opening;
        EXPECT_EQ(text.find("$GRAIN_OPENING("), text.rfind("$GRAIN_OPENING(")) << orchestra << ": one grain instrument";
    }
    EXPECT_EQ(table, expected);
}
