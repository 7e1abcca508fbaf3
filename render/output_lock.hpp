// A lock beside an output file, held while a run writes it, so that a second
// grainrender asked to write the same file while the first runs is refused,
// instead of the one that ends last silently replacing the other's work. The
// lock is a hidden file beside the output (".NAME.grainrender-lock") locked
// with flock: the system lets go of it when its holder ends, however it ends,
// so a run that was killed leaves no lock that stops the next. The file is
// removed when the run ends.
#pragma once

#include <string>

namespace render {

class OutputLock {
public:
    // Takes the lock of output, or finds it held (then refusal() says so).
    explicit OutputLock(const std::string& output);
    OutputLock(const OutputLock&) = delete;
    OutputLock& operator=(const OutputLock&) = delete;
    // Lets go of the lock and removes its file.
    ~OutputLock();

    // Empty when this run holds the lock; why it does not otherwise.
    const std::string& refusal() const { return refusal_; }

private:
    std::string path_;
    int descriptor_ = -1;
    std::string refusal_;
};

}  // namespace render
