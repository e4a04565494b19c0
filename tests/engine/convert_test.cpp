#include "engine/convert.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <thread>
#include <vector>

#include "support/fixtures.h"
#include "support/test_support.h"

namespace tolvane {
namespace {

using test::Picture;

// Every conversion runs against a private temporary folder; none may leave a
// pixel store there, nor a partial file beside its destination.
class ConvertImageTest : public ::testing::Test {
  protected:
    test::PrivateTempFolder m_temp;
    test::ScopedTempDir m_dir;
    std::string m_jpeg;

    void SetUp() override {
        m_jpeg = m_dir.File("photo.jpg");
        test::WriteJpeg(m_jpeg, test::MakePattern(40, 30, 3), 90);
    }
    void TearDown() override {
        EXPECT_TRUE(m_temp.Leftovers().empty());
        for (const std::string& name : test::ListFolder(m_dir.Path())) {
            EXPECT_EQ(std::string::npos, name.find(".part")) << name << " was left behind";
        }
    }
    int32_t Convert(const std::string& source, const std::string& destination,
                    int32_t grayscale = 0, int32_t quality = 60) {
        return ConvertImage(source.c_str(), destination.c_str(), grayscale, quality, 1, 0);
    }

    // Root writes anywhere, so the conversion runs as 'nobody' then.
    int32_t ConvertUnprivileged(const std::string& source, const std::string& destination) {
        return test::ConvertInChild(
            {.unprivileged = true, .sharedFolders = {m_dir.Path(), m_temp.Path()}},
            [&] { return Convert(source, destination); });
    }
};

TEST_F(ConvertImageTest, ChecksArgumentsBeforeTouchingAnything) {
    const std::string out = m_dir.File("out.jpg");
    struct Case {
        const char* source;
        const char* destination;
        int32_t quality, smoothing, expected;
    } cases[] = {
        {m_jpeg.c_str(), out.c_str(), 0, 0, kConvertInvalidArguments},
        {m_jpeg.c_str(), out.c_str(), 101, 0, kConvertInvalidArguments},
        {m_jpeg.c_str(), out.c_str(), 60, -1, kConvertInvalidArguments},
        {m_jpeg.c_str(), out.c_str(), 60, 101, kConvertInvalidArguments},
        {m_jpeg.c_str(), out.c_str(), INT32_MIN, 0, kConvertInvalidArguments},
        {nullptr, out.c_str(), 60, 0, kConvertInvalidArguments},
        {m_jpeg.c_str(), nullptr, 60, 0, kConvertInvalidArguments},
        {"", out.c_str(), 60, 0, kConvertSourceMissing},
        {m_jpeg.c_str(), out.c_str(), 1, 0, kConvertOk},
        {m_jpeg.c_str(), out.c_str(), 100, 100, kConvertOk},
    };
    for (const Case& c : cases) {
        unlink(out.c_str());
        EXPECT_EQ(c.expected, ConvertImage(c.source, c.destination, 0, c.quality, 1, c.smoothing))
            << c.quality << " / " << c.smoothing;
        EXPECT_EQ(c.expected == kConvertOk, test::PathExists(out));
    }
}

TEST_F(ConvertImageTest, SourcesThatCannotBeRead) {
    ASSERT_EQ(0, mkdir(m_dir.File("folder").c_str(), 0700));
    test::WriteFileBytes(m_dir.File("notes.txt"), {'h', 'e', 'l', 'l', 'o'});
    struct Case {
        std::string source;
        int32_t expected;
        const char* why;
    } cases[] = {
        {m_dir.File("missing.jpg"), kConvertSourceMissing, "nothing there"},
        {m_dir.File("folder"), kConvertNotReadable, "a folder exists but no reader opens it"},
        {m_dir.File("pho*.jpg"), kConvertNotReadable, "a pattern exists but opens as nothing"},
        {m_dir.File("notes.txt"), kConvertNotReadable, "no reader takes text"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.expected, Convert(c.source, m_dir.File("out.jpg"))) << c.why;
        EXPECT_FALSE(test::PathExists(m_dir.File("out.jpg"))) << c.why;
    }
}

TEST_F(ConvertImageTest, WritesAJpegOfTheChosenColourWhateverItsName) {
    struct Case {
        int32_t grayscale;
        int components;
    } cases[] = {{0, 3}, {1, 1}, {2, 3}, {-1, 3}};
    for (const Case& c : cases) {
        const std::string out = m_dir.File("out.png");
        ASSERT_EQ(kConvertOk, Convert(m_jpeg, out, c.grayscale));
        Picture picture = test::ReadJpeg(out);
        EXPECT_EQ(40, picture.width);
        EXPECT_EQ(30, picture.height);
        EXPECT_EQ(c.components, picture.components) << "grayscale " << c.grayscale;
    }
}

TEST_F(ConvertImageTest, DestinationsThatCannotBeWrittenCreateNothing) {
    ASSERT_EQ(0, mkdir(m_dir.File("folder").c_str(), 0700));
    struct Case {
        std::string destination;
        const char* why;
    } cases[] = {
        {"", "empty name"},
        {m_dir.File("no/such/folder/out.jpg"), "missing folder"},
        {m_dir.File("folder"), "a folder in its place"},
        {m_dir.File("folder") + "/", "a name that ends in a separator"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(kConvertWriteFailed, Convert(m_jpeg, c.destination)) << c.why;
    }
    EXPECT_EQ((std::vector<std::string>{"folder", "photo.jpg"}), test::ListFolder(m_dir.Path()));
    EXPECT_TRUE(test::ListFolder(m_dir.File("folder")).empty());
}

TEST_F(ConvertImageTest, ReadOnlyDestinationKeepsItsBytes) {
    const std::string out = m_dir.File("locked.jpg");
    test::WriteFileBytes(out, {1, 2, 3});
    ASSERT_EQ(0, chmod(out.c_str(), 0444));
    EXPECT_EQ(kConvertWriteFailed, ConvertUnprivileged(m_jpeg, out));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), test::ReadFileBytes(out));
    EXPECT_EQ((std::vector<std::string>{"locked.jpg", "photo.jpg"}),
              test::ListFolder(m_dir.Path()));
}

TEST_F(ConvertImageTest, ReplacesAnExistingDestinationAndKeepsItsMode) {
    const std::string out = m_dir.File("old.jpg");
    test::WriteFileBytes(out, std::vector<uint8_t>(100000, 0xAB));
    ASSERT_EQ(0, chmod(out.c_str(), 0640));
    ASSERT_EQ(kConvertOk, Convert(m_jpeg, out));
    EXPECT_EQ(40, test::ReadJpeg(out).width);
    struct stat st;
    ASSERT_EQ(0, stat(out.c_str(), &st));
    EXPECT_EQ(0640u, st.st_mode & 07777);
}

TEST_F(ConvertImageTest, WritesThroughALinkToItsTarget) {
    const std::string target = m_dir.File("target.jpg");
    test::WriteFileBytes(target, {1});
    ASSERT_EQ(0, symlink(target.c_str(), m_dir.File("link.jpg").c_str()));
    ASSERT_EQ(kConvertOk, Convert(m_jpeg, m_dir.File("link.jpg")));
    struct stat st;
    ASSERT_EQ(0, lstat(m_dir.File("link.jpg").c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(40, test::ReadJpeg(target).width);
}

TEST_F(ConvertImageTest, ADanglingLinkGetsItsTargetWritten) {
    ASSERT_EQ(0, symlink("made.jpg", m_dir.File("link.jpg").c_str()));
    ASSERT_EQ(kConvertOk, Convert(m_jpeg, m_dir.File("link.jpg")));
    struct stat st;
    ASSERT_EQ(0, lstat(m_dir.File("link.jpg").c_str(), &st));
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(40, test::ReadJpeg(m_dir.File("made.jpg")).width);
}

// Names near the file system's 255-byte limit leave no room for a longer
// partial name beside them; they must still convert, new or replaced.
TEST_F(ConvertImageTest, LongestNamesStillConvert) {
    const std::string out = m_dir.File(std::string(251, 'n') + ".jpg");
    ASSERT_EQ(kConvertOk, Convert(m_jpeg, out));
    ASSERT_EQ(kConvertOk, Convert(m_jpeg, out, 1));
    EXPECT_EQ(1, test::ReadJpeg(out).components);
}

// A writable file in a folder that takes no new entries: writing into the
// old file would lose it if the write failed, so the conversion fails.
TEST_F(ConvertImageTest, NoNewFileBesideItMeansTheOldOneIsLeftAlone) {
    ASSERT_EQ(0, mkdir(m_dir.File("shut").c_str(), 0700));
    const std::string out = m_dir.File("shut/old.jpg");
    test::WriteFileBytes(out, {1, 2, 3});
    ASSERT_EQ(0, chmod(out.c_str(), 0666));
    ASSERT_EQ(0, chmod(m_dir.File("shut").c_str(), 0555));
    EXPECT_EQ(kConvertWriteFailed, ConvertUnprivileged(m_jpeg, out));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), test::ReadFileBytes(out));
    EXPECT_EQ((std::vector<std::string>{"old.jpg"}), test::ListFolder(m_dir.File("shut")));
}

TEST_F(ConvertImageTest, ConvertingAFileOntoItselfLeavesItsJpeg) {
    ASSERT_EQ(kConvertOk, Convert(m_jpeg, m_jpeg, 1));
    EXPECT_EQ(1, test::ReadJpeg(m_jpeg).components);
}

TEST_F(ConvertImageTest, ConversionsOnManyThreadsShareNothing) {
    constexpr int kThreads = 6;
    std::vector<int32_t> results(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 5; ++round) {
                const int32_t r =
                    Convert(m_jpeg, m_dir.File("out" + std::to_string(t) + ".jpg"), t % 2);
                if (r != kConvertOk) results[t] = r;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(0, results[t]);
        EXPECT_EQ(t % 2 ? 1 : 3,
                  test::ReadJpeg(m_dir.File("out" + std::to_string(t) + ".jpg")).components);
    }
}

}  // namespace
}  // namespace tolvane
