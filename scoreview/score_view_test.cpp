// scoreview on real scores of the three programs: one stroke per grain
// statement in its voice's colour group, the same bytes for the same score,
// and refusals of damaged scores with the line, writing no picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "score_view.hpp"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;
using grain::Program;
using grain::testing::readText;
using grain::testing::TempFolder;
using grain::testing::writeText;

struct ViewRun {
    int status = 0;
    std::string console, errors;
};

ViewRun view(const std::vector<std::string>& arguments) {
    std::ostringstream console, errors;
    ViewRun run;
    run.status = scoreview::runScoreView(arguments, console, errors);
    run.console = console.str();
    run.errors = errors.str();
    return run;
}

// A score of the program over four voices of ramps, written into folder.
fs::path writeScore(Program program, const fs::path& folder) {
    const std::map<Program, std::string> answers = {
        {Program::glisson, "2\n100\n8000\n3\n1\n0.05\n0.12\n0\n0\n0.5\n1\n0.5\n0\n3\n4\n1\n"},
        {Program::granule, "3\n0.05\n1\n0.5\n2\n4\n0\nmy file.wav\n1\n"},
        {Program::additive, "110\n1\n2\n1\n0\n4\n1\n"}};
    TempFolder coordinates;
    for (int voice = 1; voice <= 4; ++voice)
        grain::testing::writeRamp(coordinates.path(), voice, 400, -170.0 + voice * 40, 2.9, -60, 0.4, 2 + voice, 0.05);
    auto run = grain::testing::runProgram(program, answers.at(program), coordinates.path(), folder);
    EXPECT_EQ(run.status, 0) << run.errors;
    return folder / grain::scoreFileName(program);
}

// Grain statements of each voice, counted from the score's text.
std::map<std::string, int> statementsPerVoice(const std::string& score) {
    std::map<std::string, int> count;
    for (const auto& fields : grain::testing::statements(score)) ++count[fields[3]];
    return count;
}

// Strokes in each voice's group of grain strokes of the picture.
std::map<std::string, int> strokesPerVoice(const std::string& svg) {
    std::map<std::string, int> count;
    const std::string open = "<g class=\"grains\" data-voice=\"";
    for (std::size_t at = svg.find(open); at != std::string::npos; at = svg.find(open, at + 1)) {
        std::size_t nameEnd = svg.find('"', at + open.size());
        std::string voice = svg.substr(at + open.size(), nameEnd - at - open.size());
        std::size_t close = svg.find("</g>", at);
        int& n = count[voice];
        for (std::size_t s = svg.find("<line ", at); s < close; s = svg.find("<line ", s + 1)) ++n;
    }
    return count;
}

TEST(ScoreView, OneStrokePerGrainStatementOfEachVoice) {
    for (Program program : {Program::glisson, Program::granule, Program::additive}) {
        TempFolder folder;
        fs::path score = writeScore(program, folder.path());
        ViewRun run = view({score.string()});
        ASSERT_EQ(run.status, 0) << run.errors;
        fs::path picture = fs::path(score).replace_extension(".svg");
        std::string svg = readText(picture);
        std::map<std::string, int> statements = statementsPerVoice(readText(score));
        ASSERT_EQ(statements.size(), 4u) << grain::programName(program);
        EXPECT_EQ(strokesPerVoice(svg), statements) << grain::programName(program);
        int total = 0;
        for (const auto& [voice, n] : statements) {
            total += n;
            EXPECT_NE(svg.find(">voice " + voice + "</text>"), std::string::npos) << "legend of voice " << voice;
        }
        EXPECT_NE(svg.find(score.filename().string() + ": " + grain::programName(program) + " score, 4 voices, " +
                           std::to_string(total) + " grains, "),
                  std::string::npos)
            << "title";
        for (const char* label : {"time (s)", "azimuth (degrees", "elevation (degrees)"})
            EXPECT_NE(svg.find(label), std::string::npos) << label;
    }
}

TEST(ScoreView, TheSameScoreGivesTheSameBytes) {
    TempFolder one, two;
    fs::path first = writeScore(Program::glisson, one.path());
    fs::path second = two.path() / first.filename();
    fs::copy_file(first, second);
    ASSERT_EQ(view({first.string(), "-o", (one.path() / "a.svg").string()}).status, 0);
    ASSERT_EQ(view({second.string(), "-o", (two.path() / "b.svg").string()}).status, 0);
    std::string a = readText(one.path() / "a.svg");
    EXPECT_GT(a.size(), 1000u);
    EXPECT_EQ(a, readText(two.path() / "b.svg"));
}

TEST(ScoreView, AzimuthsAreDrawnWithinOneTurn) {
    // The same score with every azimuth a turn further round (above 360, as
    // data from 0 to 360 can give) draws the same picture.
    TempFolder one, two;
    fs::path score = writeScore(Program::glisson, one.path());
    std::istringstream lines(readText(score));
    std::string turned, line;
    while (std::getline(lines, line)) {
        if (line.rfind("i1\t", 0) == 0) {
            std::vector<std::string> fields;
            std::size_t start = 0;
            for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
                fields.push_back(line.substr(start, tab - start));
            fields.push_back(line.substr(start));
            for (std::size_t f : {5u, 6u}) {  // Aziold and Azi, after " "
                char text[32];
                std::snprintf(text, sizeof text, " %f", std::stod(fields[f]) + 360.0);
                fields[f] = text;
            }
            line = fields[0];
            for (std::size_t f = 1; f < fields.size(); ++f) line += "\t" + fields[f];
        }
        turned += line + "\n";
    }
    writeText(two.path() / score.filename(), turned);
    ASSERT_NE(turned, readText(score));
    ASSERT_EQ(view({score.string()}).status, 0);
    ASSERT_EQ(view({(two.path() / score.filename()).string()}).status, 0);
    EXPECT_EQ(readText(fs::path(score).replace_extension(".svg")),
              readText((two.path() / score.filename()).replace_extension(".svg")));
}

TEST(ScoreView, RefusesADamagedScoreWithItsLineAndDrawsNothing) {
    TempFolder folder;
    const std::string score = readText(writeScore(Program::granule, folder.path()));
    const std::size_t sixth = [&] {
        std::size_t at = 0;
        for (int line = 1; line < 6; ++line) at = score.find('\n', at) + 1;
        return at;
    }();
    const std::size_t sixthEnd = score.find('\n', sixth);
    const std::string statement = score.substr(sixth, sixthEnd - sixth);
    ASSERT_EQ(statement.rfind("i1\t ", 0), 0u);
    struct Case {
        const char* what;
        std::string text;
        std::string problem;
    };
    const std::string lastFieldDropped = statement.substr(0, statement.rfind("\t "));
    std::string wordForNumber = statement;
    wordForNumber.replace(statement.find("\t ") + 2, statement.find("\t ", 4) - statement.find("\t ") - 2, "soon");
    const Case cases[] = {
        {"missing field", score.substr(0, sixth) + lastFieldDropped + score.substr(sixthEnd),
         "line 6: a grain statement has 13 p-fields instead of 14"},
        {"word for a number", score.substr(0, sixth) + wordForNumber + score.substr(sixthEnd),
         "line 6: p2 is 'soon', not a number with six decimals"},
        {"no end statement", score.substr(0, score.size() - 2),
         "line " + std::to_string(std::count(score.begin(), score.end(), '\n')) + ": the score ends before 'e'"},
    };
    for (const Case& c : cases) {
        fs::path damaged = folder.path() / "damaged.sco";
        writeText(damaged, c.text);
        ViewRun run = view({damaged.string()});
        EXPECT_EQ(run.status, 1) << c.what;
        EXPECT_NE(run.errors.find(c.problem), std::string::npos) << c.what << ": " << run.errors;
        EXPECT_NE(run.errors.find("no picture written"), std::string::npos) << c.what;
        EXPECT_FALSE(fs::exists(folder.path() / "damaged.svg")) << c.what;
        EXPECT_FALSE(fs::exists(folder.path() / "damaged.svg.partial")) << c.what;
    }
}

TEST(ScoreView, CommandLine) {
    EXPECT_EQ(view({}).status, 2);
    EXPECT_EQ(view({"--bogus"}).status, 2);
    EXPECT_EQ(view({"a.sco", "b.sco"}).status, 2);
    EXPECT_EQ(view({"a.sco", "-o"}).status, 2);
    EXPECT_EQ(view({"a.sco", "-o", "a.sco"}).status, 2);
    // A score that cannot be read is a failure, not a bad command line; a
    // folder is not taken for an empty score.
    TempFolder folder;
    for (const std::string& unreadable : {std::string("/nonexistent/a.sco"), folder.path().string()}) {
        ViewRun run = view({unreadable, "-o", (folder.path() / "a.svg").string()});
        EXPECT_EQ(run.status, 1) << unreadable;
        EXPECT_EQ(run.errors.rfind("scoreview: cannot read " + unreadable + ": ", 0), 0u) << run.errors;
        EXPECT_EQ(std::count(run.errors.begin(), run.errors.end(), '\n'), 1) << run.errors;
    }
    ViewRun version = view({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.console.rfind("scoreview ", 0), 0u);
}

}  // namespace
