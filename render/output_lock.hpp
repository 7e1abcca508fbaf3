// A lock beside an output file, held while a run writes it, so that a second
// grainrender asked to write the same file while the first runs is refused,
// instead of the one that ends last silently replacing the other's work. The
// lock is a hidden file beside the output (".NAME.grainrender-lock") locked
// with flock: the system lets go of it when its holder ends, however it ends,
// so a run that was killed leaves no lock that stops the next. The file is
// removed when the run ends.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "outcome.hpp"

namespace render {

class OutputLock {
public:
    // Takes the lock of output; why not when another run holds it or it
    // cannot be taken.
    static grain::Outcome<std::unique_ptr<OutputLock>> take(const std::string& output);
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;
    // Lets go of the lock and removes its file.
    ~OutputLock();

private:
    OutputLock(std::string path, int descriptor) : path_(std::move(path)), descriptor_(descriptor) {}
    std::string path_;
    int descriptor_ = -1;
};

}  // namespace render
