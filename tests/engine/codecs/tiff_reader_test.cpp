#include "engine/codecs/tiff_reader.h"

#include <gtest/gtest.h>

#include <tiffio.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/fixtures.h"
#include "support/test_support.h"

namespace tolvane {
namespace {

using test::Colour;
using test::ExpectedColour;
using test::Layout;
using test::PrivateTempFolder;
using test::Rgb;
using test::ScopedTempDir;
using test::TiffCase;
using test::WriteTiff;

// ---------------------------------------------------------------------------
// Hand-made files, for headers that libtiff would not write.

struct IfdEntry {
    uint16_t tag;
    uint16_t type;  // 3 SHORT, 4 LONG
    uint32_t value;
};

void PutLe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

// A little-endian classic TIFF: header, `data` at offset 8, then one IFD of
// single-valued entries.
std::vector<uint8_t> HandMadeTiff(std::vector<IfdEntry> entries, const std::vector<uint8_t>& data) {
    std::sort(entries.begin(), entries.end(),
              [](const IfdEntry& a, const IfdEntry& b) { return a.tag < b.tag; });
    std::vector<uint8_t> out = {'I', 'I', 42, 0};
    const uint32_t ifdOffset = static_cast<uint32_t>(8 + data.size() + data.size() % 2);
    PutLe(out, ifdOffset, 4);
    out.insert(out.end(), data.begin(), data.end());
    out.resize(ifdOffset, 0);
    PutLe(out, static_cast<uint32_t>(entries.size()), 2);
    for (const IfdEntry& e : entries) {
        PutLe(out, e.tag, 2);
        PutLe(out, e.type, 2);
        PutLe(out, 1, 4);
        PutLe(out, e.value, e.type == 3 ? 2 : 4);
        if (e.type == 3) {
            PutLe(out, 0, 2);
        }
    }
    PutLe(out, 0, 4);  // no next directory
    return out;
}

constexpr uint16_t kShort = 3;
constexpr uint16_t kLong = 4;
constexpr uint32_t kDataOffset = 8;

struct GreyHeader {
    uint32_t width = 8;
    uint32_t height = 8;
    uint16_t compression = COMPRESSION_NONE;
    uint32_t stripOffset = kDataOffset;
    bool withLength = true;
    uint16_t samplesPerPixel = 1;
    uint32_t rowsPerStrip = 0;  // 0: one strip
};

// One 8-bit grey strip holding `data`.
std::vector<uint8_t> GreyStripFile(const GreyHeader& h, const std::vector<uint8_t>& data) {
    std::vector<IfdEntry> entries = {
        {TIFFTAG_IMAGEWIDTH, kLong, h.width},
        {TIFFTAG_BITSPERSAMPLE, kShort, 8},
        {TIFFTAG_COMPRESSION, kShort, h.compression},
        {TIFFTAG_PHOTOMETRIC, kShort, PHOTOMETRIC_MINISBLACK},
        {TIFFTAG_STRIPOFFSETS, kLong, h.stripOffset},
        {TIFFTAG_SAMPLESPERPIXEL, kShort, h.samplesPerPixel},
        {TIFFTAG_ROWSPERSTRIP, kLong, h.rowsPerStrip != 0 ? h.rowsPerStrip : h.height},
        {TIFFTAG_STRIPBYTECOUNTS, kLong, static_cast<uint32_t>(data.size())},
    };
    if (h.withLength) {
        entries.push_back({TIFFTAG_IMAGELENGTH, kLong, h.height});
    }
    return HandMadeTiff(entries, data);
}

// ---------------------------------------------------------------------------

void ExpectPixels(const ImageBuffer& image, const TiffCase& c) {
    ASSERT_EQ(static_cast<int32_t>(c.width), image.Width());
    ASSERT_EQ(static_cast<int32_t>(c.height), image.Height());
    ASSERT_EQ(24u, image.BitsPerPixel());
    ASSERT_EQ(0, image.PaletteSize());
    int worst = 0;
    uint32_t worstX = 0;
    uint32_t worstY = 0;
    for (uint32_t y = 0; y < c.height; ++y) {
        const uint8_t* row = image.Row(static_cast<int32_t>(y));
        for (uint32_t x = 0; x < c.width; ++x) {
            const Rgb want = ExpectedColour(c, x, y);
            const int got[3] = {row[3 * x], row[3 * x + 1], row[3 * x + 2]};
            const int wanted[3] = {want.red, want.green, want.blue};
            for (int k = 0; k < 3; ++k) {
                if (std::abs(got[k] - wanted[k]) > worst) {
                    worst = std::abs(got[k] - wanted[k]);
                    worstX = x;
                    worstY = y;
                }
            }
        }
    }
    EXPECT_LE(worst, c.tolerance) << "worst pixel at (" << worstX << ", " << worstY << ")";
}

std::string WriteBytes(const ScopedTempDir& dir, const std::string& name,
                       const std::vector<uint8_t>& bytes) {
    const std::string path = dir.File(name);
    test::WriteFileBytes(path, bytes);
    return path;
}

std::vector<uint8_t> Text(const std::string& text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

const TiffCase kLzwStrips = {
    "rgb-strips-lzw", "", Colour::kRgb, COMPRESSION_LZW, Layout::kStrips, 37, 23};

// The first test of the program, so that in a fresh process both threads
// race to install libtiff's silent handlers.
TEST(TiffReaderTest, TwoThreadsDecodeAtOnce) {
    PrivateTempFolder temp;
    ScopedTempDir dir;
    const std::string tiffPath = dir.File("rgb.tif");
    WriteTiff(tiffPath, kLzwStrips);
    const std::string textPath = WriteBytes(dir, "notes.txt", Text("not a picture at all\n"));

    constexpr int kRounds = 12;
    int decoded[2] = {0, 0};
    int refused[2] = {0, 0};
    int correct[2] = {0, 0};
    auto work = [&](int slot) {
        for (int round = 0; round < kRounds; ++round) {
            TiffReader reader;
            ImageBuffer image;
            if (reader.Open(textPath.c_str(), &image, nullptr) == 0) {
                ++refused[slot];
            }
            if (reader.Open(tiffPath.c_str(), &image, nullptr) == 1 && reader.Decode() == 1) {
                ++decoded[slot];
                const uint8_t* last = image.Row(22) + 3 * 36;
                const Rgb want = ExpectedColour(kLzwStrips, 36, 22);
                correct[slot] +=
                    last[0] == want.red && last[1] == want.green && last[2] == want.blue;
            }
        }
    };
    std::thread first(work, 0);
    std::thread second(work, 1);
    first.join();
    second.join();
    for (int slot = 0; slot < 2; ++slot) {
        EXPECT_EQ(kRounds, refused[slot]);
        EXPECT_EQ(kRounds, decoded[slot]);
        EXPECT_EQ(kRounds, correct[slot]);
    }
    EXPECT_TRUE(temp.Leftovers().empty());
}

class TiffDecodeTest : public testing::TestWithParam<TiffCase> {};

TEST_P(TiffDecodeTest, DecodesTopRowFirstAtKnownPixels) {
    const TiffCase& c = GetParam();
    PrivateTempFolder temp;
    ScopedTempDir dir;
    const std::string path = dir.File(std::string(c.name) + ".tif");
    WriteTiff(path, c);

    ImageBuffer image;
    TiffReader reader;
    ASSERT_EQ(1, reader.Open(path.c_str(), &image, nullptr));
    ASSERT_EQ(1, reader.Decode());
    ExpectPixels(image, c);
    EXPECT_EQ(1u, temp.Leftovers().size()) << "only the image's own store may remain";
    image.Reset();
    EXPECT_TRUE(temp.Leftovers().empty());
}

// clang-format off
const TiffCase kDecodeCases[] = {
    {"rgb-strips-none", "plain contiguous strips", Colour::kRgb, COMPRESSION_NONE, Layout::kStrips, 37, 23},
    kLzwStrips,
    {"rgb-strips-lzw-predictor", "horizontal differencing undone", Colour::kRgb, COMPRESSION_LZW, Layout::kStrips, 37, 23, 0, 0, PREDICTOR_HORIZONTAL},
    {"rgb-strips-packbits", "PackBits runs", Colour::kRgb, COMPRESSION_PACKBITS, Layout::kStrips, 37, 23},
    {"rgb-strips-deflate", "Deflate, the current code", Colour::kRgb, COMPRESSION_ADOBE_DEFLATE, Layout::kStrips, 37, 23},
    {"grey-strips-deflate-old-code", "Deflate under its first code, 32946", Colour::kGrey, COMPRESSION_DEFLATE, Layout::kStrips, 37, 23},
    {"rgb-tiles-lzw", "tiles, cut at the right and bottom edges", Colour::kRgb, COMPRESSION_LZW, Layout::kTiles, 37, 23},
    {"rgb-planar-strips-lzw", "one plane per sample", Colour::kRgb, COMPRESSION_LZW, Layout::kPlanarStrips, 37, 23},
    {"rgb-planar-tiles-deflate", "planes in tiles", Colour::kRgb, COMPRESSION_ADOBE_DEFLATE, Layout::kPlanarTiles, 37, 23},
    {"rgb16-strips-none", "16-bit samples reduced to 8", Colour::kRgb16, COMPRESSION_NONE, Layout::kStrips, 37, 23},
    {"grey-strips-none", "grey spread to three channels", Colour::kGrey, COMPRESSION_NONE, Layout::kStrips, 37, 23},
    {"grey-tiles-packbits", "grey in tiles", Colour::kGrey, COMPRESSION_PACKBITS, Layout::kTiles, 37, 23},
    {"bilevel-strips-packbits", "1-bit, min-is-white", Colour::kBilevel, COMPRESSION_PACKBITS, Layout::kStrips, 37, 23},
    {"bilevel-strips-g4", "CCITT Group 4 fax", Colour::kBilevel, COMPRESSION_CCITTFAX4, Layout::kStrips, 37, 23},
    {"bilevel-strips-g3", "CCITT Group 3 fax", Colour::kBilevel, COMPRESSION_CCITTFAX3, Layout::kStrips, 37, 23},
    {"palette-strips-lzw", "colour map of 16-bit entries", Colour::kPalette, COMPRESSION_LZW, Layout::kStrips, 37, 23},
    {"cmyk-strips-lzw", "inks subtracted from white", Colour::kCmyk, COMPRESSION_LZW, Layout::kStrips, 37, 23},
    {"cmyk-planar-strips-none", "separated inks in planes", Colour::kCmyk, COMPRESSION_NONE, Layout::kPlanarStrips, 37, 23},
    {"rgba-strips-deflate", "associated alpha dropped, colours as stored", Colour::kRgbAlpha, COMPRESSION_ADOBE_DEFLATE, Layout::kStrips, 37, 23},
    {"rgba-tiles-none", "alpha in tiles", Colour::kRgbAlpha, COMPRESSION_NONE, Layout::kTiles, 37, 23},
    {"jpeg-ycbcr-strips", "JPEG-in-TIFF, 2x2 chroma", Colour::kRgb, COMPRESSION_JPEG, Layout::kStrips, 64, 40, 12},
    {"jpeg-ycbcr-tiles", "JPEG-in-TIFF in tiles", Colour::kRgb, COMPRESSION_JPEG, Layout::kTiles, 40, 48, 12},
    {"jpeg-grey-strips", "grey JPEG-in-TIFF", Colour::kGrey, COMPRESSION_JPEG, Layout::kStrips, 40, 33, 6},
    {"multi-page-first-read", "the later, larger pages are ignored", Colour::kRgb, COMPRESSION_LZW, Layout::kStrips, 13, 9, 0, 2},
    {"height-1", "nothing to flip", Colour::kRgb, COMPRESSION_NONE, Layout::kStrips, 9, 1},
    {"height-2", "one exchange", Colour::kRgb, COMPRESSION_NONE, Layout::kStrips, 4, 2},
    {"height-3", "rows 0 and 2 exchanged, row 1 kept", Colour::kRgb, COMPRESSION_NONE, Layout::kStrips, 5, 3},
    {"width-1", "a single column", Colour::kGrey, COMPRESSION_LZW, Layout::kStrips, 1, 7},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Fixtures, TiffDecodeTest, testing::ValuesIn(kDecodeCases),
                         test::CaseName());

struct RefusalCase {
    const char* name;
    const char* reason;
    std::vector<uint8_t> bytes;
};

std::vector<uint8_t> ValidTiffBytes(const ScopedTempDir& dir) {
    const std::string path = dir.File("valid.tif");
    WriteTiff(path, kLzwStrips);
    return test::ReadFileBytes(path);
}

std::vector<uint8_t> Prefix(const std::vector<uint8_t>& bytes, size_t count) {
    return std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<ptrdiff_t>(count));
}

GreyHeader Sized(uint32_t width, uint32_t height) {
    GreyHeader h;
    h.width = width;
    h.height = height;
    h.compression = COMPRESSION_LZW;
    return h;
}

TEST(TiffReaderTest, OpenRefusesWhatItCannotRead) {
    PrivateTempFolder temp;
    ScopedTempDir dir;
    const std::vector<uint8_t> valid = ValidTiffBytes(dir);
    const std::vector<uint8_t> strip(16, 0);
    GreyHeader noLength;
    noLength.withLength = false;

    const RefusalCase cases[] = {
        {"empty", "no header at all", {}},
        {"text", "a text file probed by the chain", Text("hello, this is not a picture\n")},
        {"png-signature",
         "another reader's file",
         {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13}},
        {"truncated-header-4", "magic number only", Prefix(valid, 4)},
        {"truncated-header-7", "directory offset cut short", Prefix(valid, 7)},
        {"truncated-directory", "the directory, written last, cut off",
         Prefix(valid, valid.size() - 20)},
        {"ifd-offset-past-end",
         "directory offset beyond the file",
         {'I', 'I', 42, 0, 0, 0x10, 0, 0}},
        {"wrong-version", "byte order mark without 42", {'I', 'I', 43, 0, 8, 0, 0, 0}},
        {"missing-image-length", "a required size tag absent", GreyStripFile(noLength, strip)},
        {"width-0", "no columns", GreyStripFile(Sized(0, 8), strip)},
        {"raster-2^32", "65536 x 16384 x 4 needs 33 bits",
         GreyStripFile(Sized(65536, 16384), strip)},
        {"raster-2^34", "65535 x 65535 x 4", GreyStripFile(Sized(65535, 65535), strip)},
        {"row-2^32", "a single row of 2^30 pixels", GreyStripFile(Sized(1u << 30, 1), strip)},
        {"column-2^30", "a single column of 2^30 pixels", GreyStripFile(Sized(1, 1u << 30), strip)},
        {"width-2^32-1", "the width alone overflows the row",
         GreyStripFile(Sized(0xFFFFFFFFu, 1), strip)},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + c.reason);
        const std::string path = WriteBytes(dir, std::string(c.name) + ".bin", c.bytes);
        ImageBuffer image;
        TiffReader reader;
        test::ExpectNothingLargeMade(temp, [&] {
            EXPECT_EQ(0, reader.Open(path.c_str(), &image, nullptr));
            EXPECT_EQ(0, reader.Decode()) << "a refused reader is closed";
        });
        EXPECT_EQ(0, image.Width()) << "the image is untouched";
    }

    ImageBuffer image;
    TiffReader reader;
    const std::string validPath = WriteBytes(dir, "valid.bin", valid);
    EXPECT_EQ(0, reader.Open(validPath.c_str(), nullptr, nullptr)) << "no image buffer";
    EXPECT_EQ(0, reader.Open(dir.File("absent.tif").c_str(), &image, nullptr)) << "no file";
    EXPECT_TRUE(temp.Leftovers().empty());
}

// Sizes just inside the 32-bit raster are accepted; only Open runs, the
// raster of such a picture would take 4 GiB.
TEST(TiffReaderTest, OpenAcceptsTheLargestRasterThatFits) {
    ScopedTempDir dir;
    const std::vector<uint8_t> strip(16, 0);
    const GreyHeader sizes[] = {Sized(65535, 16384), Sized((1u << 30) - 1, 1),
                                Sized(1, (1u << 30) - 1)};
    for (const GreyHeader& h : sizes) {
        SCOPED_TRACE(std::to_string(h.width) + " x " + std::to_string(h.height));
        const std::string path = WriteBytes(dir, "big.tif", GreyStripFile(h, strip));
        ImageBuffer image;
        TiffReader reader;
        EXPECT_EQ(1, reader.Open(path.c_str(), &image, nullptr));
        EXPECT_EQ(1, reader.Close());
    }
}

struct DecodeFailureCase {
    const char* name;
    const char* reason;
    std::vector<uint8_t> bytes;
    bool refusedBeforeRaster = false;
};

std::vector<DecodeFailureCase> DecodeFailureCases() {
    GreyHeader pastEnd;
    pastEnd.compression = COMPRESSION_LZW;
    pastEnd.stripOffset = 1000000;
    GreyHeader unknown;
    unknown.compression = 34712;  // JPEG 2000, which this libtiff lacks
    GreyHeader jpeg;
    jpeg.compression = COMPRESSION_JPEG;
    // A raster of 236 MB, but 65535 samples per pixel make each strip of 40
    // rows 172 GB.
    GreyHeader hugeStrips = Sized(65535, 900);
    hugeStrips.samplesPerPixel = 65535;
    hugeStrips.rowsPerStrip = 40;
    // Within libtiff's 4 GiB cap, but each strip of 40 rows still takes
    // 2.7 GB for a raster of 3.7 MB.
    GreyHeader manySamples = Sized(1023, 900);
    manySamples.samplesPerPixel = 65535;
    manySamples.rowsPerStrip = 40;
    std::vector<DecodeFailureCase> cases = {
        {"strip-past-end", "the only strip lies beyond the end of the file",
         GreyStripFile(pastEnd, std::vector<uint8_t>(16, 0))},
        {"compression-unknown", "a scheme libtiff cannot decode",
         GreyStripFile(unknown, std::vector<uint8_t>(64, 0x5A)), true},
        {"jpeg-strip-garbage", "JPEG-in-TIFF whose strip is no JPEG stream",
         GreyStripFile(jpeg, std::vector<uint8_t>(64, 0x5A))},
        {"strip-of-172-gb", "a strip buffer no system should be asked for",
         GreyStripFile(hugeStrips, std::vector<uint8_t>(64, 0)), true},
        {"strip-of-2.7-gb", "65535 samples per pixel, strips out of all proportion",
         GreyStripFile(manySamples, std::vector<uint8_t>(64, 0)), true},
        {"tile-of-1-gb", "an 8 x 8 picture in one 32768 x 32768 tile",
         HandMadeTiff({{TIFFTAG_IMAGEWIDTH, kLong, 8},
                       {TIFFTAG_IMAGELENGTH, kLong, 8},
                       {TIFFTAG_BITSPERSAMPLE, kShort, 8},
                       {TIFFTAG_PHOTOMETRIC, kShort, PHOTOMETRIC_MINISBLACK},
                       {TIFFTAG_TILEWIDTH, kLong, 32768},
                       {TIFFTAG_TILELENGTH, kLong, 32768},
                       {TIFFTAG_TILEOFFSETS, kLong, kDataOffset},
                       {TIFFTAG_TILEBYTECOUNTS, kLong, 64}},
                      std::vector<uint8_t>(64, 0)),
         true},
    };
    return cases;
}

TEST(TiffReaderTest, DecodeFailsOnDataLibtiffCannotRender) {
    PrivateTempFolder temp;
    ScopedTempDir dir;
    for (const DecodeFailureCase& c : DecodeFailureCases()) {
        SCOPED_TRACE(std::string(c.name) + ": " + c.reason);
        const std::string path = WriteBytes(dir, std::string(c.name) + ".tif", c.bytes);
        {
            ImageBuffer image;
            TiffReader reader;
            ASSERT_EQ(1, reader.Open(path.c_str(), &image, nullptr)) << "the header is sound";
            EXPECT_EQ(0, reader.Decode());
            EXPECT_EQ(0, reader.Decode()) << "Decode closed the reader";
        }
        EXPECT_TRUE(temp.Leftovers().empty()) << "the raster's file must be deleted";
        if (c.refusedBeforeRaster) {
            EXPECT_EQ(0, temp.StoresMade()) << "refused before any raster is made";
        }
        temp.StoresMade();
    }
}

// Nothing of libtiff's may reach the console: neither the probe of a foreign
// file nor a failing decode.
TEST(TiffReaderTest, LibtiffStaysSilent) {
    PrivateTempFolder temp;
    ScopedTempDir dir;
    const std::string textPath = WriteBytes(dir, "text.txt", Text("plain words\n"));
    std::vector<std::string> failing;
    for (const DecodeFailureCase& c : DecodeFailureCases()) {
        failing.push_back(WriteBytes(dir, std::string(c.name) + ".tif", c.bytes));
    }
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    {
        ImageBuffer image;
        TiffReader reader;
        reader.Open(textPath.c_str(), &image, nullptr);
        for (const std::string& path : failing) {
            if (reader.Open(path.c_str(), &image, nullptr) == 1) {
                reader.Decode();
            }
        }
    }
    // Messages libtiff raises outside any handle go to the process-wide
    // handlers, which the reader silenced when it first opened a file.
    TIFFError("probe", "process-wide error %d", 1);
    TIFFWarning("probe", "process-wide warning %d", 2);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ("", out);
    EXPECT_EQ("", err);
}

using test::g_progress;
using test::ProgressEvent;
using test::RecordProgress;

TEST(TiffReaderTest, ReportsEveryRowAndTheEnd) {
    PrivateTempFolder temp;
    ScopedTempDir dir;
    const std::string path = dir.File("three.tif");
    WriteTiff(path, {"three", "", Colour::kGrey, COMPRESSION_NONE, Layout::kStrips, 2, 3});
    ImageBuffer image;
    TiffReader reader;
    g_progress.clear();
    ASSERT_EQ(1, reader.Open(path.c_str(), &image, RecordProgress));
    ASSERT_EQ(1, reader.Decode());
    const std::vector<ProgressEvent> decoded = {{kDecoding, 33, 0, 0},
                                                {kDecoding, 66, 1, 0},
                                                {kDecoding, 100, 2, 0},
                                                {kDecoding, 100, 2, 0}};
    EXPECT_EQ(decoded, g_progress);

    const DecodeFailureCase failure = DecodeFailureCases()[0];
    const std::string failPath = WriteBytes(dir, "fail.tif", failure.bytes);
    g_progress.clear();
    ASSERT_EQ(1, reader.Open(failPath.c_str(), &image, RecordProgress));
    ASSERT_EQ(0, reader.Decode());
    const std::vector<ProgressEvent> failed = {{kDecoding, 100, 7, 0}};
    EXPECT_EQ(failed, g_progress) << "a failed decode ends at 100 percent";
}

// An open reader opened again drops the first file; a second picture of the
// same size goes into the same image, which is reused and fully rewritten.
TEST(TiffReaderTest, ReaderAndImageServeSeveralFiles) {
    PrivateTempFolder temp;
    ScopedTempDir dir;
    const TiffCase rgb = kLzwStrips;
    TiffCase grey = kLzwStrips;
    grey.name = "grey";
    grey.colour = Colour::kGrey;
    const std::string rgbPath = dir.File("rgb.tif");
    const std::string greyPath = dir.File("grey.tif");
    WriteTiff(rgbPath, rgb);
    WriteTiff(greyPath, grey);

    ImageBuffer image;
    TiffReader reader;
    ASSERT_EQ(1, reader.Open(rgbPath.c_str(), &image, nullptr));
    ASSERT_EQ(1, reader.Open(greyPath.c_str(), &image, nullptr));
    ASSERT_EQ(1, reader.Decode());
    ExpectPixels(image, grey);
    ASSERT_EQ(1, reader.Open(rgbPath.c_str(), &image, nullptr));
    ASSERT_EQ(1, reader.Decode());
    ExpectPixels(image, rgb);
    image.Reset();
    EXPECT_TRUE(temp.Leftovers().empty());
}

// libtiff's RGBA renderer has no path for these; they are valid TIFF all
// the same, so the reader accepts them and its decode fails.
const std::set<std::string> kValidButNotRenderable = {
    "tiff/libtiff/test_float64_predictor2_be_lzw.tif",  // 64-bit floating-point samples
    "tiff/libtiff/test_float64_predictor2_le_lzw.tif",
    "tiff/pillow/12bit.cropped.tif",  // 12 bits per sample
};

bool MarkedValid(const test::CorpusEntry& entry) {
    return entry.format != "-" && entry.notes.find("corrupt") == std::string::npos;
}

TEST(TiffReaderTest, CorpusFilesConvert) {
    const std::vector<test::CorpusEntry> entries = test::CorpusManifest("tiff/");
    if (entries.empty()) {
        GTEST_SKIP() << "no picture corpus beside this checkout";
    }
    PrivateTempFolder temp;
    for (const test::CorpusEntry& entry : entries) {
        SCOPED_TRACE(entry.path + " (" + entry.notes.substr(0, 80) + ")");
        const std::string path = test::CorpusPath(entry.path);
        int32_t opened = 0;
        int32_t decoded = 0;
        int32_t width = 0;
        int32_t height = 0;
        {
            ImageBuffer image;
            TiffReader reader;
            opened = reader.Open(path.c_str(), &image, nullptr);
            decoded = opened == 1 ? reader.Decode() : 0;
            width = image.Width();
            height = image.Height();
        }
        EXPECT_TRUE(temp.Leftovers().empty());
        if (!MarkedValid(entry)) {
            continue;  // damaged files only have to pass without harm
        }
        if (kValidButNotRenderable.count(entry.path) != 0) {
            EXPECT_EQ(1, opened);
            EXPECT_EQ(0, decoded);
            continue;
        }
        EXPECT_EQ(1, opened);
        EXPECT_EQ(1, decoded);
        EXPECT_EQ(entry.width, width);
        EXPECT_EQ(entry.height, height);
    }
}

}  // namespace
}  // namespace tolvane
