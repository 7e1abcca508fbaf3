// The strict reading of scores that stands before Csound in the rendering
// tests and before every picture: sound scores pass with their grains, and
// each kind of damaged statement or missing line is named with its line.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "score_reader.hpp"
#include "program_run.hpp"
#include "test_support.hpp"

namespace {

using grain::Program;

std::string scoreOf(Program program, const std::string& answers) {
    grain::testing::TempFolder coordinates, scores;
    for (int voice = 1; voice <= 3; ++voice)
        grain::testing::writeRamp(coordinates.path(), voice, 200, -170, 1.7, -20, 0.3, 5, 0.05);
    auto run = grain::testing::runProgram(program, answers, coordinates.path(), scores.path());
    // additivescore asks for more partials than there are voices: written, though incomplete.
    EXPECT_TRUE(run.status == 0 || run.status == grain::incompleteScoreStatus) << run.errors;
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

TEST(ScoreReader, ScoresOfTheThreeProgramsAreSound) {
    struct Case {
        Program program;
        std::string answers;
        bool reverb;
    };
    for (const Case& c : {Case{Program::glisson, glissonAnswers, true}, Case{Program::granule, granuleAnswers, false},
                          Case{Program::additive, additiveAnswers, true}}) {
        grain::ScoreReading s = grain::readScore(scoreOf(c.program, c.answers), c.program);
        EXPECT_TRUE(s.problems.empty()) << s.problems.front();
        EXPECT_EQ(s.voices, (std::vector<int>{1, 2, 3}));
        EXPECT_GT(s.grains.size(), 3u);
        EXPECT_EQ(s.reverb, c.reverb);
    }
}

TEST(ScoreReader, RecognisesTheProgramAndReadsItsGrains) {
    const std::string answers[] = {glissonAnswers, granuleAnswers, additiveAnswers};
    for (Program program : {Program::glisson, Program::granule, Program::additive}) {
        const std::string score = scoreOf(program, answers[static_cast<int>(program)]);
        grain::ScoreReading s = grain::readScore(score);
        ASSERT_EQ(s.program, program);
        ASSERT_TRUE(s.problems.empty()) << s.problems.front();
        // The first grain's values are the text of its line.
        const grain::GrainStatement& g = s.grains.front();
        char text[400];
        std::snprintf(text, sizeof text, "i1\t %f\t %f\t %d\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f\t %f", g.start,
                      g.noteDuration, g.voice, g.phase, g.aziOld, g.azi, g.elevOld, g.elev, g.distOld, g.dist,
                      g.grainDuration, g.p13);
        std::string expected = text;
        if (program != Program::additive) {
            std::snprintf(text, sizeof text, "\t %f", g.p14);
            expected += text;
        }
        EXPECT_EQ(lineOf(score, g.line), expected);
    }
    // Windows line ends read the same.
    std::string score = scoreOf(Program::granule, granuleAnswers), crlf;
    for (char c : score) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    EXPECT_EQ(grain::readScore(crlf).grains.size(), grain::readScore(score).grains.size());
    // Anything else is refused at its first line.
    for (const std::string& other : {std::string(""), std::string("f1 0 16384 10 1\ni1 0 1\ne\n"),
                                     std::string("<svg/>\n")}) {
        grain::ScoreReading s = grain::readScore(other);
        EXPECT_FALSE(s.program.has_value());
        ASSERT_EQ(s.problems.size(), 1u);
        EXPECT_EQ(s.problems.front().rfind("line 1: ", 0), 0u) << s.problems.front();
    }
}

TEST(ScoreReader, NamesEveryDamagedStatement) {
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
        grain::ScoreReading s = grain::readScore(replaceLine(score, first, c.damaged), Program::glisson);
        ASSERT_FALSE(s.problems.empty()) << c.damaged;
        EXPECT_NE(s.problems.front().find(c.problem), std::string::npos) << s.problems.front();
    }
    // An additive statement with a glisson's fourteen fields is wrong for additivescore.
    std::string additive = scoreOf(Program::additive, additiveAnswers);
    int additiveFirst = 7;
    ASSERT_EQ(lineOf(additive, additiveFirst).rfind("i1\t ", 0), 0u);
    grain::ScoreReading s = grain::readScore(
        replaceLine(additive, additiveFirst, lineOf(additive, additiveFirst) + "\t 2.000000"), Program::additive);
    ASSERT_FALSE(s.problems.empty());
    EXPECT_NE(s.problems.front().find("14 p-fields instead of 13"), std::string::npos);
}

TEST(ScoreReader, NamesMissingHeaderAndClosingLines) {
    const std::string score = scoreOf(Program::glisson, glissonAnswers);
    auto firstProblem = [](const std::string& text) {
        grain::ScoreReading s = grain::readScore(text, Program::glisson);
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
