// scoreview on real scores of the three programs: one stroke per grain
// statement in its voice's colour group, the same bytes for the same score,
// and refusals of damaged scores with the line, writing no picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include "score_picture.hpp"
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

TEST(ScoreView, ItsLineCountsGrainsAndVoicesInWords) {
    TempFolder coordinates, folder;
    grain::testing::writeRamp(coordinates.path(), 1, 10, 0, 1, 0, 1, 2, 0);
    // One partial of 1 s grainlets over 0.5 s: one grain of one voice.
    auto one = grain::testing::runProgram(Program::additive, "100 1 0.5 1 0 1 0\n", coordinates.path(), folder.path());
    ASSERT_EQ(one.status, 0) << one.errors;
    const fs::path score = folder.path() / grain::scoreFileName(Program::additive);
    EXPECT_EQ(view({score.string(), "-o", (folder.path() / "one.svg").string()}).console,
              "scoreview: 1 grain of 1 voice drawn in " + (folder.path() / "one.svg").string() + "\n");
    const fs::path four = writeScore(Program::additive, folder.path());
    const auto grains = grain::testing::statements(readText(four)).size();
    EXPECT_EQ(view({four.string(), "-o", (folder.path() / "four.svg").string()}).console,
              "scoreview: " + std::to_string(grains) + " grains of 4 voices drawn in " +
                  (folder.path() / "four.svg").string() + "\n");
}

// Where a picture's strokes pass, per panel and voice, in cells of 10 by 10
// pixels: <line>s and paths of M, L and V commands, walked in half pixels.
using Cells = std::map<std::string, std::set<std::pair<int, int>>>;
Cells cellsOf(const std::string& svg) {
    Cells cells;
    std::map<std::string, int> seen;  // path groups come once for the azimuth, then for the elevation
    const std::string open = "<g class=\"";
    for (std::size_t at = svg.find(open); at != std::string::npos; at = svg.find(open, at + 1)) {
        const std::size_t close = svg.find("</g>", at);
        const std::string head = svg.substr(at, svg.find('>', at) - at);
        if (head.find("class=\"grains\"") == std::string::npos && head.find("class=\"path\"") == std::string::npos)
            continue;
        std::string key = head.substr(open.size(), head.find("\" stroke") - open.size());
        key += "/" + std::to_string(seen[key]++);
        auto& marks = cells[key];
        auto walk = [&marks](double x1, double y1, double x2, double y2) {
            const int n = 1 + static_cast<int>(2.0 * std::max(std::fabs(x2 - x1), std::fabs(y2 - y1)));
            for (int i = 0; i <= n; ++i)
                marks.insert({static_cast<int>((x1 + (x2 - x1) * i / n) / 10.0),
                              static_cast<int>((y1 + (y2 - y1) * i / n) / 10.0)});
        };
        for (std::size_t l = svg.find("<line ", at); l < close; l = svg.find("<line ", l + 1)) {
            double x1, y1, x2, y2;
            const std::string tag = svg.substr(l, svg.find('>', l) - l);  // sscanf measures what it reads
            if (std::sscanf(tag.c_str(), "<line x1=\"%lf\" y1=\"%lf\" x2=\"%lf\" y2=\"%lf\"", &x1, &y1, &x2, &y2) == 4)
                walk(x1, y1, x2, y2);
        }
        for (std::size_t d = svg.find(" d=\"", at); d < close; d = svg.find(" d=\"", d + 1)) {
            const char* c = svg.c_str() + d + 4;
            double x = 0.0, y = 0.0;
            while (*c == 'M' || *c == 'L' || *c == 'V') {
                const char op = *c++;
                char* next = nullptr;
                double nx = x, ny = std::strtod(c, &next);
                if (op != 'V') nx = ny, ny = std::strtod(next, &next);
                if (op == 'M') walk(nx, ny, nx, ny);
                else walk(x, y, nx, ny);
                x = nx, y = ny;
                c = next;
            }
        }
    }
    return cells;
}

// A score of 24 voices of 3000 grains each (72000), gliding, circling and
// crossing 0 degrees of azimuth, as a huge score would: its picture shows no
// more than the pixels can, stays small, and covers the same places.
TEST(ScoreView, AHugeScoresPictureStaysSmallAndLooksTheSameAtAGlance) {
    scoreview::ScoreReading reading;
    reading.program = Program::glisson;
    for (int voice = 1; voice <= 24; ++voice) {
        reading.voices.push_back(voice);
        for (int k = 0; k < 3000; ++k) {
            scoreview::GrainStatement g;
            const double t = k * 0.02, wobble = std::sin(k * 1.7 + voice);
            g.voice = voice;
            g.start = t + voice * 0.001;
            g.grainDuration = 0.02 + 0.01 * voice / 24.0;
            g.noteDuration = 0.04;
            g.p13 = 800.0 + 600.0 * std::sin(t / (1.0 + voice * 0.2)) + 150.0 * wobble;
            g.p14 = g.p13 * (1.25 + 0.1 * wobble);
            g.aziOld = std::fmod(voice * 40.0 + 9.0 * (t - 0.02) + 360.0, 360.0);
            g.azi = std::fmod(voice * 40.0 + 9.0 * t, 360.0);
            g.elevOld = g.elev = 60.0 * std::sin(t / 5.0 + voice);
            g.distOld = g.dist = 2.0 + voice % 5 + std::sin(t);
            reading.grains.push_back(g);
        }
    }
    const std::string thin = scoreview::scorePicture(reading, "huge.sco");
    const std::string full = scoreview::scorePicture(reading, "huge.sco", 1 << 30);
    EXPECT_LT(thin.size(), 5u << 20);
    EXPECT_GT(full.size(), 5u << 20) << "a score whose every grain would not fit";
    std::size_t lines = 0;
    for (std::size_t at = thin.find("<line "); at != std::string::npos; at = thin.find("<line ", at + 1)) ++lines;
    EXPECT_LT(lines, 100u) << "the frames' lines only: every voice has more grains than its share";
    const Cells thinCells = cellsOf(thin), fullCells = cellsOf(full);
    ASSERT_EQ(thinCells.size(), 3u * 24u);
    for (const auto& [key, fullMarks] : fullCells) {
        const auto& thinMarks = thinCells.at(key);
        std::size_t shared = 0;
        for (const auto& cell : fullMarks) shared += thinMarks.count(cell);
        const double sameShare = static_cast<double>(shared) / static_cast<double>(fullMarks.size() + thinMarks.size() - shared);
        EXPECT_GE(sameShare, 0.9) << key << ": " << fullMarks.size() << " cells in detail, " << thinMarks.size()
                                  << " in columns, " << shared << " shared";
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
