// A file replaced whole or not at all. Everything is written under a
// temporary name in the target's own folder; only a complete, closed file is
// flushed to disk and renamed over the target, so a write that fails part-way
// (a full disk, a killed process) leaves the old file as it was. An AtomicFile
// that was not committed removes its temporary file when it goes. Scores,
// coordinate files, pictures and sound files are all written this way.
#pragma once

#include <filesystem>
#include <string>

namespace grain {

class AtomicFile {
public:
    // Chooses the temporary name beside target (a hidden name unique to this
    // process and object); nothing is created yet. When target is a link to
    // an existing regular file, that file is replaced and the link kept.
    explicit AtomicFile(const std::filesystem::path& target);
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();

    // The file the finished content replaces.
    const std::filesystem::path& target() const { return target_; }
    // Where the content is written, by whatever writes it (a FILE*, a
    // stream, libsndfile); it must be closed before commit.
    const std::filesystem::path& temporary() const { return temporary_; }

    // Flushes the closed temporary file to disk where the system allows and
    // renames it over the target. Returns an empty text, or why the target
    // could not be replaced; the temporary file is then gone and the target
    // is as it was.
    std::string commit();

    // Removes the temporary file now; the target stays as it was.
    void discard();

private:
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    bool committed_ = false;
};

}  // namespace grain
