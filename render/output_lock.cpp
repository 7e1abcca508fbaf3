#include "output_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace render {

OutputLock::OutputLock(const std::string& output) {
    std::filesystem::path target = std::filesystem::absolute(output).lexically_normal();
    std::string name = target.filename().string();
    name.insert(0, 1, '.').append(".grainrender-lock");
    path_ = (target.parent_path() / name).string();
    // The holder removes the file as it ends: a lock taken on a file that was
    // removed meanwhile guards nothing, and is taken again on the new file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        descriptor_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (descriptor_ < 0) {
            refusal_ = "cannot make the lock file " + path_ + " beside the output: " + std::strerror(errno);
            return;
        }
        if (flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
            refusal_ = errno == EWOULDBLOCK ? "another grainrender is writing " + output +
                                                  " now: wait for it to end, or choose another output"
                                            : "cannot lock " + path_ + ": " + std::strerror(errno);
            close(descriptor_);
            descriptor_ = -1;
            return;
        }
        struct stat held {}, named {};
        if (fstat(descriptor_, &held) == 0 && stat(path_.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
            held.st_dev == named.st_dev)
            return;
        close(descriptor_);
        descriptor_ = -1;
    }
    refusal_ = "cannot lock " + path_ + ": it keeps being replaced";
}

OutputLock::~OutputLock() {
    if (descriptor_ < 0) return;
    unlink(path_.c_str());
    close(descriptor_);
}

}  // namespace render
