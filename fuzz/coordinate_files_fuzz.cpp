// Arbitrary bytes as voice 1's three coordinate files (cut at zero bytes into
// azimuth, elevation and distance; a part that is the single byte 0xFF is a
// missing file, absent parts are empty files). The loaded samples must be
// exactly what a plain reading of the same text gives, all finite, with the
// warning where the data ends early; sampling them gives finite points; and
// every file is closed again.
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "coordinate_files.hpp"
#include "decimal_reader.hpp"
#include "run_invariants.hpp"
#include "trajectory_sampling.hpp"

namespace {

[[noreturn]] void fail(const std::string& why) {
    std::fprintf(stderr, "coordinate file invariant broken: %s\n", why.c_str());
    std::abort();
}

std::filesystem::path folder;

void removeFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

// What a file holds, read the plain way: past a UTF-8 byte-order mark at its
// start, word after word, each word as one number after the other, until the
// text ends or something is no number.
struct PlainReading {
    std::vector<float> values;
    bool stoppedAtBadValue = false;
};

PlainReading readPlainly(const std::string& text) {
    PlainReading reading;
    std::size_t i = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    for (;;) {
        while (i < text.size() && grain::isBlank(text[i])) ++i;
        if (i == text.size()) return reading;
        std::size_t j = i;
        while (j < text.size() && !grain::isBlank(text[j])) ++j;
        const char* p = text.data() + i;
        const char* end = text.data() + j;
        while (p != end) {
            grain::RealParse parse = grain::parseReal(p, end);
            if (parse.status != grain::NumberStatus::ok) {
                reading.stoppedAtBadValue = true;
                return reading;
            }
            reading.values.push_back(parse.value);
            p = parse.end;
        }
        i = j;
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string name = grain::testing::fastTemporaryFolder() + "/grain-fuzz-coordinates-XXXXXX";
    if (mkdtemp(name.data()) == nullptr) fail("cannot create a temporary folder");
    folder = name;
    std::atexit(removeFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::optional<std::string>> files(3, std::string());
    std::size_t part = 0;
    for (std::size_t i = 0; i < size && part < 3; ++i) {
        if (data[i] == 0)
            ++part;
        else
            *files[part] += static_cast<char>(data[i]);
    }
    const char letters[] = {'a', 'e', 'd'};
    std::filesystem::path paths[3];
    for (std::size_t c = 0; c < 3; ++c) {
        paths[c] = grain::coordinateFilePath(folder, 1, letters[c]);
        std::error_code ignored;
        std::filesystem::remove(paths[c], ignored);
        if (files[c] == "\xff") files[c] = std::nullopt;
        if (files[c]) grain::testing::writeText(paths[c], *files[c]);
    }

    static auto trajectory = std::make_unique<grain::Trajectory>();
    std::ostringstream console;
    const int before = grain::testing::openDescriptorCount();
    console << "writing voice 1 \n";  // the voice loop's line before the load
    const grain::TrajectoryLoad load = grain::loadTrajectory(1, *trajectory, folder);
    grain::printLoadMessages(console, 1, load);
    const bool opened = load.loaded();
    if (grain::testing::openDescriptorCount() != before) fail("a coordinate file stayed open");

    std::string expected = "writing voice 1 \n";
    if (!files[0] || !files[1] || !files[2]) {
        if (opened) fail("a voice with a missing file was loaded");
        expected += "Program quitting due to missing Boids input files!\n"
                    "Please ensure the coordinates files are stored in the default \nfolder, D:\\Boids\n\n\n";
        if (console.str() != expected) fail("missing files: the console shows " + console.str());
        return 0;
    }
    if (!opened) fail("a voice whose files exist was not loaded");

    PlainReading plain[3] = {readPlainly(*files[0]), readPlainly(*files[1]), readPlainly(*files[2])};
    int count = 0;
    int unreadable = -1;
    while (count < grain::trajectoryCapacity) {
        auto k = static_cast<std::size_t>(count);
        if (k >= plain[2].values.size() && !plain[2].stoppedAtBadValue) break;
        for (int c = 0; c < 3 && unreadable < 0; ++c)
            if (k >= plain[c].values.size()) unreadable = c;
        if (unreadable >= 0) break;
        ++count;
    }
    if (unreadable >= 0)
        expected += "Warning: value " + std::to_string(count + 1) + " of " + paths[unreadable].string() +
                    " is missing or not a number; voice 1 uses its first " + std::to_string(count) + " samples\n";
    if (trajectory->sampleCount != count)
        fail("sample count " + std::to_string(trajectory->sampleCount) + ", expected " + std::to_string(count));
    if (console.str() != expected) fail("the console shows " + console.str() + "expected " + expected);
    const std::array<float, grain::trajectoryCapacity>* arrays[3] = {&trajectory->azimuth, &trajectory->elevation,
                                                                      &trajectory->distance};
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < count; ++i) {
            float value = (*arrays[c])[static_cast<std::size_t>(i)];
            float wanted = plain[c].values[static_cast<std::size_t>(i)];
            if (!std::isfinite(value)) fail("a sample is not finite");
            if (std::memcmp(&value, &wanted, sizeof value) != 0) fail("a sample differs from the plain reading");
        }

    // Sampling between any two samples gives a finite point.
    const float positions[] = {0.0f, 0.5f, static_cast<float>(count) - 1.5f, static_cast<float>(count) - 1.0f};
    for (float position : positions) {
        if (!(position >= 0.0f)) continue;
        for (bool offset : {false, true}) {
            std::ostringstream ignored;
            auto point = grain::sampleTrajectory(*trajectory, position, offset, ignored);
            if ((position + 1.0f < static_cast<float>(count)) != point.has_value())
                fail("the end of the data is not where the samples end");
            if (point && !(std::isfinite(grain::wrapAzimuth(point->azimuth)) && std::isfinite(point->elevation) &&
                           std::isfinite(point->distance)))
                fail("a sampled point is not finite");
        }
    }
    return 0;
}
