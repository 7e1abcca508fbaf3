// What the render tests share: grainrender run in the test's own process,
// bounded in what it may write.
#pragma once

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "grain_render.hpp"

namespace render::testing {

// A render that does not end fails at the file-size limit within seconds
// instead of filling the disk: the write fails (EFBIG) and the run reports it.
// The limit is the soft one, so that a program the test starts (a JACK server,
// whose shared memory is a file) may be started without it.
constexpr rlim_t largestFile = 16 << 20;
inline const bool bounded = [] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_max < largestFile) return false;
    limit.rlim_cur = largestFile;
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}();

namespace fs = std::filesystem;

// A fresh folder of the test's own, removed with everything in it at the end.
class TemporaryFolder {
public:
    TemporaryFolder() {
        path_ = fs::temp_directory_path() / ("grainrender-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~TemporaryFolder() { fs::remove_all(path_); }
    fs::path operator/(const std::string& name) const { return path_ / name; }
    const fs::path& path() const { return path_; }
    // The names of everything in the folder.
    std::set<std::string> names() const {
        std::set<std::string> all;
        for (const auto& entry : fs::directory_iterator(path_)) all.insert(entry.path().filename().string());
        return all;
    }

private:
    fs::path path_;
};

inline void writeText(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

struct RunResult {
    int status;
    std::string out, err;
};

// grainrender with the source tree's orchestras, two jobs, no progress bar.
inline RunResult grainrender(const std::vector<std::string>& arguments) {
    EXPECT_TRUE(bounded) << "the file-size limit could not be set";
    RenderEnvironment environment{{GRAIN_SOURCE_EXAMPLES}, 2, false};
    std::ostringstream out, err;
    int status = runGrainRender(arguments, environment, out, err);
    return {status, out.str(), err.str()};
}

}  // namespace render::testing
