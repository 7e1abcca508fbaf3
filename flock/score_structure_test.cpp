// The strict structure check that stands before Csound in the rendering
// tests: sound scores pass, and each kind of damaged statement or missing
// line is named with its line.
#include <gtest/gtest.h>

#include <string>

#include "score_structure.hpp"
#include "test_support.hpp"

namespace {

using grain::Program;

std::string scoreOf(Program program, const std::string& answers) {
    grain::testing::TempFolder coordinates, scores;
    for (int voice = 1; voice <= 3; ++voice)
        grain::testing::writeRamp(coordinates.path(), voice, 200, -170, 1.7, -20, 0.3, 5, 0.05);
    auto run = grain::testing::runProgram(program, answers, coordinates.path(), scores.path());
    EXPECT_EQ(run.status, 0) << run.errors;
    return run.score;
}

const std::string glissonAnswers = "1\n100\n10000\n3\n3\n0.05\n1\n1\n1\n3\n1\n";
const std::string granuleAnswers = "3\n0.05\n1\n1\n1\n3\n0\nmy file.wav\n0.5\n";
const std::string additiveAnswers = "100\n0\n1\n1\n0\n20\n1\n";

// The score with its line'th line (from 1) replaced.
std::string replaceLine(const std::string& score, int line, const std::string& text) {
    std::size_t begin = 0;
    for (int i = 1; i < line; ++i) begin = score.find('\n', begin) + 1;
    std::size_t end = score.find('\n', begin);
    return score.substr(0, begin) + text + score.substr(end);
}

std::string lineOf(const std::string& score, int line) {
    std::size_t begin = 0;
    for (int i = 1; i < line; ++i) begin = score.find('\n', begin) + 1;
    return score.substr(begin, score.find('\n', begin) - begin);
}

TEST(ScoreStructure, ScoresOfTheThreeProgramsAreSound) {
    struct Case {
        Program program;
        std::string answers;
        bool reverb;
    };
    for (const Case& c : {Case{Program::glisson, glissonAnswers, true}, Case{Program::granule, granuleAnswers, false},
                          Case{Program::additive, additiveAnswers, true}}) {
        flock::ScoreStructure s = flock::checkScore(c.program, scoreOf(c.program, c.answers));
        EXPECT_TRUE(s.problems.empty()) << s.problems.front();
        EXPECT_EQ(s.voices, 3);
        EXPECT_GT(s.statements, 3);
        EXPECT_EQ(s.reverb, c.reverb);
    }
}

TEST(ScoreStructure, NamesEveryDamagedStatement) {
    const std::string score = scoreOf(Program::glisson, glissonAnswers);
    const int first = 6;  // four header lines and the column comment come first
    const std::string statement = lineOf(score, first);
    ASSERT_EQ(statement.rfind("i1\t ", 0), 0u);

    std::vector<std::string> fields;  // "i1" and the values
    for (std::size_t at = 0, next; at != std::string::npos; at = next) {
        next = statement.find("\t ", at);
        fields.push_back(statement.substr(at, next == std::string::npos ? next : next - at));
        if (next != std::string::npos) next += 2;
    }
    ASSERT_EQ(fields.size(), 14u);
    auto with = [&](std::size_t index, const std::string& value) {
        std::vector<std::string> changed = fields;
        changed[index] = value;
        return changed;
    };
    auto join = [](const std::vector<std::string>& parts, const std::string& separator = "\t ") {
        std::string line = parts.front();
        for (std::size_t i = 1; i < parts.size(); ++i) line += separator + parts[i];
        return line;
    };
    struct Case {
        std::string damaged;
        std::string problem;
    };
    std::vector<std::string> longer = fields;
    longer.push_back("1.000000");
    const Case cases[] = {
        {join(std::vector<std::string>(fields.begin(), fields.end() - 1)),
         "line 6: a grain statement has 13 p-fields instead of 14"},
        {join(longer), "line 6: a grain statement has 15 p-fields instead of 14"},
        {join(with(4, "loud")), "line 6: p5 is 'loud', not a number with six decimals"},
        {join(with(3, "1.5")), "line 6: p4 is '1.5', not a voice number"},
        {join(with(3, "0")), "p4 is '0', not a voice number"},
        {join(with(2, "1e-3")), "p3 is '1e-3'"},
        {join(with(2, "0.2")), "p3 is '0.2'"},
        {join(fields, " "), "not each led by a tab and a blank"},
    };
    for (const Case& c : cases) {
        flock::ScoreStructure s = flock::checkScore(Program::glisson, replaceLine(score, first, c.damaged));
        ASSERT_FALSE(s.problems.empty()) << c.damaged;
        EXPECT_NE(s.problems.front().find(c.problem), std::string::npos) << s.problems.front();
    }
    // An additive statement with a glisson's fourteen fields is wrong for additivescore.
    std::string additive = scoreOf(Program::additive, additiveAnswers);
    int additiveFirst = 7;
    ASSERT_EQ(lineOf(additive, additiveFirst).rfind("i1\t ", 0), 0u);
    flock::ScoreStructure s = flock::checkScore(
        Program::additive, replaceLine(additive, additiveFirst, lineOf(additive, additiveFirst) + "\t 2.000000"));
    ASSERT_FALSE(s.problems.empty());
    EXPECT_NE(s.problems.front().find("14 p-fields instead of 13"), std::string::npos);
}

TEST(ScoreStructure, NamesMissingHeaderAndClosingLines) {
    const std::string score = scoreOf(Program::glisson, glissonAnswers);
    auto firstProblem = [](const std::string& text) {
        flock::ScoreStructure s = flock::checkScore(Program::glisson, text);
        return s.problems.empty() ? std::string("none") : s.problems.front();
    };
    EXPECT_NE(firstProblem(replaceLine(score, 3, "f2 0 16385 20 7 1")).find("line 3: header line"), std::string::npos);
    EXPECT_NE(firstProblem(score.substr(0, score.size() - 1)).find("the score does not end with a line end"),
              std::string::npos);
    std::string noEnd = score.substr(0, score.size() - 2);  // drops "e\n"
    EXPECT_NE(firstProblem(noEnd).find("the score ends before 'e'"), std::string::npos) << firstProblem(noEnd);
    std::size_t reverb = score.find("i99\t 0\t ");
    ASSERT_NE(reverb, std::string::npos);
    EXPECT_NE(firstProblem(score.substr(0, reverb) + "i99\t 0\n\ne\n").find("the reverb statement"), std::string::npos);
    EXPECT_NE(firstProblem(score + "i1\t 0.000000\n").find("text after the end statement"), std::string::npos);
    EXPECT_EQ(firstProblem(score), "none");
}

}  // namespace
