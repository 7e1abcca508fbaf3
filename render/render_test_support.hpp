// What the render tests share: grainrender run in the test's own process,
// bounded in what it may write.
#pragma once

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <sstream>
#include <string>
#include <vector>

#include "grain_render.hpp"

namespace render::testing {

// A render that does not end fails at the file-size limit within seconds
// instead of filling the disk: the write fails (EFBIG) and the run reports it.
constexpr rlim_t largestFile = 16 << 20;
inline const bool bounded = [] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{largestFile, largestFile};
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}();

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
