// grainrender: renders a score of glissonscore, granulescore or additivescore
// with its orchestra into one sound file, in several parts at once (one Csound
// instance per part, each in its own thread), or one part of it for a render
// spread over many machines, or mixes such part files into one.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace render {

struct RenderEnvironment {
    std::vector<std::string> orchestraFolders;  // where to look for the orchestras, in this order
    unsigned cores = 1;                         // parts rendered at once without --jobs
    bool terminal = false;                      // standard error is a terminal: show the progress bar
    const std::atomic<bool>* interrupted = nullptr;  // set when the composer stops the run (Ctrl-C)
    std::function<std::uintmax_t(const std::string&)> freeSpace = nullptr;  // bytes free in a folder; empty: the file system's
};

// Runs grainrender with the arguments after the program name: the closing
// line goes to out, the progress bar, refusals and warnings to err. Returns the
// exit status: 0 done, 1 refused or failed (no output file left), 2 a bad option.
int runGrainRender(const std::vector<std::string>& arguments, const RenderEnvironment& environment,
                   std::ostream& out, std::ostream& err);

}  // namespace render
