#include "engine/codecs/pcx_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "support/fixtures.h"
#include "support/test_support.h"

namespace tolvane {
namespace {

using test::Bytes;
using test::EncodedFile;
using test::FixturePalette;
using test::HeaderBytes;
using test::PcxHeader;
using test::PrivateTempFolder;
using test::ScopedTempDir;
using test::WithPalette;
using test::WriteFileBytes;

Bytes RawFile(const PcxHeader& header, const Bytes& code) {
    Bytes file = HeaderBytes(header);
    file.insert(file.end(), code.begin(), code.end());
    return file;
}

class PcxReaderTest : public ::testing::Test {
  protected:
    std::string Write(const Bytes& bytes) {
        const std::string path = m_dir.File("in.pcx");
        WriteFileBytes(path, bytes);
        return path;
    }

    PrivateTempFolder m_temp;
    ScopedTempDir m_dir;
};

std::vector<Bytes> Rows(const Bytes& image, int width) {
    std::vector<Bytes> rows;
    for (std::size_t at = 0; at < image.size(); at += width) {
        rows.emplace_back(image.begin() + at, image.begin() + at + width);
    }
    return rows;
}

std::vector<Bytes> DecodedRows(const ImageBuffer& image) {
    std::vector<Bytes> rows;
    for (int y = 0; y < image.Height(); ++y) {
        rows.emplace_back(image.Row(y), image.Row(y) + image.Stride());
    }
    return rows;
}

// ---- files that decode ----------------------------------------------------

struct DecodeCase {
    const char* name;
    Bytes file;
    int width, height;
    uint32_t bitsPerPixel;
    Bytes pixels;  // rows top down: palette indices, or red, green, blue
};
void PrintTo(const DecodeCase& c, std::ostream* out) {
    *out << c.name;
}

class PcxDecodes : public PcxReaderTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(PcxDecodes, GivesTheExpectedPixels) {
    const DecodeCase& c = GetParam();
    ImageBuffer image;
    PcxReader reader;
    ASSERT_EQ(reader.Open(Write(c.file).c_str(), &image, nullptr), 1);
    ASSERT_EQ(reader.Decode(), 1);
    ASSERT_EQ(image.Width(), c.width);
    ASSERT_EQ(image.Height(), c.height);
    ASSERT_EQ(image.BitsPerPixel(), c.bitsPerPixel);
    EXPECT_EQ(DecodedRows(image), Rows(c.pixels, image.Stride()));
    if (c.bitsPerPixel == 8) {
        ASSERT_EQ(image.PaletteSize(), 256);
        const Bytes palette = FixturePalette();
        for (int k = 0; k < 256; ++k) {
            const PaletteEntry& e = image.PaletteEntries()[k];
            ASSERT_EQ(Bytes({e.red, e.green, e.blue}),
                      Bytes(palette.begin() + 3 * k, palette.begin() + 3 * k + 3))
                << "entry " << k;
        }
    }
    image.Reset();
    EXPECT_TRUE(m_temp.Leftovers().empty());
}

std::vector<DecodeCase> DecodeCases() {
    std::vector<DecodeCase> cases;
    // Odd width: bytes per line rounds up to even and the extra byte is dropped.
    cases.push_back(
        {"palette-odd-width-pad-dropped",
         WithPalette(EncodedFile(
             {.xMax = 4, .yMax = 2, .bytesPerLine = 6},
             {{1, 2, 3, 4, 5, 0xAB}, {9, 9, 9, 9, 200, 0xAB}, {0xC1, 0xFF, 7, 7, 0, 0xAB}})),
         5,
         3,
         8,
         {1, 2, 3, 4, 5, 9, 9, 9, 9, 200, 0xC1, 0xFF, 7, 7, 0}});
    // The palette is always the last 768 bytes, marker or not.
    cases.push_back(
        {"palette-without-marker",
         WithPalette(EncodedFile({.xMax = 3, .yMax = 1}, {{0, 1, 2, 3}, {4, 5, 6, 7}}), false),
         4,
         2,
         8,
         {0, 1, 2, 3, 4, 5, 6, 7}});
    // Red, green and blue are the three planes of each scanline, in that order.
    cases.push_back({"true-colour-three-planes",
                     EncodedFile({.xMax = 2, .yMax = 1, .planes = 3, .bytesPerLine = 3},
                                 {{10, 11, 12, 20, 21, 22, 30, 31, 32},
                                  {40, 40, 40, 0xC8, 0xC9, 0xCA, 1, 2, 3}}),
                     3,
                     2,
                     24,
                     {10, 20, 30, 11, 21, 31, 12, 22, 32, 40, 0xC8, 1, 40, 0xC9, 2, 40, 0xCA, 3}});
    // Planes wider than the picture: each plane starts at its own offset.
    cases.push_back({"true-colour-planes-wider-than-width",
                     EncodedFile({.xMax = 1, .yMax = 1, .planes = 3, .bytesPerLine = 4},
                                 {{1, 2, 0xEE, 0xEE, 3, 4, 0xEE, 0xEE, 5, 6, 0xEE, 0xEE},
                                  {7, 8, 0xEE, 0xEE, 9, 10, 0xEE, 0xEE, 11, 12, 0xEE, 0xEE}}),
                     2,
                     2,
                     24,
                     {1, 3, 5, 2, 4, 6, 7, 9, 11, 8, 10, 12}});
    // The window need not start at 0,0.
    cases.push_back(
        {"window-from-1-1",
         WithPalette(EncodedFile({.xMin = 1, .yMin = 1, .xMax = 2, .yMax = 3, .bytesPerLine = 2},
                                 {{1, 2}, {3, 4}, {5, 6}})),
         2,
         3,
         8,
         {1, 2, 3, 4, 5, 6}});
    // 1 bit x 8 planes has depth 8 too: the first width bytes of the long
    // scanline become indices.
    cases.push_back({"one-bit-eight-planes",
                     WithPalette(EncodedFile(
                         {.bitsPerPlane = 1, .xMax = 2, .yMax = 1, .planes = 8, .bytesPerLine = 1},
                         {{1, 2, 3, 4, 5, 6, 7, 8}, {9, 8, 7, 6, 5, 4, 3, 2}})),
                     3,
                     2,
                     8,
                     {1, 2, 3, 9, 8, 7}});
    // A scanline shorter than the width leaves the rest of the row at 0.
    cases.push_back(
        {"palette-scanline-shorter-than-width",
         WithPalette(EncodedFile({.xMax = 4, .yMax = 1, .bytesPerLine = 2}, {{7, 8}, {9, 10}})),
         5,
         2,
         8,
         {7, 8, 0, 0, 0, 9, 10, 0, 0, 0}});
    // Run code by hand: a count of 0 uses its value byte and writes nothing.
    cases.push_back({"run-count-zero-writes-nothing",
                     WithPalette(RawFile({.xMax = 3, .yMax = 1},
                                         {0xC0, 0x55, 0xC2, 6, 7, 8, 0xC0, 0x66, 1, 2, 3, 4})),
                     4,
                     2,
                     8,
                     {6, 6, 7, 8, 1, 2, 3, 4}});
    // A run past the end of the scanline is cut; the next scanline begins with
    // the next code byte, not with the rest of the run.
    cases.push_back({"run-cut-at-scanline-end",
                     WithPalette(RawFile({.xMax = 3, .yMax = 1}, {0xFF, 9, 1, 2, 3, 4})),
                     4,
                     2,
                     8,
                     {9, 9, 9, 9, 1, 2, 3, 4}});
    // The encoding byte is not read: bytes of 0xC0 and up are runs anyway.
    cases.push_back(
        {"encoding-zero-still-run-length",
         WithPalette(RawFile({.encoding = 0, .xMax = 3, .yMax = 1}, {0xC3, 5, 6, 0xC4, 1})),
         4,
         2,
         8,
         {5, 5, 5, 6, 1, 1, 1, 1}});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Files, PcxDecodes, ::testing::ValuesIn(DecodeCases()), test::CaseName());

// ---- files that Open refuses ---------------------------------------------

struct RefusalCase {
    const char* name;
    Bytes file;
};
void PrintTo(const RefusalCase& c, std::ostream* out) {
    *out << c.name;
}

class PcxRefused : public PcxReaderTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(PcxRefused, OpenSaysNoAndStaysClosed) {
    ImageBuffer image;
    PcxReader reader;
    test::ExpectNothingLargeMade(m_temp, [&] {
        EXPECT_EQ(reader.Open(Write(GetParam().file).c_str(), &image, nullptr), 0);
        EXPECT_EQ(reader.Decode(), 0) << "a refused Open leaves the reader closed";
    });
    EXPECT_TRUE(m_temp.Leftovers().empty());
}

Bytes Cut(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

Bytes PaletteFile(const PcxHeader& header) {
    return WithPalette(EncodedFile(header, {Bytes(64, 1), Bytes(64, 2)}));
}

Bytes TrueColourFile(const PcxHeader& header) {
    return EncodedFile(header, {Bytes(64, 1), Bytes(64, 2), Bytes(64, 3)});
}

INSTANTIATE_TEST_SUITE_P(
    Files, PcxRefused,
    ::testing::Values(
        RefusalCase{"manufacturer-0x0b", PaletteFile({.manufacturer = 0x0B})},
        RefusalCase{"header-cut-at-127", Cut(HeaderBytes({}), 127)}, RefusalCase{"empty-file", {}},
        // A window one pixel wide or one pixel high.
        RefusalCase{"one-column", PaletteFile({.xMin = 5, .xMax = 5})},
        RefusalCase{"one-row", PaletteFile({.yMin = 0, .yMax = 0})},
        RefusalCase{"sixteen-colour-4x1", PaletteFile({.bitsPerPlane = 4})},
        RefusalCase{"sixteen-colour-1x4", PaletteFile({.bitsPerPlane = 1, .planes = 4})},
        RefusalCase{"monochrome-1x1", PaletteFile({.bitsPerPlane = 1})},
        RefusalCase{"depth-16-8x2", PaletteFile({.planes = 2})},
        // Depth 24 must be three 8-bit planes at least a row wide.
        RefusalCase{"depth-24-one-plane", TrueColourFile({.bitsPerPlane = 24})},
        RefusalCase{"depth-24-12x2", TrueColourFile({.bitsPerPlane = 12, .planes = 2})},
        RefusalCase{"depth-24-planes-narrower-than-width",
                    TrueColourFile({.xMax = 9, .planes = 3, .bytesPerLine = 9})}),
    test::CaseName());

TEST_F(PcxReaderTest, MissingFileIsRefused) {
    ImageBuffer image;
    PcxReader reader;
    EXPECT_EQ(reader.Open(m_dir.File("absent.pcx").c_str(), &image, nullptr), 0);
}

// ---- files that Open accepts and Decode fails ------------------------------

struct DecodeFailureCase {
    const char* name;
    Bytes file;
};
void PrintTo(const DecodeFailureCase& c, std::ostream* out) {
    *out << c.name;
}

class PcxDecodeFails : public PcxReaderTest,
                       public ::testing::WithParamInterface<DecodeFailureCase> {};

TEST_P(PcxDecodeFails, AcceptedThenFailsLeavingNoScratch) {
    ImageBuffer image;
    PcxReader reader;
    ASSERT_EQ(reader.Open(Write(GetParam().file).c_str(), &image, nullptr), 1);
    EXPECT_EQ(reader.Decode(), 0);
    image.Reset();
    EXPECT_TRUE(m_temp.Leftovers().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, PcxDecodeFails,
    ::testing::Values(
        // xmin above xmax: the difference is not 0, the width is below 1.
        DecodeFailureCase{"window-reversed", PaletteFile({.xMin = 9, .xMax = 3})},
        // Two scanlines of four bytes wanted, one and a half given.
        DecodeFailureCase{"code-ends-inside-last-scanline",
                          WithPalette(RawFile({.xMax = 3, .yMax = 1}, {1, 2, 3, 4, 5, 6}))},
        // The second scanline starts with a run code that has no value byte.
        DecodeFailureCase{"run-code-without-value",
                          RawFile({.xMax = 1, .yMax = 1, .planes = 3, .bytesPerLine = 2},
                                  {1, 2, 3, 4, 5, 6, 0xC6})},
        // Nothing between the header and the palette.
        DecodeFailureCase{"palette-file-of-896-bytes", WithPalette(HeaderBytes({}), false)},
        DecodeFailureCase{"true-colour-header-only", HeaderBytes({.planes = 3, .bytesPerLine = 4})},
        // Shorter than header and palette together: the palette seek would
        // land inside the header.
        DecodeFailureCase{"palette-file-shorter-than-896", RawFile({}, Bytes(300, 1))}),
    test::CaseName());

// A 65535 x 65535 header over a few bytes of code fails before a 4 GiB
// pixel store is made for it.
TEST_F(PcxReaderTest, HeaderClaimingMoreThanTheDataHoldsMakesNoImage) {
    ImageBuffer image;
    PcxReader reader;
    const Bytes file = PaletteFile({.xMax = 65534, .yMax = 65534, .bytesPerLine = 65535});
    ASSERT_EQ(reader.Open(Write(file).c_str(), &image, nullptr), 1);
    EXPECT_EQ(reader.Decode(), 0);
    EXPECT_EQ(image.Width(), 0);
    EXPECT_TRUE(m_temp.Leftovers().empty());
}

// ---- lifecycle and progress ------------------------------------------------

using test::g_progress;
using test::ProgressEvent;
using test::RecordProgress;

TEST_F(PcxReaderTest, DecodeWithoutOpenFails) {
    PcxReader reader;
    EXPECT_EQ(reader.Decode(), 0);
    EXPECT_EQ(reader.Close(), 1);
    EXPECT_EQ(reader.Close(), 1);
}

TEST_F(PcxReaderTest, ReportsEveryRowThenTheLastAgain) {
    g_progress.clear();
    ImageBuffer image;
    PcxReader reader;
    const Bytes file = WithPalette(
        EncodedFile({.xMax = 1, .yMax = 2, .bytesPerLine = 2}, {{1, 2}, {3, 4}, {5, 6}}));
    ASSERT_EQ(reader.Open(Write(file).c_str(), &image, RecordProgress), 1);
    ASSERT_EQ(reader.Decode(), 1);
    const std::vector<ProgressEvent> expected = {
        {1, 33, 0, 0}, {1, 66, 1, 0}, {1, 100, 2, 0}, {1, 100, 2, 0}};
    EXPECT_EQ(g_progress, expected);
}

TEST_F(PcxReaderTest, FailureMakesNoFinalReport) {
    g_progress.clear();
    ImageBuffer image;
    PcxReader reader;
    // Three scanlines of two bytes wanted; the code holds one and a half.
    const Bytes file =
        WithPalette(RawFile({.xMax = 1, .yMax = 2, .bytesPerLine = 2}, {1, 2, 3}), false);
    ASSERT_EQ(reader.Open(Write(file).c_str(), &image, RecordProgress), 1);
    EXPECT_EQ(reader.Decode(), 0);
    const std::vector<ProgressEvent> expected = {{1, 33, 0, 0}};
    EXPECT_EQ(g_progress, expected);
}

// ---- the shared corpus -----------------------------------------------------

TEST_F(PcxReaderTest, CorpusFilesDecodeOrAreRefused) {
    const std::vector<test::CorpusEntry> entries = test::CorpusManifest("pcx/");
    if (entries.empty()) {
        GTEST_SKIP() << "no corpus beside this checkout";
    }
    struct Expected {
        const char* path;
        int open;
        int decode;
    };
    const std::vector<Expected> expected = {
        {"pcx/image-rs/24bit.pcx", 1, 1},
        {"pcx/image-rs/256-palette.pcx", 1, 1},
        {"pcx/pillow/odd_stride.pcx", 1, 1},
        // 836 bytes: shorter than its header and a 256-colour palette.
        {"pcx/pillow/01r_00.pcx", 1, 0},
        // One-column windows, and depths 2, 4 and 1.
        {"pcx/pillow/ossfuzz-4836216264589312.pcx", 0, 0},
        {"pcx/pillow/p_4_planes.pcx", 0, 0},
        {"pcx/pillow/pil184.pcx", 0, 0},
    };
    ASSERT_EQ(entries.size(), expected.size());
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.path);
        const test::CorpusEntry* entry = nullptr;
        for (const test::CorpusEntry& candidate : entries) {
            if (candidate.path == e.path) entry = &candidate;
        }
        ASSERT_NE(entry, nullptr);
        ImageBuffer image;
        PcxReader reader;
        ASSERT_EQ(reader.Open(test::CorpusPath(e.path).c_str(), &image, nullptr), e.open);
        if (e.open == 1) {
            ASSERT_EQ(reader.Decode(), e.decode);
        }
        if (e.decode == 1) {
            EXPECT_EQ(image.Width(), entry->width);
            EXPECT_EQ(image.Height(), entry->height);
        }
    }
    EXPECT_TRUE(m_temp.Leftovers().empty());
}

// The two image-rs files are one picture, at 24 bits and reduced to 256
// colours: decoded, they must agree closely pixel for pixel, which holds only
// when the planes and the palette are read in the right order.
TEST_F(PcxReaderTest, CorpusTrueColourAndPaletteCopiesAgree) {
    const std::string trueColourPath = test::CorpusPath("pcx/image-rs/24bit.pcx");
    if (trueColourPath.empty()) {
        GTEST_SKIP() << "no corpus beside this checkout";
    }
    ImageBuffer trueColour, indexed, converted;
    PcxReader reader;
    ASSERT_EQ(reader.Open(trueColourPath.c_str(), &trueColour, nullptr), 1);
    ASSERT_EQ(reader.Decode(), 1);
    ASSERT_EQ(
        reader.Open(test::CorpusPath("pcx/image-rs/256-palette.pcx").c_str(), &indexed, nullptr),
        1);
    ASSERT_EQ(reader.Decode(), 1);
    ASSERT_TRUE(indexed.ConvertTo(converted, 24));
    ASSERT_EQ(converted.Stride(), trueColour.Stride());
    ASSERT_EQ(converted.Height(), trueColour.Height());
    uint64_t difference = 0;
    const std::size_t size = static_cast<std::size_t>(trueColour.Stride()) * trueColour.Height();
    for (std::size_t i = 0; i < size; ++i) {
        difference += std::abs(trueColour.Pixels()[i] - converted.Pixels()[i]);
    }
    EXPECT_LT(static_cast<double>(difference) / static_cast<double>(size), 8.0);
}

}  // namespace
}  // namespace tolvane
