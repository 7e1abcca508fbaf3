#include "atomic_file.hpp"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

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

AtomicFile::AtomicFile(const std::filesystem::path& target, bool followLink) : target_(target) {
    std::error_code error;
    // Only a link to a regular file is followed: a link to a device or a
    // folder is itself what the content replaces.
    if (followLink && std::filesystem::is_symlink(target_, error) && std::filesystem::is_regular_file(target_, error)) {
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

Outcome<> AtomicFile::flushTemporary() {
    errno = 0;
    if (syncToDisk(temporary_, false)) return {};
    std::string why = "cannot write " + target_.string() + ": " + std::strerror(errno != 0 ? errno : EIO);
    discard();
    return because(why);
}

std::filesystem::path AtomicFile::previous() const {
    return temporary_.parent_path() / (temporary_.stem().string() + ".previous");
}

Outcome<> AtomicFile::commit() {
    if (Outcome<> flushed = flushTemporary(); !flushed) return flushed;
    std::error_code error;
    std::filesystem::rename(temporary_, target_, error);
    if (error) {
        discard();
        return because("cannot replace " + target_.string() + ": " + error.message());
    }
    committed_ = true;
    auto folder = target_.parent_path();
    syncToDisk(folder.empty() ? std::filesystem::path(".") : folder, true);
    return {};
}

AtomicFile& AtomicFileGroup::add(const std::filesystem::path& target) {
    files_.push_back(std::make_unique<AtomicFile>(target));
    return *files_.back();
}

void AtomicFileGroup::remove(const std::filesystem::path& target) {
    removals_.push_back(std::unique_ptr<AtomicFile>(new AtomicFile(target, false)));
}

void AtomicFileGroup::discard() {
    for (auto& file : files_) file->discard();
}

Outcome<> AtomicFileGroup::commit() {
    for (auto& file : files_) {
        if (Outcome<> flushed = file->flushTemporary(); !flushed) {
            discard();
            return flushed;
        }
    }
    // What has been done so far, to be undone when a step fails: a target's
    // old file moved aside (to be put back) and a new file placed (to be
    // taken out again), in order.
    struct Step {
        const AtomicFile* file;
        bool movedAside;
        bool placed;
    };
    std::vector<Step> done;
    auto undo = [&](std::string why) -> Outcome<> {
        std::error_code ignored;
        for (auto step = done.rbegin(); step != done.rend(); ++step) {
            if (step->placed) std::filesystem::remove(step->file->target_, ignored);
            if (step->movedAside) std::filesystem::rename(step->file->previous(), step->file->target_, ignored);
        }
        for (auto& file : files_) file->committed_ = false;
        discard();
        return because(std::move(why));
    };
    // An old file that stands where a new one goes is moved aside first; a
    // folder in its place is left, and the rename of the new file reports it.
    // Whether one was moved, or why it could not be.
    auto moveAside = [&](const AtomicFile& file) -> Outcome<bool> {
        std::error_code error;
        auto status = std::filesystem::symlink_status(file.target_, error);
        if (error || !std::filesystem::exists(status) || std::filesystem::is_directory(status)) return false;
        std::filesystem::rename(file.target_, file.previous(), error);
        if (error) return because("cannot replace " + file.target_.string() + ": " + error.message());
        return true;
    };
    for (auto& removal : removals_) {
        Outcome<bool> moved = moveAside(*removal);
        if (!moved) return undo(moved.reason());
        done.push_back({removal.get(), *moved, false});
    }
    for (auto& file : files_) {
        Outcome<bool> moved = moveAside(*file);
        if (!moved) return undo(moved.reason());
        done.push_back({file.get(), *moved, false});
        std::error_code error;
        std::filesystem::rename(file->temporary_, file->target_, error);
        if (error) return undo("cannot replace " + file->target_.string() + ": " + error.message());
        done.back().placed = true;
        file->committed_ = true;
    }
    std::error_code ignored;
    for (const Step& step : done)
        if (step.movedAside) std::filesystem::remove(step.file->previous(), ignored);
    std::vector<std::filesystem::path> folders;
    for (auto& file : files_) {
        auto folder = file->target_.parent_path();
        if (folder.empty()) folder = ".";
        if (std::find(folders.begin(), folders.end(), folder) != folders.end()) continue;
        folders.push_back(folder);
        syncToDisk(folder, true);
    }
    return {};
}

}  // namespace grain
