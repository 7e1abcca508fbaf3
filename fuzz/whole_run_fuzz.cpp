// Arbitrary bytes as a whole run: the first byte chooses the program, the
// rest is cut at zero bytes into the answers and the coordinate files of up
// to four voices (see decodeRunCase). Every run must keep the invariants of
// run_invariants.hpp. Answers that ask for more grains than a quick check can
// afford (accepted as typed, but not a fault) are skipped.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "run_invariants.hpp"

namespace {

std::filesystem::path folder;
std::filesystem::path coordinates;
std::filesystem::path scores;

void removeFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

void emptyFolder(const std::filesystem::path& path) {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(path)) std::filesystem::remove_all(entry, ignored);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    std::string name = grain::testing::fastTemporaryFolder() + "/grain-fuzz-run-XXXXXX";
    if (mkdtemp(name.data()) == nullptr) {
        std::perror("cannot create a temporary folder");
        std::abort();
    }
    folder = name;
    coordinates = folder / "bg";
    scores = folder / "score";
    std::filesystem::create_directory(coordinates);
    std::filesystem::create_directory(scores);
    std::atexit(removeFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace grain::testing;
    RunCase run = decodeRunCase(data, size);
    if (!caseStaysSmall(run, 5000)) return -1;
    emptyFolder(coordinates);
    emptyFolder(scores);
    writeCoordinateFiles(run, coordinates);

    const int before = openDescriptorCount();
    RunResult result = runProgram(run.program, run.answers, coordinates, scores);
    const int after = openDescriptorCount();
    std::string violation = runInvariantViolation(run.program, result, before, after);
    const bool written = result.status == 0 || result.status == grain::incompleteScoreStatus;
    if (violation.empty() && !written && !std::filesystem::is_empty(scores))
        violation = "a refused run left a file in the score folder";
    if (!violation.empty()) {
        std::fprintf(stderr, "whole-run invariant broken: %s\n", violation.c_str());
        std::abort();
    }
    return 0;
}
