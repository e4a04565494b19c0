#include "engine/mapped_temp_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <barrier>
#include <set>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace tolvane {
namespace {

using test::PrivateTempFolder;

off_t FileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

TEST(MappedTempFileTest, MakesAZeroedFileOfTheSizeAndDeletesItOnRequest) {
    PrivateTempFolder temp;
    MappedTempFile store;
    ASSERT_TRUE(store.Allocate(10000, kTempPrefix));
    EXPECT_EQ(temp.Path() + "/KORVIMAP0.tmp", store.Path());
    EXPECT_EQ(10000, FileSize(store.Path()));
    ASSERT_NE(nullptr, store.Data());
    EXPECT_TRUE(std::all_of(store.Data(), store.Data() + 10000, [](uint8_t b) { return b == 0; }));
    store.Data()[9999] = 42;  // the whole view is writable
    const std::string path = store.Path();
    store.Release(true);
    EXPECT_FALSE(test::PathExists(path));
    EXPECT_EQ(nullptr, store.Data());
    EXPECT_EQ(0u, store.Size());
}

TEST(MappedTempFileTest, WritesReachTheFile) {
    PrivateTempFolder temp;
    MappedTempFile store;
    ASSERT_TRUE(store.Allocate(3, kTempPrefix));
    store.Data()[0] = 'a';
    store.Data()[2] = 'c';
    store.Flush();
    EXPECT_EQ((std::vector<uint8_t>{'a', 0, 'c'}), test::ReadFileBytes(store.Path()));
    store.Release(true);
}

TEST(MappedTempFileTest, DestructionAloneKeepsTheFile) {
    PrivateTempFolder temp;
    std::string path;
    {
        MappedTempFile store;
        ASSERT_TRUE(store.Allocate(16, kTempPrefix));
        path = store.Path();
    }
    EXPECT_TRUE(test::PathExists(path));
    // The kept file only moves the next name up.
    MappedTempFile next;
    ASSERT_TRUE(next.Allocate(16, kTempPrefix));
    EXPECT_EQ(temp.Path() + "/KORVIMAP1.tmp", next.Path());
    next.Release(true);
}

TEST(MappedTempFileTest, RefusesEmptyRequestsWithoutMakingAFile) {
    PrivateTempFolder temp;
    MappedTempFile store;
    EXPECT_FALSE(store.Allocate(0, kTempPrefix));
    EXPECT_FALSE(store.Allocate(16, ""));
    EXPECT_FALSE(store.Allocate(16, nullptr));
    EXPECT_TRUE(test::ListFolder(temp.Path()).empty());
}

TEST(MappedTempFileTest, FailsCleanlyWithoutATemporaryFolder) {
    PrivateTempFolder temp;
    setenv("TMPDIR", (temp.Path() + "/missing").c_str(), 1);
    MappedTempFile store;
    EXPECT_FALSE(store.Allocate(16, kTempPrefix));
    EXPECT_EQ(nullptr, store.Data());
}

TEST(MappedTempFileTest, MoveHandsOverTheFile) {
    PrivateTempFolder temp;
    MappedTempFile first;
    ASSERT_TRUE(first.Allocate(8, kTempPrefix));
    first.Data()[0] = 9;
    MappedTempFile second = std::move(first);
    EXPECT_EQ(nullptr, first.Data());
    EXPECT_EQ(9, second.Data()[0]);
    first.Release(true);  // the moved-from object owns nothing to delete
    EXPECT_TRUE(test::PathExists(second.Path()));
    second.Release(true);
    EXPECT_TRUE(temp.Leftovers().empty());
}

// Many threads claiming names in one folder at once: every buffer gets a file
// of its own, because a name is taken by creating it exclusively.
TEST(MappedTempFileTest, ConcurrentAllocationsNeverShareAFile) {
    PrivateTempFolder temp;
    constexpr int kThreads = 8;
    constexpr int kPerThread = 25;
    std::vector<std::vector<std::string>> paths(kThreads);
    // Nobody releases before everybody has allocated, so every name that
    // was handed out is held at the same moment.
    std::barrier allAllocated(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &paths, &allAllocated] {
            std::vector<MappedTempFile> stores(kPerThread);
            for (auto& store : stores) {
                if (store.Allocate(64, kTempPrefix)) {
                    store.Data()[0] = static_cast<uint8_t>(t);
                    paths[t].push_back(store.Path());
                }
            }
            allAllocated.arrive_and_wait();
            for (auto& store : stores) {
                if (store.Data() != nullptr && store.Data()[0] != t) {
                    paths[t].push_back("overwritten by another thread");
                }
                store.Release(true);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    std::set<std::string> distinct;
    size_t total = 0;
    for (const auto& list : paths) {
        total += list.size();
        distinct.insert(list.begin(), list.end());
    }
    EXPECT_EQ(size_t{kThreads * kPerThread}, total);
    EXPECT_EQ(total, distinct.size());
    EXPECT_TRUE(temp.Leftovers().empty());
}

}  // namespace
}  // namespace tolvane
