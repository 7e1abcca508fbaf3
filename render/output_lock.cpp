#include "output_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace render {

grain::Outcome<std::unique_ptr<OutputLock>> OutputLock::take(const std::string& output) {
    std::filesystem::path target = std::filesystem::absolute(output).lexically_normal();
    std::string name = target.filename().string();
    name.insert(0, 1, '.').append(".grainrender-lock");
    const std::string path = (target.parent_path() / name).string();
    // The holder removes the file as it ends: a lock taken on a file that was
    // removed meanwhile guards nothing, and is taken again on the new file.
    for (int attempt = 0; attempt < 100; ++attempt) {
        int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (descriptor < 0)
            return grain::because("cannot make the lock file " + path + " beside the output: " + std::strerror(errno));
        if (flock(descriptor, LOCK_EX | LOCK_NB) != 0) {
            std::string why = errno == EWOULDBLOCK
                                  ? "another grainrender is writing " + output +
                                        " now: wait for it to end, or choose another output"
                                  : "cannot lock " + path + ": " + std::strerror(errno);
            close(descriptor);
            return grain::because(why);
        }
        struct stat held {}, named {};
        if (fstat(descriptor, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
            held.st_dev == named.st_dev)
            return std::unique_ptr<OutputLock>(new OutputLock(path, descriptor));
        close(descriptor);
    }
    return grain::because("cannot lock " + path + ": it keeps being replaced");
}

OutputLock::~OutputLock() {
    if (descriptor_ < 0) return;
    unlink(path_.c_str());
    close(descriptor_);
}

}  // namespace render
