#include "atomic_file.hpp"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace grain {

namespace {

long processId() {
#ifdef _WIN32
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(getpid());
#endif
}

// Writes what the system still holds of path to the disk. Windows gives no
// portable way for a closed file; the rename there is already the only step
// that can change the target.
bool syncToDisk(const std::filesystem::path& path, bool folder) {
#ifdef _WIN32
    (void)path;
    (void)folder;
    return true;
#else
    int descriptor = ::open(path.c_str(), folder ? O_RDONLY | O_DIRECTORY : O_RDONLY);
    if (descriptor < 0) return folder;  // a folder that cannot be opened is no failure of the file
    bool synced = ::fsync(descriptor) == 0 || folder;
    ::close(descriptor);
    return synced;
#endif
}

}  // namespace

AtomicFile::AtomicFile(const std::filesystem::path& target) : target_(target) {
    std::error_code error;
    // Only a link to a regular file is followed: a link to a device or a
    // folder is itself what the content replaces.
    if (std::filesystem::is_symlink(target_, error) && std::filesystem::is_regular_file(target_, error)) {
        auto resolved = std::filesystem::canonical(target_, error);
        if (!error) target_ = resolved;
    }
    static std::atomic<unsigned> counter{0};
    std::string name = ".";
    name.append(target_.filename().string()).append(".").append(std::to_string(processId()));
    name.append("-").append(std::to_string(counter++)).append(".partial");
    temporary_ = target_.parent_path() / name;
}

AtomicFile::~AtomicFile() {
    if (!committed_) discard();
}

void AtomicFile::discard() {
    std::error_code ignored;
    if (!std::filesystem::is_directory(temporary_, ignored)) std::filesystem::remove(temporary_, ignored);
}

std::string AtomicFile::commit() {
    if (!syncToDisk(temporary_, false)) {
        std::string why = "cannot write " + target_.string() + ": " + std::strerror(errno != 0 ? errno : EIO);
        discard();
        return why;
    }
    std::error_code error;
    std::filesystem::rename(temporary_, target_, error);
    if (error) {
        discard();
        return "cannot replace " + target_.string() + ": " + error.message();
    }
    committed_ = true;
    auto folder = target_.parent_path();
    syncToDisk(folder.empty() ? std::filesystem::path(".") : folder, true);
    return "";
}

}  // namespace grain
