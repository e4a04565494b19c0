#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tiffio.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "engine/convert.h"
#include "support/fixtures.h"
#include "support/test_support.h"

namespace tolvane {
namespace {

// ---- sources of every kind the chain reads ----------------------------------

void WriteJpegSource(const std::string& path, int width, int height) {
    test::WriteJpeg(path, test::MakePattern(width, height, 3), 90);
}

void WritePngSource(const std::string& path, int width, int height) {
    test::PngFixture fixture;
    fixture.width = width;
    fixture.height = height;
    fixture.colorType = 6;  // RGBA: a 32-bit store, copied to 24 bits for the JPEG
    const test::Picture rgb = test::MakePattern(width, height, 3);
    for (size_t i = 0; i < rgb.samples.size(); i += 3) {
        fixture.samples.insert(fixture.samples.end(),
                               {rgb.samples[i], rgb.samples[i + 1], rgb.samples[i + 2], 200});
    }
    test::WritePng(path, fixture);
}

void WriteBmpSource(const std::string& path, int width, int height) {
    test::WriteFileBytes(path, test::MakeBmp({.width = width, .height = height}));
}

void WriteTiffSource(const std::string& path, int width, int height) {
    test::WriteTiff(path,
                    {"lzw-strips", "", test::Colour::kRgb, COMPRESSION_LZW, test::Layout::kStrips,
                     static_cast<uint32_t>(width), static_cast<uint32_t>(height)});
}

// Palette indices: an 8-bit store, copied to 24 bits for the JPEG.
void WritePcxSource(const std::string& path, int width, int height) {
    const uint16_t bytesPerLine = static_cast<uint16_t>((width + 1) & ~1);
    std::vector<test::Bytes> lines;
    for (int y = 0; y < height; ++y) {
        test::Bytes line(bytesPerLine);
        for (int x = 0; x < bytesPerLine; ++x) line[x] = static_cast<uint8_t>(x * 7 + y * 3);
        lines.push_back(line);
    }
    test::WriteFileBytes(
        path, test::WithPalette(test::EncodedFile({.xMax = static_cast<uint16_t>(width - 1),
                                                   .yMax = static_cast<uint16_t>(height - 1),
                                                   .bytesPerLine = bytesPerLine},
                                                  lines)));
}

// A pack has one size whatever is asked: the 768 x 512 base image is read.
void WritePhotoCdSource(const std::string& path, int, int) {
    test::Bytes pack = test::MakePack();
    test::FillUniform(pack, 2, 100, 156, 137);
    test::WriteFileBytes(path, pack);
}

struct SourceKind {
    const char* name;
    void (*write)(const std::string& path, int width, int height);
    bool sized;  // false: the picture has a fixed, large size
};
void PrintTo(const SourceKind& kind, std::ostream* out) {
    *out << kind.name;
}

const SourceKind kSourceKinds[] = {
    {"jpeg", WriteJpegSource, true}, {"png", WritePngSource, true},
    {"bmp", WriteBmpSource, true},   {"tiff", WriteTiffSource, true},
    {"pcx", WritePcxSource, true},   {"photocd", WritePhotoCdSource, false},
};

// What the destination is before a conversion that fails.
enum class Destination { kNew, kOld, kSource };
const Destination kDestinations[] = {Destination::kNew, Destination::kOld, Destination::kSource};
const char* NameOf(Destination d) {
    return d == Destination::kNew   ? "new destination"
           : d == Destination::kOld ? "old destination"
                                    : "the source itself";
}

const std::vector<uint8_t> kOldBytes(3000, 0x5A);

// Every case runs in its own folder beside a private temporary folder, so a
// listing of each shows everything a conversion left.
class ConvertFaultTest : public ::testing::TestWithParam<SourceKind> {
  protected:
    test::PrivateTempFolder m_temp;
    test::ScopedTempDir m_dir;

    // Settings that keep the JPEG large for its picture: no optimized tables.
    static int32_t Convert(const std::string& source, const std::string& destination) {
        return ConvertImage(source.c_str(), destination.c_str(), 0, 100, 0, 0);
    }
};

// ---- a full disk --------------------------------------------------------------

// The file-size limit makes every write past it fail, as a full disk does.
// An 8 x 8 picture needs at most 256 bytes of pixel store but over 600 bytes
// of JPEG with the standard tables, so only the JPEG hits a 400-byte limit;
// a 64 x 64 picture needs a store of 4096 bytes or more, over a 2048-byte
// limit. Photo CD packs are too large for the first.
struct DiskFullCase {
    const char* where;
    int side;
    uint64_t limit;
    int32_t expected;
};
const DiskFullCase kDiskFullCases[] = {
    {"while writing the JPEG", 8, 400, kConvertWriteFailed},
    {"while filling the pixel store", 64, 2048, kConvertNotReadable},
};

using DiskFullTest = ConvertFaultTest;

TEST_P(DiskFullTest, FailsAndLeavesEverythingAsItWas) {
    const SourceKind& kind = GetParam();
    for (const DiskFullCase& c : kDiskFullCases) {
        if (!kind.sized && c.expected == kConvertWriteFailed) continue;
        for (Destination d : kDestinations) {
            SCOPED_TRACE(std::string(c.where) + ", " + NameOf(d));
            test::ScopedTempDir place;
            const std::string source = place.File("source");
            kind.write(source, c.side, c.side);
            const std::string destination =
                d == Destination::kSource ? source : place.File("out.jpg");
            if (d == Destination::kOld) test::WriteFileBytes(destination, kOldBytes);
            const std::vector<std::string> listing = test::ListFolder(place.Path());
            const std::vector<uint8_t> before = test::ReadFileBytes(destination);

            // Without the limit the same conversion succeeds, and its JPEG is
            // past the limit when that is where it should fail.
            const std::string control = m_dir.File("control.jpg");
            ASSERT_EQ(kConvertOk, Convert(source, control));
            if (c.expected == kConvertWriteFailed) {
                ASSERT_GT(test::ReadFileBytes(control).size(), c.limit);
            }

            EXPECT_EQ(c.expected, test::ConvertInChild({.fileSizeLimit = c.limit}, [&] {
                          return Convert(source, destination);
                      }));
            EXPECT_EQ(listing, test::ListFolder(place.Path())) << "no partial file stays";
            EXPECT_TRUE(before == test::ReadFileBytes(destination)) << "the old bytes are kept";
            EXPECT_EQ(d != Destination::kNew, test::PathExists(destination));
            EXPECT_TRUE(test::ListFolder(m_temp.Path()).empty()) << "no pixel store stays";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, DiskFullTest, ::testing::ValuesIn(kSourceKinds),
                         test::CaseName());

// ---- no temporary folder to make the pixel store in ---------------------------

enum class TempFault { kMissing, kShut, kAFile };
struct TempFaultCase {
    const char* name;
    TempFault fault;
};
const TempFaultCase kTempFaults[] = {
    {"missing", TempFault::kMissing},
    {"present but not writable", TempFault::kShut},
    {"a file in its place", TempFault::kAFile},
};

using NoTempFolderTest = ConvertFaultTest;

// Run as 'nobody' when the suite runs as root, since root writes into a
// shut folder; the destination is one that 'nobody' could replace, so only
// the missing pixel store stops the conversion.
TEST_P(NoTempFolderTest, EverySourceIsNotReadableAndNothingIsWritten) {
    const std::string source = m_dir.File("source");
    GetParam().write(source, 24, 16);
    test::ScopedTempDir faults;
    const test::ChildSetup asNobody = {
        .unprivileged = true, .sharedFolders = {m_dir.Path(), m_temp.Path(), faults.Path()}};
    for (const TempFaultCase& c : kTempFaults) {
        const std::string folder = faults.File(c.name);
        if (c.fault == TempFault::kShut) {
            ASSERT_EQ(0, mkdir(folder.c_str(), 0555));
        } else if (c.fault == TempFault::kAFile) {
            test::WriteFileBytes(folder, {1});
        }
        for (Destination d : kDestinations) {
            SCOPED_TRACE(std::string("temporary folder ") + c.name + ", " + NameOf(d));
            const std::string destination =
                d == Destination::kSource ? source : m_dir.File("out.jpg");
            unlink(m_dir.File("out.jpg").c_str());
            if (d == Destination::kOld) {
                test::WriteFileBytes(destination, kOldBytes);
                ASSERT_EQ(0, chmod(destination.c_str(), 0666));
            }
            const std::vector<std::string> listing = test::ListFolder(m_dir.Path());
            const std::vector<uint8_t> before = test::ReadFileBytes(destination);

            EXPECT_EQ(kConvertNotReadable, test::ConvertInChild(asNobody, [&] {
                          setenv("TMPDIR", folder.c_str(), 1);
                          return Convert(source, destination);
                      }));
            EXPECT_EQ(listing, test::ListFolder(m_dir.Path()));
            EXPECT_TRUE(before == test::ReadFileBytes(destination)) << "the old bytes are kept";
            EXPECT_TRUE(test::ListFolder(folder).empty());
        }
    }
    // With a folder it can write, the same user converts the same source.
    EXPECT_EQ(kConvertOk, test::ConvertInChild(
                              asNobody, [&] { return Convert(source, m_dir.File("out.jpg")); }));
    EXPECT_TRUE(test::ListFolder(m_temp.Path()).empty());
}

INSTANTIATE_TEST_SUITE_P(Sources, NoTempFolderTest, ::testing::ValuesIn(kSourceKinds),
                         test::CaseName());

// ---- a process killed half-way ----------------------------------------------

bool IsPartialFile(const std::string& name) {
    return name.size() > 5 && name[0] == '.' && name.compare(name.size() - 5, 5, ".part") == 0;
}

// When to kill: once the pixel store exists (reading), or once the partial
// JPEG exists beside the destination (writing).
struct KillCase {
    const char* name;
    bool whileWriting;
};
const KillCase kKillCases[] = {{"while reading", false}, {"while writing", true}};

class KilledConversionTest : public ::testing::Test {
  protected:
    // Large enough that the child is still busy when the parent sees it
    // start: made once, it takes a while to write.
    static void SetUpTestSuite() {
        s_sources = new test::ScopedTempDir;
        WriteJpegSource(Large(), 3000, 3000);
    }
    static void TearDownTestSuite() {
        delete s_sources;
        s_sources = nullptr;
    }
    static std::string Large() { return s_sources->File("large.jpg"); }

    test::PrivateTempFolder m_temp;
    test::ScopedTempDir m_dir;

  private:
    static inline test::ScopedTempDir* s_sources = nullptr;
};

TEST_F(KilledConversionTest, TheOldDestinationSurvivesAndOnlyOrphansStay) {
    for (const KillCase& c : kKillCases) {
        SCOPED_TRACE(c.name);
        const std::string destination = m_dir.File("out.jpg");
        test::WriteFileBytes(destination, kOldBytes);

        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            _exit(ConvertImage(Large().c_str(), destination.c_str(), 0, 100, 1, 0) == kConvertOk
                      ? 0
                      : 1);
        }
        // Polled, not timed: the child is killed the moment it is seen at
        // work, and the deadline only keeps a hung child from hanging us.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        bool started = false;
        bool ended = false;
        int status = 0;
        while (!started && !ended && std::chrono::steady_clock::now() < deadline) {
            if (c.whileWriting) {
                for (const std::string& name : test::ListFolder(m_dir.Path())) {
                    started = started || IsPartialFile(name);
                }
            } else {
                started = !m_temp.Leftovers().empty();
            }
            if (!started) {
                ended = waitpid(child, &status, WNOHANG) == child;
                if (!ended) std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        }
        if (!ended) {
            kill(child, SIGKILL);
            ASSERT_EQ(child, waitpid(child, &status, 0));
        }
        ASSERT_TRUE(started) << "the conversion was never seen at work";
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "the conversion ended before the kill";

        EXPECT_TRUE(kOldBytes == test::ReadFileBytes(destination)) << "the old bytes are kept";
        std::vector<std::string> orphans;
        for (const std::string& name : test::ListFolder(m_dir.Path())) {
            if (name == "out.jpg") continue;
            EXPECT_TRUE(IsPartialFile(name)) << name;
            orphans.push_back(m_dir.File(name));
        }
        if (c.whileWriting) {
            EXPECT_EQ(1u, orphans.size()) << "the kill landed while the JPEG was written";
        }
        EXPECT_EQ(m_temp.Leftovers(), test::ListFolder(m_temp.Path()));
        for (const std::string& name : m_temp.Leftovers()) {
            orphans.push_back(m_temp.Path() + "/" + name);
        }

        // What a killed run leaves does not stand in the way of the next one.
        const std::string small = m_dir.File("small.jpg");
        WriteJpegSource(small, 20, 10);
        EXPECT_EQ(kConvertOk, ConvertImage(small.c_str(), destination.c_str(), 0, 60, 1, 0));
        EXPECT_EQ(20, test::ReadJpegInfo(destination).width);
        unlink(small.c_str());
        for (const std::string& path : orphans) {
            EXPECT_EQ(0, unlink(path.c_str())) << path;
        }
        EXPECT_EQ(std::vector<std::string>{"out.jpg"}, test::ListFolder(m_dir.Path()));
        EXPECT_TRUE(test::ListFolder(m_temp.Path()).empty());
    }
}

}  // namespace
}  // namespace tolvane
