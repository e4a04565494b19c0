#include "engine/codecs/photocd_reader.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <ostream>
#include <string>
#include <vector>

#include "support/fixtures.h"
#include "support/test_support.h"

namespace tolvane {
namespace {

using test::Bytes;
using test::FillImage;
using test::FillUniform;
using test::kOneMiB;
using test::kPackLayouts;
using test::MakePack;
using test::PackLayout;
using test::PrivateTempFolder;
using test::ScopedTempDir;
using test::WriteFileBytes;

struct Rgb {
    uint8_t red, green, blue;
    bool operator==(const Rgb&) const = default;
};
std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << '(' << int(c.red) << ", " << int(c.green) << ", " << int(c.blue) << ')';
}
Rgb PixelAt(const ImageBuffer& image, int x, int y) {
    const uint8_t* p = image.Row(y) + 3 * x;
    return {p[0], p[1], p[2]};
}

using test::g_progress;
using test::ProgressEvent;
using test::RecordProgress;

class PhotoCdReaderTest : public ::testing::Test {
  protected:
    std::string Write(const Bytes& bytes) {
        const std::string path = m_dir.File("in.pcd");
        WriteFileBytes(path, bytes);
        return path;
    }

    PrivateTempFolder m_temp;
    ScopedTempDir m_dir;
};

// ---- colour conversion -----------------------------------------------------

struct ColourCase {
    const char* name;
    uint8_t y, c1, c2;
    Rgb expected;
};
void PrintTo(const ColourCase& c, std::ostream* out) {
    *out << c.name;
}

class PhotoCdColour : public PhotoCdReaderTest, public ::testing::WithParamInterface<ColourCase> {};

TEST_P(PhotoCdColour, EveryPixelGetsTheColour) {
    const ColourCase& c = GetParam();
    Bytes pack = MakePack();
    FillUniform(pack, 0, c.y, c.c1, c.c2);
    ImageBuffer image;
    PhotoCdReader reader;
    ASSERT_EQ(reader.Open(Write(pack).c_str(), &image, 0, nullptr), 1);
    ASSERT_EQ(reader.Decode(), 1);
    ASSERT_EQ(image.BitsPerPixel(), 24u);
    for (int y = 0; y < image.Height(); ++y) {
        for (int x = 0; x < image.Width(); ++x) {
            ASSERT_EQ(PixelAt(image, x, y), c.expected) << "x " << x << " y " << y;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, PhotoCdColour,
                         ::testing::Values(
                             // Neutral chroma (156, 137) gives grey, floor(1.407488 Y + 0.5).
                             ColourCase{"neutral-y0", 0, 156, 137, {0, 0, 0}},
                             ColourCase{"neutral-y100", 100, 156, 137, {141, 141, 141}},
                             ColourCase{"neutral-y180", 180, 156, 137, {253, 253, 253}},
                             ColourCase{"neutral-y181-clipped", 181, 156, 137, {255, 255, 255}},
                             ColourCase{"neutral-y255-clipped", 255, 156, 137, {255, 255, 255}},
                             // Far-off chroma: red and blue clip low, green does not.
                             ColourCase{"y0-chroma-0", 0, 0, 0, {0, 154, 0}},
                             // Green lands on 61.49..., rounded down; red and blue clip high.
                             ColourCase{"y128-chroma-255", 128, 255, 255, {255, 61, 255}},
                             // Red lands on 174.50033: without the tiny cross
                             // term it would round to 174. Blue is unclipped too.
                             ColourCase{"y14-red-on-the-half", 14, 178, 254, {175, 0, 65}},
                             // No channel clipped: every coefficient shows.
                             ColourCase{"y90-unclipped", 90, 170, 120, {104, 133, 155}}),
                         test::CaseName());

// ---- layout ------------------------------------------------------------------

TEST_F(PhotoCdReaderTest, RowPairsShareChromaPerPixelPair) {
    // Luma per pixel from the neutral table; chroma alternating per pixel
    // pair, shifted by one on each row pair.
    const uint8_t lumaLevels[] = {0, 100, 180};
    const Rgb greys[] = {{0, 0, 0}, {141, 141, 141}, {253, 253, 253}};
    auto level = [](int x, int y) { return (x + 2 * y) % 3; };
    auto coloured = [](int k, int pair) { return (k + pair) % 2 == 1; };
    Bytes pack = MakePack();
    FillImage(
        pack, 0,
        [&](int x, int y) { return coloured(x / 2, y / 2) ? 128 : lumaLevels[level(x, y)]; },
        [&](int k, int pair) { return coloured(k, pair) ? 255 : 156; },
        [&](int k, int pair) { return coloured(k, pair) ? 255 : 137; });
    ImageBuffer image;
    PhotoCdReader reader;
    ASSERT_EQ(reader.Open(Write(pack).c_str(), &image, 0, nullptr), 1);
    ASSERT_EQ(reader.Decode(), 1);
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 192; ++x) {
            const Rgb expected = coloured(x / 2, y / 2) ? Rgb{255, 61, 255} : greys[level(x, y)];
            ASSERT_EQ(PixelAt(image, x, y), expected) << "x " << x << " y " << y;
        }
    }
}

struct ResolutionCase {
    const char* name;
    int32_t resolution;
    int layout;
};
void PrintTo(const ResolutionCase& c, std::ostream* out) {
    *out << c.name;
}

class PhotoCdResolution : public PhotoCdReaderTest,
                          public ::testing::WithParamInterface<ResolutionCase> {};

TEST_P(PhotoCdResolution, ReadsItsOwnImage) {
    // Each image of the pack holds its own grey, so reading at the wrong
    // offset shows.
    Bytes pack = MakePack();
    FillUniform(pack, 0, 100, 156, 137);
    FillUniform(pack, 1, 180, 156, 137);
    FillUniform(pack, 2, 0, 0, 0);
    const Rgb expected[] = {{141, 141, 141}, {253, 253, 253}, {0, 154, 0}};
    const ResolutionCase& c = GetParam();
    const PackLayout& layout = kPackLayouts[c.layout];
    ImageBuffer image;
    PhotoCdReader reader;
    ASSERT_EQ(reader.Open(Write(pack).c_str(), &image, c.resolution, nullptr), 1);
    ASSERT_EQ(reader.Decode(), 1);
    ASSERT_EQ(image.Width(), layout.width);
    ASSERT_EQ(image.Height(), layout.height);
    EXPECT_EQ(PixelAt(image, 0, 0), expected[c.layout]);
    EXPECT_EQ(PixelAt(image, layout.width - 1, layout.height - 1), expected[c.layout]);
}

INSTANTIATE_TEST_SUITE_P(
    Images, PhotoCdResolution,
    ::testing::Values(ResolutionCase{"base-16", 0, 0}, ResolutionCase{"base-4", 1, 1},
                      ResolutionCase{"base", 2, 2},
                      // Only the low byte counts.
                      ResolutionCase{"base-from-0x102", 0x102, 2},
                      ResolutionCase{"base-16-from-0x7fffff00", 0x7FFFFF00, 0}),
    test::CaseName());

// ---- files that Open refuses ---------------------------------------------

struct RefusalCase {
    const char* name;
    std::function<Bytes()> file;
    int32_t resolution;
};
void PrintTo(const RefusalCase& c, std::ostream* out) {
    *out << c.name;
}

Bytes RandomBytes(std::size_t size) {
    std::mt19937 generator(4);
    Bytes bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(generator());
    return bytes;
}

Bytes Text(std::size_t size) {
    const std::string line = "The quick brown fox jumps over the lazy dog.\r\n";
    Bytes bytes;
    while (bytes.size() < size) bytes.insert(bytes.end(), line.begin(), line.end());
    return bytes;
}

class PhotoCdRefused : public PhotoCdReaderTest,
                       public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(PhotoCdRefused, OpenSaysNoAndStaysClosed) {
    ImageBuffer image;
    PhotoCdReader reader;
    const std::string path = Write(GetParam().file());
    test::ExpectNothingLargeMade(m_temp, [&] {
        EXPECT_EQ(reader.Open(path.c_str(), &image, GetParam().resolution, nullptr), 0);
        EXPECT_EQ(reader.Decode(), 0) << "a refused Open leaves the reader closed";
    });
    EXPECT_TRUE(m_temp.Leftovers().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, PhotoCdRefused,
    ::testing::Values(RefusalCase{"one-byte-under-1-mib", [] { return MakePack(kOneMiB - 1); }, 2},
                      // Large files that are no image pack: no signature at 2048.
                      RefusalCase{"random-bytes-1-mib", [] { return RandomBytes(kOneMiB); }, 2},
                      RefusalCase{"text-2-mib", [] { return Text(2 * kOneMiB); }, 2},
                      RefusalCase{"zeros-1-mib", [] { return Bytes(kOneMiB, 0); }, 2},
                      RefusalCase{"signature-one-byte-late",
                                  [] {
                                      Bytes b(kOneMiB, 0);
                                      std::memcpy(b.data() + 2049, "PCD_IPI", 7);
                                      return b;
                                  },
                                  2},
                      RefusalCase{"signature-last-letter-wrong",
                                  [] {
                                      Bytes b = MakePack();
                                      b[2054] = 'J';
                                      return b;
                                  },
                                  2},
                      RefusalCase{"resolution-3", [] { return MakePack(); }, 3},
                      RefusalCase{"resolution-minus-1", [] { return MakePack(); }, -1},
                      RefusalCase{"resolution-0x1ff", [] { return MakePack(); }, 0x1FF},
                      RefusalCase{"empty-file", [] { return Bytes{}; }, 2}),
    test::CaseName());

TEST_F(PhotoCdReaderTest, ExactlyOneMiBIsAccepted) {
    ImageBuffer image;
    PhotoCdReader reader;
    EXPECT_EQ(reader.Open(Write(MakePack(kOneMiB)).c_str(), &image, 2, nullptr), 1);
}

TEST_F(PhotoCdReaderTest, MissingFileIsRefused) {
    ImageBuffer image;
    PhotoCdReader reader;
    EXPECT_EQ(reader.Open(m_dir.File("absent.pcd").c_str(), &image, 2, nullptr), 0);
}

// ---- lifecycle, progress and scratch files -------------------------------

TEST_F(PhotoCdReaderTest, DecodeWithoutOpenFails) {
    PhotoCdReader reader;
    EXPECT_EQ(reader.Decode(), 0);
    EXPECT_EQ(reader.Close(), 1);
    EXPECT_EQ(reader.Close(), 1);
}

TEST_F(PhotoCdReaderTest, ReportsEachRowPairThenTheLastRow) {
    g_progress.clear();
    ImageBuffer image;
    PhotoCdReader reader;
    ASSERT_EQ(reader.Open(Write(MakePack()).c_str(), &image, 2, RecordProgress), 1);
    ASSERT_EQ(reader.Decode(), 1);
    std::vector<ProgressEvent> expected;
    for (int row = 0; row < 512; row += 2) {
        expected.push_back({1, static_cast<int32_t>((row + 1.0) / 512.0 * 100.0), row, 0});
    }
    expected.push_back({1, 100, 511, 0});
    EXPECT_EQ(g_progress, expected);
    image.Reset();
    EXPECT_TRUE(m_temp.Leftovers().empty());
}

TEST_F(PhotoCdReaderTest, FailedDecodeReportsTheLastRowAndLeavesNoScratch) {
    g_progress.clear();
    const std::string path = Write(MakePack());
    ImageBuffer image;
    PhotoCdReader reader;
    ASSERT_EQ(reader.Open(path.c_str(), &image, 2, RecordProgress), 1);
    // The file loses its image data between Open and Decode.
    ASSERT_EQ(truncate(path.c_str(), 4096), 0);
    EXPECT_EQ(reader.Decode(), 0);
    const std::vector<ProgressEvent> expected = {{1, 100, 511, 0}};
    EXPECT_EQ(g_progress, expected);
    image.Reset();
    EXPECT_TRUE(m_temp.Leftovers().empty());
}

// ---- the shared corpus -----------------------------------------------------

// hopper.pcd ends after its Base image, at 788,480 bytes: under the 1 MiB
// that Open asks of a pack.
TEST_F(PhotoCdReaderTest, CorpusHopperAsStoredIsUnderTheSizeFloor) {
    const std::string path = test::CorpusPath("pcd/pillow/hopper.pcd");
    if (path.empty()) {
        GTEST_SKIP() << "no corpus beside this checkout";
    }
    ImageBuffer image;
    PhotoCdReader reader;
    EXPECT_EQ(reader.Open(path.c_str(), &image, 2, nullptr), 0);
}

// Padded to 1 MiB, hopper decodes at 768 x 512; its Base image, averaged over
// 4 x 4 blocks, must match its own Base/16 image, which holds only when both
// are read from the right offsets in the right row order.
TEST_F(PhotoCdReaderTest, CorpusHopperBaseMatchesItsBase16) {
    const std::string source = test::CorpusPath("pcd/pillow/hopper.pcd");
    if (source.empty()) {
        GTEST_SKIP() << "no corpus beside this checkout";
    }
    Bytes pack = test::ReadFileBytes(source);
    ASSERT_EQ(pack.size(), 788480u);
    pack.resize(kOneMiB, 0);
    const std::string path = Write(pack);

    ImageBuffer base, small;
    PhotoCdReader reader;
    ASSERT_EQ(reader.Open(path.c_str(), &base, 2, nullptr), 1);
    ASSERT_EQ(reader.Decode(), 1);
    ASSERT_EQ(base.Width(), 768);
    ASSERT_EQ(base.Height(), 512);
    ASSERT_EQ(reader.Open(path.c_str(), &small, 0, nullptr), 1);
    ASSERT_EQ(reader.Decode(), 1);

    double difference = 0;
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 192; ++x) {
            for (int channel = 0; channel < 3; ++channel) {
                int sum = 0;
                for (int dy = 0; dy < 4; ++dy) {
                    for (int dx = 0; dx < 4; ++dx) {
                        sum += base.Row(4 * y + dy)[3 * (4 * x + dx) + channel];
                    }
                }
                difference += std::abs(sum / 16.0 - small.Row(y)[3 * x + channel]);
            }
        }
    }
    // About 5 for this pack; a flipped or misplaced image gives over 60.
    EXPECT_LT(difference / (128 * 192 * 3), 15.0);
    base.Reset();
    small.Reset();
    EXPECT_TRUE(m_temp.Leftovers().empty());
}

}  // namespace
}  // namespace tolvane
