// flockpaths as the composer runs it: the files it writes, their format and
// ranges, the same files for the same seed, refused command lines, failures
// that leave the folder as it was, the files it may replace (its own) and those
// it refuses to (a Boids patch's), the picture, and score programs reading
// its files.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "flock_options.hpp"
#include "flock_paths.hpp"
#include "flock_simulation.hpp"
#include "svg_drawing.hpp"
#include "score_reader.hpp"
#include "test_support.hpp"

namespace {

using grain::testing::readText;
using grain::testing::TempFolder;
namespace fs = std::filesystem;

struct FlockRun {
    int status = 0;
    std::string console;
    std::string errors;
};

FlockRun runFlock(std::vector<std::string> arguments, const fs::path& defaultFolder = "/nonexistent/default") {
    std::ostringstream console, errors;
    FlockRun run;
    run.status = flock::runFlockPaths(arguments, defaultFolder, console, errors);
    run.console = console.str();
    run.errors = errors.str();
    return run;
}

std::vector<double> valuesOf(const fs::path& file) {
    std::istringstream text(readText(file));
    std::vector<double> values;
    for (double v; text >> v;) values.push_back(v);
    return values;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

fs::path boidFile(const fs::path& folder, int boid, char letter) {
    return folder / ("bg" + std::to_string(boid) + letter + ".txt");
}

TEST(FlockPaths, WritesThreeFilesPerBoidWithOneFourDecimalValuePerLine) {
    TempFolder tmp;
    FlockRun run = runFlock({"--voices", "3", "--samples", "50", "--out", tmp.path().string()});
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.errors, "");
    EXPECT_NE(run.console.find("3 boids, 50 samples each"), std::string::npos) << run.console;
    EXPECT_EQ(namesIn(tmp.path()), (std::vector<std::string>{"bg1a.txt", "bg1d.txt", "bg1e.txt", "bg2a.txt", "bg2d.txt",
                                                            "bg2e.txt", "bg3a.txt", "bg3d.txt", "bg3e.txt",
                                                            "flockpaths.manifest"}));
    const std::regex line("-?[0-9]+\\.[0-9]{4}");
    for (int boid = 1; boid <= 3; ++boid) {
        for (char letter : {'a', 'e', 'd'}) {
            std::string text = readText(boidFile(tmp.path(), boid, letter));
            ASSERT_FALSE(text.empty());
            EXPECT_EQ(text.back(), '\n');
            std::istringstream lines(text);
            int count = 0;
            for (std::string l; std::getline(lines, l); ++count)
                EXPECT_TRUE(std::regex_match(l, line)) << "bg" << boid << letter << ".txt: '" << l << "'";
            EXPECT_EQ(count, 50);
        }
    }
}

TEST(FlockPaths, DurationCoversBothEndsAndDefaultsGoToTheDefaultFolder) {
    TempFolder tmp;
    fs::path fixed = tmp.path() / "Max" / "bg";
    FlockRun run = runFlock({"--interval", "0.25", "--duration", "2"}, fixed);
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(valuesOf(boidFile(fixed, 1, 'd')).size(), 9u);  // 0, 0.25, ..., 2 seconds
    EXPECT_TRUE(fs::exists(boidFile(fixed, 4, 'a')));  // four boids by default
    EXPECT_FALSE(fs::exists(boidFile(fixed, 5, 'a')));
}

TEST(FlockPaths, TheSameOptionsAndSeedWriteTheSameFilesAndPictureAndAnotherSeedOthers) {
    TempFolder first, second, third;
    std::vector<std::string> options = {"--voices", "5", "--samples", "300", "--seed", "1234", "--cohesion", "2"};
    auto with = [&](const fs::path& folder, std::vector<std::string> extra) {
        std::vector<std::string> all = options;
        all.insert(all.end(), {"--out", folder.string(), "--svg", (folder / "paths.svg").string()});
        all.insert(all.end(), extra.begin(), extra.end());
        return runFlock(all).status;
    };
    ASSERT_EQ(with(first.path(), {}), 0);
    ASSERT_EQ(with(second.path(), {}), 0);
    ASSERT_EQ(with(third.path(), {"--seed", "1235"}), 0);
    for (int boid = 1; boid <= 5; ++boid)
        for (char letter : {'a', 'e', 'd'})
            EXPECT_EQ(readText(boidFile(first.path(), boid, letter)), readText(boidFile(second.path(), boid, letter)));
    EXPECT_EQ(readText(first.path() / "paths.svg"), readText(second.path() / "paths.svg"));
    EXPECT_NE(readText(boidFile(first.path(), 1, 'a')), readText(boidFile(third.path(), 1, 'a')));
}

// The flock is computed with IEEE arithmetic and square roots only, so these
// values of seed 1 are the same on every machine; a change here changes every
// composer's coordinate files.
TEST(FlockPaths, SeedOneGivesTheSameValuesOnEveryMachine) {
    TempFolder tmp;
    ASSERT_EQ(runFlock({"--samples", "400", "--out", tmp.path().string()}).status, 0);
    std::istringstream lines(readText(boidFile(tmp.path(), 2, 'e')));
    std::string line, last;
    std::getline(lines, line);
    EXPECT_EQ(line, "81.2683");
    while (std::getline(lines, line)) last = line;
    EXPECT_EQ(last, "24.1900");
}

TEST(FlockPaths, AnglesStayInTheirRangesAndBoidsNearTheBoundingSphere) {
    struct Case {
        std::vector<std::string> options;
        double radius;
    };
    const std::vector<Case> cases = {
        {{"--voices", "8", "--samples", "3000", "--seed", "7"}, 20.0},
        {{"--voices", "12", "--samples", "2000", "--radius", "2", "--max-speed", "20", "--separation", "100"}, 2.0},
        {{"--voices", "2", "--samples", "2000", "--cohesion", "0", "--alignment", "0", "--wander", "100",
          "--interval", "1"},
         20.0},
    };
    for (const Case& c : cases) {
        TempFolder tmp;
        std::vector<std::string> options = c.options;
        options.insert(options.end(), {"--out", tmp.path().string()});
        ASSERT_EQ(runFlock(options).status, 0);
        for (int boid = 1; fs::exists(boidFile(tmp.path(), boid, 'a')); ++boid) {
            for (double a : valuesOf(boidFile(tmp.path(), boid, 'a'))) {
                ASSERT_GE(a, -180.0);
                ASSERT_LE(a, 180.0);
            }
            for (double e : valuesOf(boidFile(tmp.path(), boid, 'e'))) {
                ASSERT_GE(e, -90.0);
                ASSERT_LE(e, 90.0);
            }
            for (double d : valuesOf(boidFile(tmp.path(), boid, 'd'))) {
                ASSERT_GT(d, 0.0);                  // never at the listener
                ASSERT_LT(d, c.radius * 1.25 + 1.0);  // a soft bound, but a bound
            }
        }
    }
}

double distanceFromListener(const flock::Vec3& p) { return std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z); }

flock::FlockSettings settingsOf(const std::vector<std::string>& arguments) {
    flock::ParsedOptions parsed = flock::parseFlockOptions(arguments, "/nonexistent");
    EXPECT_TRUE(parsed) << parsed.reason();
    return parsed ? parsed->settings : flock::FlockSettings{};
}

// Boids veer away from the listener: at the usual speeds none comes within
// the listener's own space, even in a small sphere crowded with boids that
// often fly close by.
TEST(FlockPaths, BoidsKeepOutOfTheListenersSpace) {
    struct Case {
        std::vector<std::string> options;
        bool comesClose;  // the flock passes inside the radius where boids veer away
    };
    const std::vector<Case> cases = {
        {{"--voices", "8", "--samples", "3000", "--seed", "7"}, false},
        {{"--voices", "20", "--samples", "4000", "--seed", "3", "--radius", "5"}, true},
        {{"--voices", "30", "--samples", "3000", "--seed", "4", "--radius", "3"}, true},
        {{"--voices", "6", "--samples", "3000", "--seed", "6", "--radius", "3", "--cohesion", "5"}, true},
    };
    for (const Case& c : cases) {
        const flock::FlockSettings settings = settingsOf(c.options);
        double least = 1e9;
        for (const flock::BoidPath& path : flock::simulateFlock(settings))
            for (const flock::Vec3& p : path.positions) least = std::min(least, distanceFromListener(p));
        const std::string shown = c.options[1] + " boids, radius " + std::to_string(settings.radius);
        EXPECT_GE(least, flock::listenerSpace) << shown;
        if (c.comesClose) {
            EXPECT_LT(least, std::min(2.0 * flock::listenerSpace, settings.radius / 2.0)) << shown;
        }
    }
}

// A flock may fly at one speed only: the slowest and the fastest equal.
TEST(FlockPaths, EqualLeastAndGreatestSpeedsFlyAtThatSpeed) {
    TempFolder tmp;
    const std::vector<std::string> options = {"--min-speed", "3", "--max-speed", "3", "--interval", "0.01",
                                              "--samples", "500", "--voices", "6"};
    std::vector<std::string> withFolder = options;
    withFolder.insert(withFolder.end(), {"--out", tmp.path().string()});
    FlockRun run = runFlock(withFolder);
    ASSERT_EQ(run.status, 0) << run.errors;
    // One simulation step per sample: every step covers 3 m/s x 0.01 s.
    for (const flock::BoidPath& path : flock::simulateFlock(settingsOf(options)))
        for (std::size_t k = 1; k < path.positions.size(); ++k) {
            const flock::Vec3& a = path.positions[k - 1];
            const flock::Vec3& b = path.positions[k];
            ASSERT_NEAR(distanceFromListener({b.x - a.x, b.y - a.y, b.z - a.z}) / 0.01, 3.0, 1e-9) << k;
        }
}

TEST(FlockPaths, RefusesBadCommandLinesAndWritesNothing) {
    const std::vector<std::vector<std::string>> refused = {
        {"--voices", "0"},           {"--voices", "101"},          {"--voices", "2.5"},
        {"--voices", "four"},        {"--voices"},                 {"--interval", "0"},
        {"--interval", "-0.05"},     {"--interval", "nan"},        {"--interval", "0.05s"},
        {"--interval", "11"},        {"--samples", "1"},           {"--samples", "20001"},
        {"--duration", "2000", "--interval", "0.05"},               {"--duration", "0.01", "--interval", "0.05"},
        {"--duration", "5", "--samples", "100"},                    {"--seed", "-1"},
        {"--seed", "18446744073709551616"},                         {"--cohesion", "-1"},
        {"--separation", "inf"},     {"--radius", "1"},            {"--min-speed", "5", "--max-speed", "2"},
        {"--max-speed", "0"},        {"--bogus", "1"},             {"stray"},
        {"--out", ""},               {"--interval", "10", "--samples", "400"},
    };
    for (const auto& arguments : refused) {
        TempFolder tmp;
        fs::path folder = tmp.path() / "bg";
        std::vector<std::string> all = {"--out", folder.string()};
        all.insert(all.end(), arguments.begin(), arguments.end());
        if (arguments.front() == "--out") all = arguments;
        FlockRun run = runFlock(all);
        std::string shown = arguments.front() + (arguments.size() > 1 ? " " + arguments[1] : "");
        EXPECT_EQ(run.status, 2) << shown;
        EXPECT_EQ(run.errors.rfind("flockpaths: ", 0), 0u) << shown << ": " << run.errors;
        EXPECT_NE(run.errors.find("--help"), std::string::npos) << shown;
        EXPECT_EQ(run.console, "") << shown;
        EXPECT_FALSE(fs::exists(folder)) << shown;
    }
    // The message names what is wrong.
    EXPECT_NE(runFlock({"--voices", "four"}).errors.find("--voices wants a whole number from 1 to 100, not 'four'"),
              std::string::npos);
    EXPECT_NE(runFlock({"--bogus", "1"}).errors.find("unknown option --bogus"), std::string::npos);
}

TEST(FlockPaths, HelpStatesTheOptionsAndTheConventions) {
    FlockRun run = runFlock({"--help"}, "/the/fixed/folder");
    EXPECT_EQ(run.status, 0);
    for (const char* text : {"--voices", "--interval", "--duration", "--samples", "--seed", "--out", "--separation",
                             "--alignment", "--cohesion", "--svg", "--replace", "0 ahead, 90 right, -90 left",
                             "-90 (below) to 90 (above)", "metres", "/the/fixed/folder", "2 to 20000"})
        EXPECT_NE(run.console.find(text), std::string::npos) << text;
}

TEST(FlockPaths, VersionWritesNothing) {
    TempFolder tmp;
    FlockRun run = runFlock({"--version"}, tmp.path() / "bg");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.console.rfind("flockpaths ", 0), 0u) << run.console;
    EXPECT_FALSE(fs::exists(tmp.path() / "bg"));
}

// Every file of a folder and its bytes, hidden ones included.
std::map<std::string, std::string> contentsOf(const fs::path& folder) {
    std::map<std::string, std::string> contents;
    for (const auto& entry : fs::directory_iterator(folder))
        contents[entry.path().filename().string()] =
            entry.is_regular_file() ? readText(entry.path()) : std::string("(folder)");
    return contents;
}

// Files may grow to at most the given bytes while it lives; a larger write
// fails as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous_);
        rlimit limit = previous_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &previous_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous_{};
    void (*previousHandler_)(int);
};

TEST(FlockPaths, AFailedWriteLeavesTheFolderAsItWas) {
    TempFolder tmp;
    // The output folder is a file.
    fs::path notFolder = tmp.path() / "plain";
    grain::testing::writeText(notFolder, "x");
    FlockRun run = runFlock({"--out", notFolder.string(), "--samples", "10"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("cannot make the folder"), std::string::npos) << run.errors;

    // The picture, written after the coordinate files, cannot be written
    // whole: the earlier flock and picture stay, and no temporary file.
    fs::path folder = tmp.path() / "bg";
    fs::path picture = tmp.path() / "paths.svg";
    ASSERT_EQ(runFlock({"--out", folder.string(), "--voices", "2", "--samples", "10", "--svg", picture.string()})
                  .status,
              0);
    const auto before = contentsOf(folder);
    const std::string pictureBefore = readText(picture);
    {
        FileSizeLimit limit(4000);  // above a coordinate file of 10 samples, below the picture
        run = runFlock({"--out", folder.string(), "--voices", "4", "--samples", "10", "--seed", "2", "--svg",
                        picture.string()});
    }
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("cannot write " + picture.string()), std::string::npos) << run.errors;
    EXPECT_EQ(contentsOf(folder), before);
    EXPECT_EQ(readText(picture), pictureBefore);
    EXPECT_EQ(namesIn(tmp.path()), (std::vector<std::string>{"bg", "paths.svg", "plain"}));
}

// A rename that fails part-way takes the files already placed back out and
// puts the earlier flock back: the folder never holds part of a flock.
TEST(FlockPaths, AFailedRenameLeavesTheEarlierFlock) {
    TempFolder tmp;
    ASSERT_EQ(runFlock({"--out", tmp.path().string(), "--voices", "2", "--samples", "10"}).status, 0);
    fs::create_directories(tmp.path() / "bg3e.txt" / "in the way");
    const auto before = contentsOf(tmp.path());
    FlockRun run = runFlock({"--out", tmp.path().string(), "--voices", "4", "--samples", "10", "--seed", "9"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("cannot replace " + boidFile(tmp.path(), 3, 'e').string()), std::string::npos)
        << run.errors;
    EXPECT_EQ(contentsOf(tmp.path()), before);
}

// The folder is where the composer's Boids patch writes: flockpaths replaces
// only the files it wrote itself and that nobody changed since.
TEST(FlockPaths, ReplacesOnlyItsOwnUnchangedFiles) {
    struct Case {
        std::string name;
        std::vector<std::string> options;
        std::function<void(const fs::path&)> lay;  // what lies in the folder before the run
        std::string refusal;                       // what the refusal says, empty when the run goes ahead
    };
    auto patchFiles = [](const fs::path& folder, std::vector<int> boids) {
        for (int boid : boids)
            for (char letter : {'a', 'e', 'd'})
                grain::testing::writeText(boidFile(folder, boid, letter), "12.5\n13\n14.25\n");
    };
    auto earlierFlock = [](const fs::path& folder) {
        ASSERT_EQ(runFlock({"--out", folder.string(), "--voices", "6", "--samples", "20", "--seed", "5"}).status, 0);
    };
    const std::vector<Case> cases = {
        {"the patch's files", {}, [&](const fs::path& f) { patchFiles(f, {1, 2, 3, 7}); },
         "bg1a.txt was not written by flockpaths"},
        {"a patch's file beyond the flock", {}, [&](const fs::path& f) { patchFiles(f, {9}); },
         "bg9a.txt was not written by flockpaths"},
        {"a file of its flock changed by hand",
         {},
         [&](const fs::path& f) {
             earlierFlock(f);
             grain::testing::writeText(boidFile(f, 2, 'd'), readText(boidFile(f, 2, 'd')) + "3.0000\n");
         },
         "bg2d.txt was changed since flockpaths wrote it"},
        {"a file of its flock with one digit changed by hand, the same size",
         {},
         [&](const fs::path& f) {
             earlierFlock(f);
             std::string text = readText(boidFile(f, 3, 'e'));
             char& digit = text[text.find_first_of("0123456789")];
             digit = digit == '9' ? '8' : static_cast<char>(digit + 1);
             grain::testing::writeText(boidFile(f, 3, 'e'), text);
         },
         "bg3e.txt was changed since flockpaths wrote it"},
        {"its own earlier flock", {}, earlierFlock, ""},
        {"the patch's files, --replace", {"--replace"}, [&](const fs::path& f) { patchFiles(f, {1, 2, 3, 7}); }, ""},
        {"a changed file, --replace",
         {"--replace"},
         [&](const fs::path& f) {
             earlierFlock(f);
             grain::testing::writeText(boidFile(f, 6, 'a'), "1\n");
         },
         ""},
    };
    TempFolder fresh;
    ASSERT_EQ(runFlock({"--out", fresh.path().string(), "--samples", "30"}).status, 0);
    const auto flock = contentsOf(fresh.path());
    for (const Case& c : cases) {
        TempFolder tmp;
        c.lay(tmp.path());
        const auto before = contentsOf(tmp.path());
        std::vector<std::string> options = {"--samples", "30", "--out", tmp.path().string()};
        options.insert(options.end(), c.options.begin(), c.options.end());
        FlockRun run = runFlock(options);
        if (!c.refusal.empty()) {
            EXPECT_EQ(run.status, 1) << c.name;  // a folder that is not its own is no bad command line
            EXPECT_NE(run.errors.find((tmp.path() / c.refusal).string()), std::string::npos) << c.name << run.errors;
            EXPECT_NE(run.errors.find("--replace"), std::string::npos) << c.name;
            EXPECT_EQ(run.console, "") << c.name;
            EXPECT_EQ(contentsOf(tmp.path()), before) << c.name << ": every byte stays";
        } else {
            EXPECT_EQ(run.status, 0) << c.name << run.errors;
            EXPECT_EQ(contentsOf(tmp.path()), flock) << c.name << ": the folder holds exactly the new flock";
            // Its files are its own now: the next run replaces them without asking.
            EXPECT_EQ(runFlock({"--out", tmp.path().string(), "--voices", "2", "--samples", "5"}).status, 0) << c.name;
        }
    }
}

TEST(FlockPaths, RemovesTheFilesOfAnEarlierLargerFlock) {
    TempFolder tmp;
    ASSERT_EQ(runFlock({"--voices", "5", "--samples", "10", "--out", tmp.path().string()}).status, 0);
    FlockRun run = runFlock({"--voices", "3", "--samples", "10", "--out", tmp.path().string()});
    ASSERT_EQ(run.status, 0);
    EXPECT_TRUE(fs::exists(boidFile(tmp.path(), 3, 'd')));
    EXPECT_FALSE(fs::exists(boidFile(tmp.path(), 4, 'a')));
    EXPECT_FALSE(fs::exists(boidFile(tmp.path(), 5, 'd')));
    EXPECT_NE(run.console.find("removed bg5e.txt of an earlier flock"), std::string::npos) << run.console;
}

TEST(FlockPaths, DrawsThePathsFromAboveAndTheElevationsOverTime) {
    TempFolder tmp;
    fs::path picture = tmp.path() / "paths.svg";
    ASSERT_EQ(runFlock({"--voices", "3", "--samples", "20", "--out", tmp.path().string(), "--svg", picture.string()})
                  .status,
              0);
    std::string svg = readText(picture);
    EXPECT_EQ(svg.rfind("<svg ", 0), 0u);
    EXPECT_NE(svg.find("</svg>"), std::string::npos);
    std::size_t lines = 0;
    for (std::size_t at = svg.find("<polyline"); at != std::string::npos; at = svg.find("<polyline", at + 1)) ++lines;
    EXPECT_EQ(lines, 3u * 9u);  // every boid from above in eight pieces, and over time
    // From above, every boid's path runs on unbroken, fading towards its
    // start, to an arrowhead at its last position.
    auto quoted = [&](std::size_t from, const std::string& name) {
        std::size_t at = svg.find(name + "=\"", from) + name.size() + 2;
        return svg.substr(at, svg.find('"', at) - at);
    };
    auto points = [](const std::string& list) {
        std::vector<std::string> all;
        std::istringstream words(list);
        for (std::string p; words >> p;) all.push_back(p);
        return all;
    };
    for (int boid = 1; boid <= 3; ++boid) {
        const std::size_t group = svg.find("<g class=\"flight\" data-boid=\"" + std::to_string(boid) + "\"");
        ASSERT_NE(group, std::string::npos) << boid;
        const std::size_t end = svg.find("</g>", group);
        EXPECT_EQ(quoted(group, "stroke"), drawing::voiceColour(boid));
        double opacity = 0.0;
        std::string lastPoint;
        int pieces = 0;
        for (std::size_t at = svg.find("<polyline", group); at < end; at = svg.find("<polyline", at + 1), ++pieces) {
            const double o = std::stod(quoted(at, "stroke-opacity"));
            EXPECT_GT(o, opacity) << "boid " << boid << ", piece " << pieces;
            opacity = o;
            auto p = points(quoted(at, "points"));
            ASSERT_GE(p.size(), 2u);
            if (!lastPoint.empty()) {
                EXPECT_EQ(p.front(), lastPoint) << "boid " << boid << ", piece " << pieces;
            }
            lastPoint = p.back();
        }
        EXPECT_EQ(pieces, 8);
        EXPECT_EQ(opacity, 1.0);
        const std::size_t arrow = svg.find("<polygon class=\"arrow\"", group);
        ASSERT_LT(arrow, end) << boid;
        EXPECT_EQ(points(quoted(arrow, "points")).front(), lastPoint) << "the arrow's tip is the boid's last position";
    }
    for (const char* text : {">boid 1<", ">boid 3<", "to the right of the listener (m)", "ahead of the listener (m)",
                             "time (s)", "elevation (degrees)", ">-45<", ">90<"})
        EXPECT_NE(svg.find(text), std::string::npos) << text;
}

// No label sits inside a panel, where the paths run.
TEST(FlockPaths, ThePictureKeepsItsLabelsOffThePanels) {
    TempFolder tmp;
    fs::path picture = tmp.path() / "paths.svg";
    ASSERT_EQ(runFlock({"--voices", "30", "--samples", "50", "--out", tmp.path().string(), "--svg", picture.string()})
                  .status,
              0);
    const std::string svg = readText(picture);
    auto attribute = [&](std::size_t element, const std::string& name) {
        std::size_t at = svg.find(" " + name + "=\"", element) + name.size() + 3;
        return std::stod(svg.substr(at, svg.find('"', at) - at));
    };
    struct Box {
        double left, top, right, bottom;
    };
    std::vector<Box> panels;
    for (std::size_t at = svg.find("<rect x="); at != std::string::npos; at = svg.find("<rect x=", at + 1)) {
        double left = attribute(at, "x"), top = attribute(at, "y");
        panels.push_back({left, top, left + attribute(at, "width"), top + attribute(at, "height")});
    }
    ASSERT_EQ(panels.size(), 2u);
    int labels = 0;
    for (std::size_t at = svg.find("<text "); at != std::string::npos; at = svg.find("<text ", at + 1), ++labels) {
        double x = attribute(at, "x"), y = attribute(at, "y");
        for (const Box& b : panels)
            EXPECT_FALSE(x > b.left && x < b.right && y > b.top && y < b.bottom)
                << svg.substr(at, svg.find("</text>", at) - at);
    }
    EXPECT_GT(labels, 40);  // titles, tick labels, axis labels and the legend of 30 boids
}

// The programs read the flock's files as they stand: no unreadable value, and
// long enough for every grain of a score whose total duration is below the
// flight's.
TEST(FlockPaths, TheThreeProgramsReadItsFilesWithoutWarnings) {
    struct Case {
        grain::Program program;
        std::string voices;
        std::string answers;
        int statementVoices;
    };
    const std::vector<Case> cases = {
        {grain::Program::glisson, "4", "1\n100\n10000\n3\n3\n0.05\n1\n1\n10\n4\n1\n", 4},
        {grain::Program::granule, "4", "1\n0.05\n0.15\n0\n0\n1\n2\n0.5\n0\n10\n4\n1\ntestsound.wav\n1\n", 4},
        {grain::Program::additive, "20", "100\n1\n10\n1\n0\n20\n1\n", 20},
    };
    for (const Case& c : cases) {
        TempFolder coordinates, scores;
        ASSERT_EQ(runFlock({"--voices", c.voices, "--interval", "0.05", "--duration", "12", "--out",
                            coordinates.path().string()})
                      .status,
                  0);
        auto result = grain::testing::runProgram(c.program, c.answers, coordinates.path(), scores.path());
        ASSERT_EQ(result.status, 0) << result.errors;
        EXPECT_EQ(result.console.find("Warning"), std::string::npos) << result.console;
        EXPECT_EQ(result.console.find("End of Boids input file reached"), std::string::npos);
        grain::ScoreReading s = grain::readScore(result.score, c.program);
        EXPECT_TRUE(s.problems.empty()) << s.problems.front();
        EXPECT_EQ(static_cast<int>(s.voices.size()), c.statementVoices);
        EXPECT_TRUE(s.reverb);
    }
}

}  // namespace

namespace {

// The flock's record keeps its sampling interval; a score program on a flock
// sampled at another interval than its minimum grain duration says in one
// line on standard error how much slower or faster the paths will play, and
// its console transcript and score stay as they are without the record.
TEST(FlockPaths, TheScoreProgramsWarnWhenTheFlocksIntervalIsNotTheMinimumGrainDuration) {
    struct Case {
        grain::Program program;
        std::string interval;
        std::string answers;
        std::string warning;  // after "<program>: warning: the flock in <folder> was sampled every "
    };
    const std::vector<Case> cases = {
        {grain::Program::additive, "0.04", "100 1 2 1 0 8 0\n",
         "0.04 s, but the minimum grain duration is 0.125 s: its paths will play 3.1 times slower "
         "(flockpaths --interval 0.125 samples them at the score's pace)\n"},
        {grain::Program::granule, "0.1", "3 0.05 1 1 2 2 0\nx.wav\n1\n",
         "0.1 s, but the minimum grain duration is 0.05 s: its paths will play 2 times faster "
         "(flockpaths --interval 0.05 samples them at the score's pace)\n"},
        {grain::Program::glisson, "0.05", "1 100 1000 1 3 0.05 1 1 2 2 0\n", ""},
        {grain::Program::additive, "0.333333", "100 1 2 1 0 3 0\n", ""},  // 1/3 as typed
    };
    for (const Case& c : cases) {
        TempFolder coordinates, scores, bare;
        ASSERT_EQ(runFlock({"--voices", "8", "--interval", c.interval, "--samples", "100", "--out",
                            coordinates.path().string()})
                      .status,
                  0);
        EXPECT_NE(readText(coordinates.path() / "flockpaths.manifest").find("\ninterval " + c.interval + " s\n"),
                  std::string::npos);
        auto run = grain::testing::runProgram(c.program, c.answers, coordinates.path(), scores.path());
        const std::string name = grain::programName(c.program);
        EXPECT_EQ(run.status, 0) << run.errors;
        EXPECT_EQ(run.errors, c.warning.empty() ? "" : name + ": warning: the flock in " +
                                                          coordinates.path().string() + " was sampled every " +
                                                          c.warning);
        fs::remove(coordinates.path() / "flockpaths.manifest");
        auto without = grain::testing::runProgram(c.program, c.answers, coordinates.path(), bare.path());
        EXPECT_EQ(without.errors, "");
        EXPECT_EQ(without.console, run.console);
        EXPECT_EQ(without.score, run.score);
    }
}

}  // namespace
