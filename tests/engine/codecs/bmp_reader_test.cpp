#include "engine/codecs/bmp_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <set>
#include <ostream>
#include <string>
#include <vector>

#include "support/fixtures.h"
#include "support/test_support.h"

namespace tolvane {
namespace {

using test::BmpFixture;
using test::MakeBmp;
using test::PatternBlue;
using test::PatternGreen;
using test::PatternRed;
using test::PrivateTempFolder;
using test::Put16;
using test::Put32;
using test::ScopedTempDir;
using test::WriteFileBytes;

void ExpectPattern(const ImageBuffer& image, int width, int height) {
    ASSERT_EQ(image.Width(), width);
    ASSERT_EQ(image.Height(), height);
    ASSERT_EQ(image.BitsPerPixel(), 24u);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* pixel = image.Row(y) + 3 * x;
            ASSERT_EQ(pixel[0], PatternRed(x, y)) << "x " << x << " y " << y;
            ASSERT_EQ(pixel[1], PatternGreen(x, y)) << "x " << x << " y " << y;
            ASSERT_EQ(pixel[2], PatternBlue(x, y)) << "x " << x << " y " << y;
        }
    }
}

using test::g_progress;
using test::ProgressEvent;
using test::RecordProgress;

class BmpReaderTest : public ::testing::Test {
  protected:
    std::string Write(const std::vector<uint8_t>& bytes, const std::string& name = "in.bmp") {
        const std::string path = m_dir.File(name);
        WriteFileBytes(path, bytes);
        return path;
    }

    PrivateTempFolder m_temp;
    ScopedTempDir m_dir;
};

// ---- files that decode ----------------------------------------------------

struct DecodeCase {
    const char* name;
    BmpFixture fixture;
};
void PrintTo(const DecodeCase& c, std::ostream* out) {
    *out << c.name;
}

class BmpDecodes : public BmpReaderTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(BmpDecodes, GivesThePatternTopRowFirst) {
    const BmpFixture& f = GetParam().fixture;
    ImageBuffer image;
    BmpReader reader;
    ASSERT_EQ(reader.Open(Write(MakeBmp(f)).c_str(), &image, nullptr), 1);
    ASSERT_EQ(reader.Decode(), 1);
    ExpectPattern(image, f.width, f.height < 0 ? -f.height : f.height);
}

INSTANTIATE_TEST_SUITE_P(
    Bitmaps, BmpDecodes,
    ::testing::Values(
        // The last row in the file is the top row of the picture.
        DecodeCase{"info-bottom-up", {.width = 3, .height = 4}},
        // A negative height stores the top row first.
        DecodeCase{"info-top-down", {.width = 3, .height = -4}},
        DecodeCase{"os2-core-header", {.headerSize = 12, .width = 5, .height = 3}},
        DecodeCase{"magic-ba-read-like-bm", {.magic = "BA", .width = 2, .height = 2}},
        // Bit fields at 24 bits: masks in the gap change nothing.
        DecodeCase{"bitfields-masks-ignored",
                   {.width = 3, .height = 2, .compression = 3, .gapBytes = 12}},
        DecodeCase{"v4-header-108", {.headerSize = 108, .width = 3, .height = 2}},
        DecodeCase{"v5-header-124-top-down", {.headerSize = 124, .width = 3, .height = -2}},
        // A palette or gap before the pixels: the data offset decides.
        DecodeCase{"gap-before-pixels", {.width = 3, .height = 2, .gapBytes = 1024}},
        // Row lengths 4, 8 and 12: padding of 1, 2 and 0 bytes.
        DecodeCase{"width-1-three-padding-bytes", {.width = 1, .height = 3}},
        DecodeCase{"width-2-two-padding-bytes", {.width = 2, .height = 3}},
        DecodeCase{"width-4-no-padding", {.width = 4, .height = 3}},
        DecodeCase{"one-pixel", {.width = 1, .height = 1}}),
    test::CaseName());

// ---- files that Open refuses ---------------------------------------------

struct RefusalCase {
    const char* name;
    BmpFixture fixture;
    std::function<void(std::vector<uint8_t>&)> damage;
};
void PrintTo(const RefusalCase& c, std::ostream* out) {
    *out << c.name;
}

class BmpRefused : public BmpReaderTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(BmpRefused, OpenSaysNoAndStaysClosed) {
    std::vector<uint8_t> bytes = MakeBmp(GetParam().fixture);
    if (GetParam().damage) {
        GetParam().damage(bytes);
    }
    ImageBuffer image;
    BmpReader reader;
    test::ExpectNothingLargeMade(m_temp, [&] {
        EXPECT_EQ(reader.Open(Write(bytes).c_str(), &image, nullptr), 0);
        EXPECT_EQ(reader.Decode(), 0) << "a refused Open leaves the reader closed";
    });
    EXPECT_EQ(image.Width(), 0);
}

void NoDamage(std::vector<uint8_t>&) {}

INSTANTIATE_TEST_SUITE_P(
    Bitmaps, BmpRefused,
    ::testing::Values(
        RefusalCase{"magic-bx", {}, [](auto& b) { b[1] = 'X'; }},
        RefusalCase{"magic-lowercase-bm", {}, [](auto& b) { b[0] = 'b'; }},
        RefusalCase{"depth-1", {.bitsPerPixel = 1}, NoDamage},
        RefusalCase{"depth-4", {.bitsPerPixel = 4}, NoDamage},
        RefusalCase{"depth-8", {.bitsPerPixel = 8}, NoDamage},
        RefusalCase{"depth-16", {.bitsPerPixel = 16}, NoDamage},
        RefusalCase{"depth-32", {.bitsPerPixel = 32}, NoDamage},
        RefusalCase{"core-depth-8", {.headerSize = 12, .bitsPerPixel = 8}, NoDamage},
        // RLE is refused whatever the depth field claims.
        RefusalCase{"rle8-claiming-24", {.compression = 1}, NoDamage},
        RefusalCase{"rle4-claiming-24", {.compression = 2}, NoDamage},
        RefusalCase{"compression-4-rle24-or-jpeg", {.compression = 4}, NoDamage},
        RefusalCase{"compression-6", {.compression = 6}, NoDamage},
        RefusalCase{"width-zero", {.width = 0}, NoDamage},
        RefusalCase{"width-negative", {}, [](auto& b) { Put32(b, 18, 0xFFFFFFFDu); }},
        RefusalCase{"height-zero", {.height = 0}, NoDamage},
        // -2^31 has no 32-bit magnitude.
        RefusalCase{"height-int32-min", {}, [](auto& b) { Put32(b, 22, 0x80000000u); }},
        // The 32-bit value at block offset 4 turns negative.
        RefusalCase{
            "core-height-0x8000", {.headerSize = 12}, [](auto& b) { Put16(b, 20, 0x8000); }},
        RefusalCase{"offset-14-no-header", {}, [](auto& b) { Put32(b, 10, 14); }},
        RefusalCase{"offset-below-14", {}, [](auto& b) { Put32(b, 10, 3); }},
        RefusalCase{"offset-past-end",
                    {},
                    [](auto& b) { Put32(b, 10, static_cast<uint32_t>(b.size()) + 1); }},
        RefusalCase{"offset-huge", {}, [](auto& b) { Put32(b, 10, 0xFFFFFFF0u); }},
        // A header block too short for the fields read from it.
        RefusalCase{"block-under-12", {}, [](auto& b) { Put32(b, 10, 14 + 11); }},
        RefusalCase{"info-block-under-20", {}, [](auto& b) { Put32(b, 10, 14 + 19); }},
        RefusalCase{"file-header-cut", {}, [](auto& b) { b.resize(13); }},
        RefusalCase{"empty-file", {}, [](auto& b) { b.clear(); }}),
    test::CaseName());

TEST_F(BmpReaderTest, MissingFileIsRefused) {
    ImageBuffer image;
    BmpReader reader;
    EXPECT_EQ(reader.Open(m_dir.File("absent.bmp").c_str(), &image, nullptr), 0);
}

// ---- files that Open accepts and Decode fails ------------------------------

struct DecodeFailureCase {
    const char* name;
    BmpFixture fixture;
    std::function<void(std::vector<uint8_t>&)> damage;
};
void PrintTo(const DecodeFailureCase& c, std::ostream* out) {
    *out << c.name;
}

class BmpDecodeFails : public BmpReaderTest,
                       public ::testing::WithParamInterface<DecodeFailureCase> {};

TEST_P(BmpDecodeFails, AcceptedThenFailsLeavingNoScratch) {
    std::vector<uint8_t> bytes = MakeBmp(GetParam().fixture);
    GetParam().damage(bytes);
    ImageBuffer image;
    BmpReader reader;
    // Every one of these fails on its header or its length, before the
    // pixel store.
    test::ExpectNothingLargeMade(m_temp, [&] {
        ASSERT_EQ(reader.Open(Write(bytes).c_str(), &image, nullptr), 1);
        EXPECT_EQ(reader.Decode(), 0);
    });
    image.Reset();
    EXPECT_TRUE(m_temp.Leftovers().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Bitmaps, BmpDecodeFails,
    ::testing::Values(
        DecodeFailureCase{"pixel-data-one-byte-short", {}, [](auto& b) { b.pop_back(); }},
        DecodeFailureCase{"pixel-data-missing", {}, [](auto& b) { b.resize(54); }},
        // The core probe lets a zero width or height through; the image cannot
        // be made.
        DecodeFailureCase{"core-width-zero", {.headerSize = 12}, [](auto& b) { Put16(b, 18, 0); }},
        DecodeFailureCase{"core-height-zero", {.headerSize = 12}, [](auto& b) { Put16(b, 20, 0); }},
        // A header that claims terabytes over a few bytes of data.
        DecodeFailureCase{"claims-3000000-by-2000000",
                          {},
                          [](auto& b) {
                              Put32(b, 18, 3000000);
                              Put32(b, 22, 2000000);
                          }},
        // Sizes at the 32-bit limits.
        DecodeFailureCase{"width-int32-max", {}, [](auto& b) { Put32(b, 18, 0x7FFFFFFFu); }},
        DecodeFailureCase{"height-int32-max", {}, [](auto& b) { Put32(b, 22, 0x7FFFFFFFu); }},
        DecodeFailureCase{
            "top-down-height-int32-min-plus-1", {}, [](auto& b) { Put32(b, 22, 0x80000001u); }},
        // Wide enough that width x 24 wraps 32 bits.
        DecodeFailureCase{
            "width-wraps-row-length", {.height = 1}, [](auto& b) { Put32(b, 18, 0x0AAAAAABu); }}),
    test::CaseName());

// 10000 x 10000 would fit a pixel store (300 MB); over a few bytes of data
// Decode fails before making it.
TEST_F(BmpReaderTest, HeaderClaimingMoreThanTheFileHoldsMakesNoImage) {
    std::vector<uint8_t> bytes = MakeBmp({});
    Put32(bytes, 18, 10000);
    Put32(bytes, 22, 10000);
    ImageBuffer image;
    BmpReader reader;
    ASSERT_EQ(reader.Open(Write(bytes).c_str(), &image, nullptr), 1);
    EXPECT_EQ(reader.Decode(), 0);
    EXPECT_EQ(image.Width(), 0);
    EXPECT_TRUE(m_temp.Leftovers().empty());
}

// ---- lifecycle and progress ------------------------------------------------

TEST_F(BmpReaderTest, DecodeWithoutOpenFails) {
    BmpReader reader;
    EXPECT_EQ(reader.Decode(), 0);
    EXPECT_EQ(reader.Close(), 1);
    EXPECT_EQ(reader.Close(), 1);
}

TEST_F(BmpReaderTest, OpenAgainDropsTheFirstFile) {
    const std::string first = Write(MakeBmp({.width = 7, .height = 7}), "first.bmp");
    const std::string second = Write(MakeBmp({.width = 3, .height = -2}), "second.bmp");
    ImageBuffer image;
    BmpReader reader;
    ASSERT_EQ(reader.Open(first.c_str(), &image, nullptr), 1);
    ASSERT_EQ(reader.Open(second.c_str(), &image, nullptr), 1);
    ASSERT_EQ(reader.Decode(), 1);
    ExpectPattern(image, 3, 2);
    EXPECT_EQ(reader.Decode(), 0) << "Decode ends closed";
}

TEST_F(BmpReaderTest, ReportsEveryRowThenTheLastAgain) {
    g_progress.clear();
    ImageBuffer image;
    BmpReader reader;
    ASSERT_EQ(reader.Open(Write(MakeBmp({.height = 3})).c_str(), &image, RecordProgress), 1);
    ASSERT_EQ(reader.Decode(), 1);
    const std::vector<ProgressEvent> expected = {
        {1, 33, 0, 0}, {1, 66, 1, 0}, {1, 100, 2, 0}, {1, 100, 2, 0}};
    EXPECT_EQ(g_progress, expected);
}

TEST_F(BmpReaderTest, FailureReportsTheLastRow) {
    g_progress.clear();
    std::vector<uint8_t> bytes = MakeBmp({.width = 3, .height = 3});
    bytes.pop_back();
    ImageBuffer image;
    BmpReader reader;
    ASSERT_EQ(reader.Open(Write(bytes).c_str(), &image, RecordProgress), 1);
    EXPECT_EQ(reader.Decode(), 0);
    const std::vector<ProgressEvent> expected = {{1, 100, 2, 0}};
    EXPECT_EQ(g_progress, expected);
}

// ---- the shared corpus -----------------------------------------------------

// Plain 24-bit files that the suite calls questionable only for what sits in
// their header block (a large palette, a colour profile).
const std::set<std::string> kQuestionableButPlain24 = {
    "bmp/bmpsuite/q/rgb24largepal.bmp",
    "bmp/bmpsuite/q/rgb24lprof.bmp",
    "bmp/bmpsuite/q/rgb24prof.bmp",
    "bmp/bmpsuite/q/rgb24prof2.bmp",
};
// Valid headers claiming 3000000 x 2000000 over 24 KiB: accepted, then
// Decode fails.
const std::string kClaimsTooMuch = "bmp/bmpsuite/b/reallybig.bmp";

bool IsValid24Bit(const test::CorpusEntry& entry) {
    return entry.notes.find("corrupt") == std::string::npos &&
           entry.notes.find("questionable") == std::string::npos &&
           entry.notes.find(" 24 bpp") != std::string::npos;
}

TEST_F(BmpReaderTest, CorpusValid24BitConvertsAndEveryOtherIsRefused) {
    const std::vector<test::CorpusEntry> entries = test::CorpusManifest("bmp/");
    if (entries.empty()) {
        GTEST_SKIP() << "no corpus beside this checkout";
    }
    int decoded = 0;
    for (const test::CorpusEntry& entry : entries) {
        SCOPED_TRACE(entry.path);
        ImageBuffer image;
        BmpReader reader;
        const int32_t opened = reader.Open(test::CorpusPath(entry.path).c_str(), &image, nullptr);
        if (IsValid24Bit(entry) || kQuestionableButPlain24.count(entry.path) != 0) {
            ASSERT_EQ(opened, 1);
            ASSERT_EQ(reader.Decode(), 1);
            EXPECT_EQ(image.Width(), entry.width);
            EXPECT_EQ(image.Height(), entry.height);
            ++decoded;
        } else if (entry.path == kClaimsTooMuch) {
            ASSERT_EQ(opened, 1);
            EXPECT_EQ(reader.Decode(), 0);
        } else {
            EXPECT_EQ(opened, 0);
        }
    }
    EXPECT_EQ(decoded, 9);
    EXPECT_TRUE(m_temp.Leftovers().empty());
}

TEST_F(BmpReaderTest, CorpusRgb24VariantsDecodeToTheSamePixels) {
    const std::string reference = test::CorpusPath("bmp/bmpsuite/g/rgb24.bmp");
    if (reference.empty()) {
        GTEST_SKIP() << "no corpus beside this checkout";
    }
    ImageBuffer expected;
    BmpReader reader;
    ASSERT_EQ(reader.Open(reference.c_str(), &expected, nullptr), 1);
    ASSERT_EQ(reader.Decode(), 1);
    const std::size_t size = static_cast<std::size_t>(expected.Stride()) * expected.Height();
    // Header blocks of every length before the same stored pixels. (q/rgb24prof2
    // stores other values that its profile maps back, so it is not here.)
    const std::vector<std::string> variants = {
        "bmp/bmpsuite/g/rgb24pal.bmp", "bmp/bmpsuite/q/rgb24largepal.bmp",
        "bmp/bmpsuite/q/rgb24lprof.bmp", "bmp/bmpsuite/q/rgb24prof.bmp"};
    for (const std::string& variant : variants) {
        SCOPED_TRACE(variant);
        ImageBuffer image;
        ASSERT_EQ(reader.Open(test::CorpusPath(variant).c_str(), &image, nullptr), 1);
        ASSERT_EQ(reader.Decode(), 1);
        ASSERT_EQ(image.Stride() * image.Height(), expected.Stride() * expected.Height());
        EXPECT_EQ(std::memcmp(image.Pixels(), expected.Pixels(), size), 0);
    }
}

}  // namespace
}  // namespace tolvane
