// A file replaced whole or not at all. Everything is written under a
// temporary name in the target's own folder; only a complete, closed file is
// flushed to disk and renamed over the target, so a write that fails part-way
// (a full disk, a killed process) leaves the old file as it was. An AtomicFile
// that was not committed removes its temporary file when it goes. Scores,
// coordinate files, pictures and sound files are all written this way.
// Files that belong together (a flock's coordinate files and its record) are
// placed by an AtomicFileGroup: all of them, or none.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "outcome.hpp"

namespace grain {

class AtomicFile {
public:
    // Chooses the temporary name beside target (a hidden name unique to this
    // process and object); nothing is created yet. When target is a link to
    // an existing regular file, that file is replaced and the link kept.
    explicit AtomicFile(const std::filesystem::path& target) : AtomicFile(target, true) {}
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();

    // The file the finished content replaces.
    const std::filesystem::path& target() const { return target_; }
    // Where the content is written, by whatever writes it (a FILE*, a
    // stream, libsndfile); it must be closed before commit.
    const std::filesystem::path& temporary() const { return temporary_; }

    // Flushes the closed temporary file to disk where the system allows and
    // renames it over the target. Done, or why the target could not be
    // replaced; the temporary file is then gone and the target is as it was.
    Outcome<> commit();

    // Removes the temporary file now; the target stays as it was.
    void discard();

private:
    friend class AtomicFileGroup;
    // followLink unset: a link is itself the target (a file to be removed).
    AtomicFile(const std::filesystem::path& target, bool followLink);
    // Flushes the closed temporary file to disk; on failure removes it and
    // gives why.
    Outcome<> flushTemporary();
    // Where the group keeps the file that target held until all are placed.
    std::filesystem::path previous() const;

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    bool committed_ = false;
};

// Files replaced together: every one in place, or every target as it was.
// Each file is written under its temporary name; commit then moves every
// target's old file aside, places the new ones and removes the old ones only
// when all are in place. When one cannot be placed, the files already placed
// are taken back out and the old ones put back.
class AtomicFileGroup {
public:
    AtomicFileGroup() = default;
    AtomicFileGroup(const AtomicFileGroup&) = delete;
    AtomicFileGroup& operator=(const AtomicFileGroup&) = delete;

    // A file of the group: write its content to the returned file's temporary().
    AtomicFile& add(const std::filesystem::path& target);
    // A file that goes when the group is placed, and stays when it is not (a
    // link goes itself, not the file it points to).
    void remove(const std::filesystem::path& target);

    // Places the group. Done, or why it could not be placed; every target is
    // then as it was and no temporary file is left.
    Outcome<> commit();

    // Removes every temporary file now; the targets stay as they were.
    void discard();

private:
    std::vector<std::unique_ptr<AtomicFile>> files_;
    std::vector<std::unique_ptr<AtomicFile>> removals_;
};

}  // namespace grain
