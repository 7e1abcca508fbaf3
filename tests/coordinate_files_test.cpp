#include <gtest/gtest.h>

#include <cmath>

#include <sstream>

#include "coordinate_files.hpp"
#include "test_support.hpp"

#ifdef __linux__
#include <filesystem>
#endif

using namespace grain;
using namespace grain::testing;

namespace {

const char* missingFiles =
    "Program quitting due to missing Boids input files!\n"
    "Please ensure the coordinates files are stored in the default \nfolder, D:\\Boids\n\n\n";

std::string repeat(const std::string& value, int count, const char* separator = "\n") {
    std::string text;
    for (int i = 0; i < count; ++i) text += value + separator;
    return text;
}

struct Load {
    bool loaded;
    int sampleCount;
    std::string console;  // what the voice loop prints of the load
    std::vector<MissingFile> missing;
};

Load load(const std::filesystem::path& folder, int voice) {
    auto trajectory = std::make_unique<Trajectory>();
    std::ostringstream console;
    TrajectoryLoad result = loadTrajectory(voice, *trajectory, folder);
    printLoadMessages(console, voice, result);
    EXPECT_EQ(result.sampleCount, trajectory->sampleCount);
    return {result.loaded(), trajectory->sampleCount, console.str(), result.missing};
}

void writeFiles(const std::filesystem::path& folder, int voice, const std::string& a, const std::string& e,
                const std::string& d) {
    writeText(folder / ("bg" + std::to_string(voice) + "a.txt"), a);
    writeText(folder / ("bg" + std::to_string(voice) + "e.txt"), e);
    writeText(folder / ("bg" + std::to_string(voice) + "d.txt"), d);
}

int openDescriptors() {
#ifdef __linux__
    int count = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
    return count;
#else
    return 0;
#endif
}

}  // namespace

TEST(CoordinateFiles, theFolderIsFixedPerPlatform) {
#ifdef _WIN32
    EXPECT_EQ(fixedCoordinateFolder().string(), "D:\\Max\\bg");
#else
    EXPECT_EQ(fixedCoordinateFolder().string(), "/mnt/d/Max/bg");
#endif
    EXPECT_EQ(coordinateFilePath("f", 12, 'e').filename().string(), "bg12e.txt");
}

TEST(CoordinateFiles, aFinalLineEndOrNoneGivesTheSameSampleCount) {
    TempFolder folder;
    std::string values = repeat("1.5", 100);
    writeFiles(folder.path(), 1, values, values, values);
    EXPECT_EQ(load(folder.path(), 1).sampleCount, 100);
    values.pop_back();
    writeFiles(folder.path(), 2, values, values, values);
    EXPECT_EQ(load(folder.path(), 2).sampleCount, 100);
    writeFiles(folder.path(), 3, "1 2\t3", "1 2\t3", "  1\r\n2 \n\n 3 \n\n");
    EXPECT_EQ(load(folder.path(), 3).sampleCount, 3);
}

TEST(CoordinateFiles, anEmptyDistanceFileGivesNoSamples) {
    TempFolder folder;
    writeFiles(folder.path(), 1, "", "", "");
    Load result = load(folder.path(), 1);
    EXPECT_TRUE(result.loaded);
    EXPECT_EQ(result.sampleCount, 0);
    EXPECT_EQ(result.console, "");
}

TEST(CoordinateFiles, aVoiceHoldsAtMostTwentyThousandSamples) {
    TempFolder folder;
    std::string exact = repeat("0.25", 20000);
    writeFiles(folder.path(), 1, exact, exact, exact);
    EXPECT_EQ(load(folder.path(), 1).sampleCount, 20000);
    std::string unterminated = exact.substr(0, exact.size() - 1);
    writeFiles(folder.path(), 2, unterminated, unterminated, unterminated);
    EXPECT_EQ(load(folder.path(), 2).sampleCount, 20000);
    std::string more = repeat("0.25", 20005) + "garbage";
    writeFiles(folder.path(), 3, more, more, more);
    Load result = load(folder.path(), 3);
    EXPECT_EQ(result.sampleCount, 20000);
    EXPECT_EQ(result.console, "");  // nothing beyond the capacity is read
}

TEST(CoordinateFiles, valuesAreConvertedStraightToTheNearestFloat) {
    TempFolder folder;
    writeFiles(folder.path(), 1, "0.1\n-7.25e1\n+3\n", "1.00000005960464477539062501\n.5\n5.\n", "1\n2\n3\n");
    auto trajectory = std::make_unique<Trajectory>();
    ASSERT_TRUE(loadTrajectory(1, *trajectory, folder.path()).loaded());
    EXPECT_EQ(trajectory->azimuth[0], 0.1f);
    EXPECT_EQ(trajectory->azimuth[1], -72.5f);
    EXPECT_EQ(trajectory->azimuth[2], 3.0f);
    EXPECT_EQ(trajectory->elevation[0], std::nextafter(1.0f, 2.0f));  // just above the halfway point
    EXPECT_EQ(trajectory->elevation[1], 0.5f);
    EXPECT_EQ(trajectory->elevation[2], 5.0f);
}

TEST(CoordinateFiles, aMissingFileOfAnyCoordinateEndsTheVoiceLoopWithTwoMessagesAndIsNamed) {
    TempFolder folder;
    for (char missing : {'a', 'e', 'd'}) {
        writeFiles(folder.path(), 7, "1\n2\n", "1\n2\n", "1\n2\n");
        const auto path = folder.path() / (std::string("bg7") + missing + ".txt");
        std::filesystem::remove(path);
        int before = openDescriptors();
        Load result = load(folder.path(), 7);
        EXPECT_FALSE(result.loaded);
        EXPECT_EQ(result.console, missingFiles);
        ASSERT_EQ(result.missing.size(), 1u);
        EXPECT_EQ(result.missing[0].path, path);
        EXPECT_EQ(result.missing[0].reason, "No such file or directory");
        EXPECT_EQ(openDescriptors(), before) << "files of the voice that did open are closed";
    }
    // Every missing file is named, in the order azimuth, elevation, distance.
    writeFiles(folder.path(), 8, "1\n", "1\n", "1\n");
    std::filesystem::remove(folder.path() / "bg8d.txt");
    std::filesystem::remove(folder.path() / "bg8a.txt");
    Load two = load(folder.path(), 8);
    ASSERT_EQ(two.missing.size(), 2u);
    EXPECT_EQ(two.missing[0].path.filename(), "bg8a.txt");
    EXPECT_EQ(two.missing[1].path.filename(), "bg8d.txt");
}

TEST(CoordinateFiles, aLoadedVoiceLeavesNoFileOpen) {
    TempFolder folder;
    writeFiles(folder.path(), 12, "1\n2\n", "1\n2\n", "1\n2\n");
    int before = openDescriptors();
    auto trajectory = std::make_unique<Trajectory>();
    EXPECT_TRUE(loadTrajectory(12, *trajectory, folder.path()).loaded());
    EXPECT_EQ(trajectory->sampleCount, 2);
    EXPECT_EQ(openDescriptors(), before);
}

TEST(CoordinateFiles, aValueThatIsNotANumberEndsTheDataAtTheLastCompleteSample) {
    TempFolder folder;
    writeFiles(folder.path(), 1, "1\n2\n3\n4\n", "1\n2\nx3\n4\n", "1\n2\n3\n4\n");
    Load result = load(folder.path(), 1);
    EXPECT_EQ(result.sampleCount, 2);
    EXPECT_EQ(result.console, "Warning: value 3 of " + (folder.path() / "bg1e.txt").string() +
                                  " is missing or not a number; voice 1 uses its first 2 samples\n");

    writeFiles(folder.path(), 2, "1\n2\n3\n", "1\n2\n3\n", "1\n2\n3,5\n4\n");
    Load comma = load(folder.path(), 2);  // "3" reads, ",5" does not
    EXPECT_EQ(comma.sampleCount, 3);
    EXPECT_NE(comma.console.find("Warning: value 4 of "), std::string::npos);
    writeFiles(folder.path(), 3, "1\n2\n3\n", "1\n2\n3\n", "1\n1e39\n3\n");
    EXPECT_EQ(load(folder.path(), 3).sampleCount, 1);  // beyond the float range
}

TEST(CoordinateFiles, aShorterAzimuthOrElevationFileEndsTheDataWithAWarning) {
    TempFolder folder;
    writeFiles(folder.path(), 1, "1\n2\n", "1\n2\n3\n", "1\n2\n3\n4\n");
    Load result = load(folder.path(), 1);
    EXPECT_EQ(result.sampleCount, 2);
    EXPECT_NE(result.console.find("value 3 of " + (folder.path() / "bg1a.txt").string()), std::string::npos);
}

TEST(CoordinateFiles, longerAzimuthAndElevationFilesAreReadOnlyAsFarAsTheDistances) {
    TempFolder folder;
    writeFiles(folder.path(), 1, "1\n2\n3\n4\n", "1\n2\n3\nbad\n", "1\n2\n");
    Load result = load(folder.path(), 1);
    EXPECT_EQ(result.sampleCount, 2);
    EXPECT_EQ(result.console, "");
}

TEST(CoordinateFiles, aLongNumberSplitAcrossReadBlocksIsReadWhole) {
    TempFolder folder;
    std::string padding(65530, ' ');
    std::string longNumber = "0." + std::string(100000, '0') + "1";  // rounds to 0
    writeFiles(folder.path(), 1, padding + "12.5\n7\n", padding + longNumber + "\n8\n", "1\n2\n");
    auto trajectory = std::make_unique<Trajectory>();
    ASSERT_TRUE(loadTrajectory(1, *trajectory, folder.path()).loaded());
    EXPECT_EQ(trajectory->sampleCount, 2);
    EXPECT_EQ(trajectory->azimuth[0], 12.5f);
    EXPECT_EQ(trajectory->elevation[0], 0.0f);
    EXPECT_EQ(trajectory->elevation[1], 8.0f);
}
