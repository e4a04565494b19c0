#include "engine/file_helpers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "support/test_support.h"

namespace tolvane {
namespace {

using test::PrivateTempFolder;
using test::ScopedTempDir;
using test::WriteFileBytes;

TEST(FileExistsTest, AnswersForEveryKindOfEntry) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("photo.jpg"), {1, 2, 3});
    ASSERT_EQ(0, mkdir(dir.File("folder").c_str(), 0700));
    ASSERT_EQ(0, symlink("nowhere", dir.File("dangling").c_str()));

    struct Case {
        std::string path;
        bool exists;
        const char* why;
    } cases[] = {
        {"", false, "an empty path names nothing"},
        {dir.File("photo.jpg"), true, "a file"},
        {dir.File("folder"), true, "a folder counts as existing"},
        {dir.File("dangling"), true, "a link is an entry even when its target is gone"},
        {dir.File("missing.jpg"), false, "nothing there"},
        {dir.File("*.jpg"), true, "a pattern matching a file"},
        {dir.File("ph?to.jpg"), true, "a single-character wildcard"},
        {dir.File("[op]hoto.jpg"), true, "a bracket pattern"},
        {dir.File("*.png"), false, "a pattern matching nothing"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.exists, FileExists(c.path)) << c.why << ": " << c.path;
    }
}

TEST(FileHelpersTest, DeleteFileIfExistsIsTrueWhenNothingIsLeft) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("a"), {1});
    EXPECT_TRUE(DeleteFileIfExists(dir.File("a")));
    EXPECT_FALSE(test::PathExists(dir.File("a")));
    EXPECT_TRUE(DeleteFileIfExists(dir.File("a")));
}

TEST(FileHelpersTest, TrailingSlashHelpers) {
    struct Case {
        std::string in, added, stripped;
    } cases[] = {
        {"", "/", ""},
        {"/", "/", ""},
        {"/tmp", "/tmp/", "/tmp"},
        {"/tmp/", "/tmp/", "/tmp"},
        {"/照片/缩小后图", "/照片/缩小后图/", "/照片/缩小后图"},
    };
    for (const Case& c : cases) {
        std::string added = c.in;
        AddTrailingSlash(added);
        EXPECT_EQ(c.added, added);
        std::string stripped = c.in;
        StripTrailingSlash(stripped);
        EXPECT_EQ(c.stripped, stripped);
    }
}

TEST(FileHelpersTest, IsDirectoryAcceptsOneTrailingSlash) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("file"), {1});
    EXPECT_TRUE(IsDirectory(dir.Path()));
    EXPECT_TRUE(IsDirectory(dir.Path() + "/"));
    EXPECT_TRUE(IsDirectory("/"));
    EXPECT_FALSE(IsDirectory(dir.File("file")));
    EXPECT_FALSE(IsDirectory(dir.File("missing")));
}

TEST(MakeTempFileNameTest, SkipsEveryTakenName) {
    PrivateTempFolder temp;
    WriteFileBytes(temp.Path() + "/KORVIMAP0.tmp", {});
    ASSERT_EQ(0, mkdir((temp.Path() + "/KORVIMAP1.tmp").c_str(), 0700));
    std::string path;
    ASSERT_TRUE(MakeTempFileName("KORVIMAP", path));
    EXPECT_EQ(temp.Path() + "/KORVIMAP2.tmp", path);
}

TEST(MakeTempFileNameTest, NeedsAnExistingTemporaryFolder) {
    PrivateTempFolder temp;
    std::string path;
    setenv("TMPDIR", (temp.Path() + "/gone").c_str(), 1);
    EXPECT_FALSE(MakeTempFileName("KORVIMAP", path));
    test::WriteFileBytes(temp.Path() + "/plain", {});
    setenv("TMPDIR", (temp.Path() + "/plain").c_str(), 1);
    EXPECT_FALSE(MakeTempFileName("KORVIMAP", path));
    // An empty TMPDIR means the system default.
    setenv("TMPDIR", "", 1);
    ASSERT_TRUE(MakeTempFileName("KORVIMAP", path));
    EXPECT_EQ(0u, path.rfind("/tmp/KORVIMAP", 0));
}

TEST(StreamSizeTest, MeasuresFromAnyPositionAndRewinds) {
    ScopedTempDir dir;
    WriteFileBytes(dir.File("data"), std::vector<uint8_t>(5000, 7));
    std::FILE* f = std::fopen(dir.File("data").c_str(), "rb");
    ASSERT_NE(nullptr, f);
    ASSERT_EQ(0, std::fseek(f, 2500, SEEK_SET));
    EXPECT_EQ(5000, StreamSize(f));
    EXPECT_EQ(0, std::ftell(f));
    std::fclose(f);
    EXPECT_EQ(0, StreamSize(nullptr));
}

}  // namespace
}  // namespace tolvane
