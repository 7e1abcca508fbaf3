#include "atomic_file.hpp"

#include <gtest/gtest.h>

#include "test_support.hpp"

namespace grain {
namespace {
using testing::TempFolder;
using testing::readText;
using testing::writeText;

namespace fs = std::filesystem;

std::size_t entries(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(AtomicFile, ReplacesTheTargetOnlyWhenCommitted) {
    TempFolder folder;
    const fs::path score = folder.path() / "VELAROOKglisson.sco";
    writeText(score, "edited by hand\n");
    {
        AtomicFile file(score);  // given up before commit: the old bytes stay, nothing beside them
        writeText(file.temporary(), "half a sc");
    }
    EXPECT_EQ(readText(score), "edited by hand\n");
    EXPECT_EQ(entries(folder.path()), 1u);

    AtomicFile file(score);
    writeText(file.temporary(), "new score\n");
    EXPECT_TRUE(file.commit().ok());
    EXPECT_EQ(readText(score), "new score\n");
    EXPECT_EQ(entries(folder.path()), 1u);
}

TEST(AtomicFile, AFailedRenameLeavesTheTargetAndNoTemporaryFile) {
    TempFolder folder;
    const fs::path target = folder.path() / "taken";
    fs::create_directory(target);
    writeText(target / "inside", "kept");  // a folder that is not empty cannot be replaced by a file
    AtomicFile file(target);
    writeText(file.temporary(), "content");
    EXPECT_NE(file.commit().reason().find("cannot replace"), std::string::npos);
    EXPECT_FALSE(fs::exists(file.temporary()));
    EXPECT_EQ(readText(target / "inside"), "kept");
    EXPECT_EQ(entries(folder.path()), 1u);
}

TEST(AtomicFile, ALinkKeepsPointingAtTheReplacedFile) {
    TempFolder folder;
    writeText(folder.path() / "real.sco", "old");
    fs::create_symlink("real.sco", folder.path() / "link.sco");
    AtomicFile file(folder.path() / "link.sco");
    writeText(file.temporary(), "new");
    EXPECT_TRUE(file.commit().ok());
    EXPECT_TRUE(fs::is_symlink(folder.path() / "link.sco"));
    EXPECT_EQ(readText(folder.path() / "real.sco"), "new");
}

// A group is placed whole: when its last file cannot be placed, the files
// already placed give way to the old ones again, and a file to be removed stays.
TEST(AtomicFileGroup, PlacesEveryFileOrLeavesEveryTargetAsItWas) {
    for (bool blocked : {true, false}) {
        TempFolder folder;
        writeText(folder.path() / "a.txt", "old a");
        writeText(folder.path() / "stale.txt", "stale");
        writeText(folder.path() / "elsewhere.txt", "kept");
        fs::create_symlink("elsewhere.txt", folder.path() / "link.txt");  // the link goes, not the file
        if (blocked) {
            fs::create_directories(folder.path() / "c.txt" / "inside");  // no file can take its place
        }
        AtomicFileGroup group;
        for (const char* name : {"a.txt", "b.txt", "c.txt"}) writeText(group.add(folder.path() / name).temporary(), name);
        group.remove(folder.path() / "stale.txt");
        group.remove(folder.path() / "link.txt");
        const std::string why = group.commit().reason();
        if (blocked) {
            EXPECT_NE(why.find("cannot replace " + (folder.path() / "c.txt").string()), std::string::npos) << why;
            EXPECT_EQ(readText(folder.path() / "a.txt"), "old a");
            EXPECT_EQ(readText(folder.path() / "stale.txt"), "stale");
            EXPECT_FALSE(fs::exists(folder.path() / "b.txt"));
            EXPECT_TRUE(fs::is_symlink(folder.path() / "link.txt"));
            EXPECT_EQ(entries(folder.path()), 5u);  // a, stale, the link and its file, the folder c: no temporary
        } else {
            EXPECT_EQ(why, "");
            EXPECT_EQ(readText(folder.path() / "a.txt"), "a.txt");
            EXPECT_EQ(readText(folder.path() / "c.txt"), "c.txt");
            EXPECT_FALSE(fs::exists(folder.path() / "stale.txt"));
            EXPECT_FALSE(fs::exists(fs::symlink_status(folder.path() / "link.txt")));
            EXPECT_EQ(readText(folder.path() / "elsewhere.txt"), "kept");
            EXPECT_EQ(entries(folder.path()), 4u);  // a.txt, b.txt, c.txt and elsewhere.txt
        }
    }
}

TEST(AtomicFile, ALinkToADeviceIsReplacedItselfAndTheDeviceLeftAlone) {
    // Followed, it would put the temporary file beside the device and the
    // content in its place.
    TempFolder folder;
    fs::create_symlink("/dev/null", folder.path() / "link.sco");
    AtomicFile file(folder.path() / "link.sco");
    EXPECT_EQ(file.temporary().parent_path(), folder.path());
    writeText(file.temporary(), "new");
    EXPECT_TRUE(file.commit().ok());
    EXPECT_FALSE(fs::is_symlink(folder.path() / "link.sco"));
    EXPECT_EQ(readText(folder.path() / "link.sco"), "new");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

}  // namespace
}  // namespace grain
