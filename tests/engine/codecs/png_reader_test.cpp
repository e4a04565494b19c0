#include "engine/codecs/png_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/image_buffer.h"
#include "support/fixtures.h"
#include "support/test_support.h"

namespace tolvane {
namespace {

using test::PngFixture;
using Bytes = std::vector<uint8_t>;
using Palette = std::vector<std::array<uint8_t, 3>>;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr int kGrey = PNG_COLOR_TYPE_GRAY;
constexpr int kRgb = PNG_COLOR_TYPE_RGB;
constexpr int kPalette = PNG_COLOR_TYPE_PALETTE;
constexpr int kGreyAlpha = PNG_COLOR_TYPE_GRAY_ALPHA;
constexpr int kRgba = PNG_COLOR_TYPE_RGB_ALPHA;

using test::g_progress;
using test::ProgressEvent;
using test::RecordProgress;

// --- PNG chunk surgery, for files libpng's writer refuses to make ---------

constexpr size_t kSignatureSize = 8;

struct Chunk {
    std::string type;
    Bytes data;
};

uint32_t BigEndian32(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void PutBigEndian32(Bytes& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

std::vector<Chunk> SplitChunks(const Bytes& png) {
    std::vector<Chunk> chunks;
    for (size_t at = kSignatureSize; at + 12 <= png.size();) {
        const uint32_t length = BigEndian32(&png[at]);
        Chunk chunk;
        chunk.type.assign(reinterpret_cast<const char*>(&png[at + 4]), 4);
        chunk.data.assign(png.begin() + at + 8, png.begin() + at + 8 + length);
        chunks.push_back(chunk);
        at += 12 + length;
    }
    return chunks;
}

// The signature, then every chunk with a freshly computed CRC.
Bytes JoinChunks(const std::vector<Chunk>& chunks) {
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (const Chunk& chunk : chunks) {
        PutBigEndian32(png, static_cast<uint32_t>(chunk.data.size()));
        const size_t typeAt = png.size();
        png.insert(png.end(), chunk.type.begin(), chunk.type.end());
        png.insert(png.end(), chunk.data.begin(), chunk.data.end());
        PutBigEndian32(png, static_cast<uint32_t>(
                                crc32(0, &png[typeAt], static_cast<uInt>(4 + chunk.data.size()))));
    }
    return png;
}

// Offset of the first byte of the named chunk's length field.
size_t ChunkOffset(const Bytes& png, const char* type) {
    const auto at = std::search(png.begin(), png.end(), type, type + 4);
    return static_cast<size_t>(at - png.begin()) - 4;
}

Bytes WithIhdr(const Bytes& png, uint32_t width, uint32_t height) {
    std::vector<Chunk> chunks = SplitChunks(png);
    Bytes size;
    PutBigEndian32(size, width);
    PutBigEndian32(size, height);
    std::copy(size.begin(), size.end(), chunks.front().data.begin());
    return JoinChunks(chunks);
}

// The file up to the end of IHDR, then the header of a chunk claiming
// `length` bytes and a few bytes of it: the file ends long before the chunk.
Bytes WithChunkClaim(const Bytes& png, const char* type, uint32_t length) {
    constexpr size_t kIhdrEnd = kSignatureSize + 12 + 13;
    Bytes b(png.begin(), png.begin() + kIhdrEnd);
    PutBigEndian32(b, length);
    b.insert(b.end(), type, type + 4);
    b.insert(b.end(), 16, 'x');
    return b;
}

// --- fixtures --------------------------------------------------------------

Palette Ramp(int entries) {
    Palette palette;
    for (int i = 0; i < entries; ++i) {
        palette.push_back(
            {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7)});
    }
    return palette;
}

// 16-bit samples whose high bytes are `samples`; the low bytes vary so that
// rounding instead of dropping them would show.
Bytes Widen(const Bytes& samples) {
    Bytes wide;
    for (size_t i = 0; i < samples.size(); ++i) {
        wide.push_back(samples[i]);
        wide.push_back(static_cast<uint8_t>(0xF0 + i % 16));
    }
    return wide;
}

int Channels(int colorType) {
    switch (colorType) {
        case PNG_COLOR_TYPE_RGB:
            return 3;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            return 4;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            return 2;
        default:
            return 1;
    }
}

// Deterministic noise in 0 .. levels - 1.
Bytes Noise(size_t count, int levels, uint32_t seed) {
    Bytes samples(count);
    for (uint8_t& s : samples) {
        seed = seed * 1103515245u + 12345u;
        s = static_cast<uint8_t>((seed >> 16) % static_cast<uint32_t>(levels));
    }
    return samples;
}

Bytes ImageBytes(const ImageBuffer& image) {
    return Bytes(image.Pixels(),
                 image.Pixels() + static_cast<size_t>(image.Stride()) * image.Height());
}

Palette ImagePalette(const ImageBuffer& image) {
    Palette palette;
    for (int i = 0; i < image.PaletteSize(); ++i) {
        const PaletteEntry& e = image.PaletteEntries()[i];
        palette.push_back({e.red, e.green, e.blue});
    }
    return palette;
}

// Every test runs with $TMPDIR pointed at a private folder and leaves no
// pixel store behind, whatever the outcome of the decode.
class PngReaderTest : public ::testing::Test {
  protected:
    void SetUp() override { g_progress.clear(); }
    void TearDown() override { EXPECT_THAT(m_temp.Leftovers(), IsEmpty()); }

    std::string Write(const std::string& name, const PngFixture& fixture) {
        const std::string path = m_dir.File(name);
        test::WritePng(path, fixture);
        return path;
    }
    std::string Write(const std::string& name, const Bytes& bytes) {
        const std::string path = m_dir.File(name);
        test::WriteFileBytes(path, bytes);
        return path;
    }
    Bytes Encode(const PngFixture& fixture) {
        return test::ReadFileBytes(Write("encoded.png", fixture));
    }

    test::PrivateTempFolder m_temp;
    test::ScopedTempDir m_dir;
};

// --- every colour type and depth --------------------------------------------

struct FormCase {
    const char* name;
    int colorType;
    int bitDepth;
    Bytes samples;  // 3 x 2 pixels, as the file stores them
    Palette palette;
    Bytes transparency;
    uint32_t bits;  // depth of the decoded image
    Bytes pixels;   // its bytes, rows top down
};

void PrintTo(const FormCase& c, std::ostream* os) {
    *os << c.name;
}

const Bytes kTwoBit = {0, 1, 2, 3, 2, 1};
const Bytes kTwoBitScaled = {0, 85, 170, 255, 170, 85};
const Bytes kIndices8 = {0, 255, 128, 7, 64, 200};
const Bytes kGrey8 = {0, 1, 127, 128, 254, 255};
const Bytes kRgb8 = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 250, 251, 252};
const Bytes kRgba8 = {1,   2,   3,  4,   5,  6,  7,  8,  // plain
                      200, 100, 50, 0,                   // fully transparent
                      9,   10,  11, 255, 12, 13, 14, 128, 15, 16, 17, 1};
const Bytes kRgba8AlphaFirst = {4,   1, 2,  3,  8,   5,  6,  7,  0, 200, 100, 50,
                                255, 9, 10, 11, 128, 12, 13, 14, 1, 15,  16,  17};
const Bytes kGreyAlpha8 = {10, 255, 20, 0, 30, 128, 40, 1, 50, 77, 60, 200};
const Bytes kGreyOfGreyAlpha8 = {10, 20, 30, 40, 50, 60};

const FormCase kForms[] = {
    // Low-depth grey is scaled to the full 0..255 range.
    {"grey1", kGrey, 1, {0, 1, 1, 1, 0, 0}, {}, {}, 8, {0, 255, 255, 255, 0, 0}},
    {"grey2", kGrey, 2, kTwoBit, {}, {}, 8, kTwoBitScaled},
    {"grey4", kGrey, 4, {0, 1, 7, 8, 14, 15}, {}, {}, 8, {0, 17, 119, 136, 238, 255}},
    {"grey8", kGrey, 8, kGrey8, {}, {}, 8, kGrey8},
    {"grey16_high_bytes_kept", kGrey, 16, Widen(kGrey8), {}, {}, 8, kGrey8},
    // tRNS on grey: ignored at 8 bits, and at low depth the alpha that
    // expansion makes is dropped, never composited.
    {"grey8_trns_ignored", kGrey, 8, kGrey8, {}, {127}, 8, kGrey8},
    {"grey2_trns_alpha_dropped", kGrey, 2, kTwoBit, {}, {1}, 8, kTwoBitScaled},
    {"grey_alpha8_to_grey", kGreyAlpha, 8, kGreyAlpha8, {}, {}, 8, kGreyOfGreyAlpha8},
    {"grey_alpha16_to_grey", kGreyAlpha, 16, Widen(kGreyAlpha8), {}, {}, 8, kGreyOfGreyAlpha8},
    // Palette files keep their indices, one per byte, and their palette.
    {"palette1", kPalette, 1, {0, 1, 1, 1, 0, 1}, Ramp(2), {}, 8, {0, 1, 1, 1, 0, 1}},
    {"palette2", kPalette, 2, kTwoBit, Ramp(4), {}, 8, kTwoBit},
    {"palette4", kPalette, 4, {0, 5, 15, 9, 1, 14}, Ramp(16), {}, 8, {0, 5, 15, 9, 1, 14}},
    {"palette8", kPalette, 8, kIndices8, Ramp(256), {}, 8, kIndices8},
    {"palette8_trns_ignored", kPalette, 8, kTwoBit, Ramp(4), {0, 128}, 8, kTwoBit},
    {"rgb8", kRgb, 8, kRgb8, {}, {}, 24, kRgb8},
    {"rgb8_trns_ignored", kRgb, 8, kRgb8, {}, {4, 5, 6}, 24, kRgb8},
    {"rgb16_high_bytes_kept", kRgb, 16, Widen(kRgb8), {}, {}, 24, kRgb8},
    {"rgba8_alpha_first", kRgba, 8, kRgba8, {}, {}, 32, kRgba8AlphaFirst},
    {"rgba16_alpha_first", kRgba, 16, Widen(kRgba8), {}, {}, 32, kRgba8AlphaFirst},
};

class PngFormTest : public PngReaderTest, public ::testing::WithParamInterface<FormCase> {};

TEST_P(PngFormTest, DecodesToTheBufferForm) {
    const FormCase& c = GetParam();
    PngFixture fixture;
    fixture.width = 3;
    fixture.height = 2;
    fixture.colorType = c.colorType;
    fixture.bitDepth = c.bitDepth;
    fixture.samples = c.samples;
    fixture.palette = c.palette;
    fixture.transparency = c.transparency;
    const std::string path = Write("form.png", fixture);

    ImageBuffer image;
    PngReader reader;
    ASSERT_EQ(reader.Open(path.c_str(), &image, nullptr), 1);
    ASSERT_EQ(reader.Decode(), 1);
    EXPECT_EQ(image.Width(), 3);
    EXPECT_EQ(image.Height(), 2);
    EXPECT_EQ(image.BitsPerPixel(), c.bits);
    EXPECT_THAT(ImagePalette(image), ElementsAreArray(c.palette));
    EXPECT_THAT(ImageBytes(image), ElementsAreArray(c.pixels));
}

INSTANTIATE_TEST_SUITE_P(AllColourTypes, PngFormTest, ::testing::ValuesIn(kForms),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Adam7 -----------------------------------------------------------------

struct InterlaceCase {
    const char* name;
    int colorType;
    int bitDepth;
};

void PrintTo(const InterlaceCase& c, std::ostream* os) {
    *os << c.name;
}

const InterlaceCase kInterlaceCases[] = {
    {"grey1", kGrey, 1},       {"grey4", kGrey, 4},
    {"grey8", kGrey, 8},       {"grey_alpha8", kGreyAlpha, 8},
    {"palette2", kPalette, 2}, {"palette8", kPalette, 8},
    {"rgb8", kRgb, 8},         {"rgb16", kRgb, 16},
    {"rgba8", kRgba, 8},
};

class PngInterlaceTest : public PngReaderTest,
                         public ::testing::WithParamInterface<InterlaceCase> {};

// Sizes that are no multiple of 8 leave some passes with partial rows.
TEST_P(PngInterlaceTest, SamePixelsAsPlainFileAndOneReportPerRowAndPass) {
    const InterlaceCase& c = GetParam();
    constexpr int kWidth = 37;
    constexpr int kHeight = 23;
    PngFixture fixture;
    fixture.width = kWidth;
    fixture.height = kHeight;
    fixture.colorType = c.colorType;
    fixture.bitDepth = c.bitDepth;
    const int levels = c.bitDepth >= 8 ? 256 : 1 << c.bitDepth;
    fixture.samples = Noise(
        static_cast<size_t>(kWidth) * kHeight * Channels(c.colorType) * (c.bitDepth == 16 ? 2 : 1),
        levels, 7);
    if (c.colorType == kPalette) fixture.palette = Ramp(levels);

    Bytes decoded[2];
    for (const bool interlaced : {false, true}) {
        SCOPED_TRACE(interlaced ? "interlaced" : "plain");
        fixture.interlaced = interlaced;
        const std::string path = Write(interlaced ? "adam7.png" : "plain.png", fixture);
        g_progress.clear();
        ImageBuffer image;
        PngReader reader;
        ASSERT_EQ(reader.Open(path.c_str(), &image, RecordProgress), 1);
        ASSERT_EQ(reader.Decode(), 1);
        decoded[interlaced] = ImageBytes(image);

        const size_t passes = interlaced ? 7 : 1;
        ASSERT_EQ(g_progress.size(), passes * kHeight + 1);
        for (size_t i = 0; i < g_progress.size() - 1; ++i) {
            const int32_t row = static_cast<int32_t>(i % kHeight);
            EXPECT_EQ(g_progress[i].row, row);
            EXPECT_EQ(g_progress[i].percent, ProgressPercent(row, kHeight));
        }
        EXPECT_EQ(g_progress.back().row, kHeight - 1);
        EXPECT_EQ(g_progress.back().percent, 100);
        for (const ProgressEvent& call : g_progress) {
            EXPECT_EQ(call.direction, kDecoding);
            EXPECT_EQ(call.reserved, 0);
        }
    }
    EXPECT_EQ(decoded[true], decoded[false]);
}

INSTANTIATE_TEST_SUITE_P(ColourTypes, PngInterlaceTest, ::testing::ValuesIn(kInterlaceCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- gamma -----------------------------------------------------------------

struct GammaCase {
    const char* name;
    int colorType;
    double gamma;  // gAMA when > 0
    bool srgb;
    bool corrected;
};

void PrintTo(const GammaCase& c, std::ostream* os) {
    *os << c.name;
}

const GammaCase kGammaCases[] = {
    {"grey_srgb", kGrey, 0.0, true, false},
    {"grey_no_gama", kGrey, 0.0, false, false},
    {"grey_gama_045455", kGrey, 0.45455, false, false},
    {"grey_gama_1", kGrey, 1.0, false, true},
    {"rgb_srgb", kRgb, 0.0, true, false},
    {"rgb_no_gama", kRgb, 0.0, false, false},
    {"rgb_gama_045455", kRgb, 0.45455, false, false},
    {"rgb_gama_1", kRgb, 1.0, false, true},
    {"rgba_gama_1_alpha_untouched", kRgba, 1.0, false, true},
    // The palette is taken as stored; indices are never corrected.
    {"palette_gama_1", kPalette, 1.0, false, false},
};

class PngGammaTest : public PngReaderTest, public ::testing::WithParamInterface<GammaCase> {};

// A linear (gamma 1.0) sample v shown on a 2.2 screen: 255 * (v / 255)^(1 / 2.2).
int LinearToScreen(int v) {
    return static_cast<int>(std::floor(255.0 * std::pow(v / 255.0, 1.0 / 2.2) + 0.5));
}

TEST_P(PngGammaTest, CorrectsOnlyFarFromScreenGamma) {
    const GammaCase& c = GetParam();
    const Bytes levels = {0, 16, 64, 128, 200, 255};
    const int channels = Channels(c.colorType);
    PngFixture fixture;
    fixture.width = static_cast<int>(levels.size());
    fixture.colorType = c.colorType;
    fixture.gamma = c.gamma;
    fixture.srgb = c.srgb;
    for (size_t x = 0; x < levels.size(); ++x) {
        for (int ch = 0; ch < channels; ++ch) {
            fixture.samples.push_back(c.colorType == kPalette ? static_cast<uint8_t>(x)
                                                              : levels[(x + ch) % levels.size()]);
        }
    }
    if (c.colorType == kPalette) {
        for (uint8_t v : levels) fixture.palette.push_back({v, v, v});
    }
    const std::string path = Write("gamma.png", fixture);

    ImageBuffer image;
    PngReader reader;
    ASSERT_EQ(reader.Open(path.c_str(), &image, nullptr), 1);
    ASSERT_EQ(reader.Decode(), 1);
    EXPECT_THAT(ImagePalette(image), ElementsAreArray(fixture.palette));
    const Bytes pixels = ImageBytes(image);
    ASSERT_EQ(pixels.size(), fixture.samples.size());
    for (size_t x = 0; x < levels.size(); ++x) {
        for (int ch = 0; ch < channels; ++ch) {
            const bool alpha = c.colorType == kRgba && ch == 3;
            const int stored = fixture.samples[x * channels + ch];
            // Alpha comes first in the buffer.
            const size_t at = x * channels + (c.colorType == kRgba ? (ch + 1) % 4 : ch);
            if (c.corrected && !alpha) {
                EXPECT_NEAR(pixels[at], LinearToScreen(stored), 1)
                    << "pixel " << x << " sample " << ch;
            } else {
                EXPECT_EQ(pixels[at], stored) << "pixel " << x << " sample " << ch;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(GammaChunks, PngGammaTest, ::testing::ValuesIn(kGammaCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- files Open must refuse ----------------------------------------------------

PngFixture SmallRgb() {
    PngFixture fixture;
    fixture.width = 3;
    fixture.height = 2;
    fixture.samples = kRgb8;
    return fixture;
}

PngFixture SmallPalette() {
    PngFixture fixture = SmallRgb();
    fixture.colorType = PNG_COLOR_TYPE_PALETTE;
    fixture.samples = {0, 1, 2, 3, 2, 1};
    fixture.palette = Ramp(4);
    return fixture;
}

Bytes PatchIhdrByte(const Bytes& png, size_t field, uint8_t value) {
    std::vector<Chunk> chunks = SplitChunks(png);
    chunks.front().data[field] = value;
    return JoinChunks(chunks);
}

struct BadFileCase {
    const char* name;
    // Makes the file's bytes from a valid small RGB file (or a palette file
    // when `palette` is set).
    std::function<Bytes(const Bytes&)> make;
    bool palette = false;
    // Decode must fail before it makes a pixel store.
    bool failsBeforeStore = false;
};

void PrintTo(const BadFileCase& c, std::ostream* os) {
    *os << c.name;
}

const BadFileCase kRefusedByOpen[] = {
    {"empty_file", [](const Bytes&) { return Bytes{}; }},
    {"text_file",
     [](const Bytes&) { return Bytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g', '\n'}; }},
    {"jpeg_file",
     [](const Bytes&) { return Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 16, 'J', 'F', 'I', 'F', 0}; }},
    {"signature_only", [](const Bytes& png) { return Bytes(png.begin(), png.begin() + 8); }},
    {"ihdr_cut_short", [](const Bytes& png) { return Bytes(png.begin(), png.begin() + 20); }},
    {"bad_ihdr_crc",
     [](const Bytes& png) {
         Bytes b = png;
         b[29] ^= 0xFF;
         return b;
     }},
    {"bad_signature_byte",
     [](const Bytes& png) {
         Bytes b = png;
         b[1] = 'Q';
         return b;
     }},
    {"colour_type_1", [](const Bytes& png) { return PatchIhdrByte(png, 9, 1); }},
    {"bit_depth_3", [](const Bytes& png) { return PatchIhdrByte(png, 8, 3); }},
    {"zero_width", [](const Bytes& png) { return WithIhdr(png, 0, 2); }},
    // libpng's default limit is 1,000,000 pixels either way.
    {"width_past_limit", [](const Bytes& png) { return WithIhdr(png, 0x7FFFFFFF, 1); }},
    {"height_past_31_bits", [](const Bytes& png) { return WithIhdr(png, 1, 0x80000000u); }},
    // libpng reserves a text or list chunk's stated length before reading it.
    {"text_chunk_claims_2_gib",
     [](const Bytes& png) { return WithChunkClaim(png, "tEXt", 0x7FFFFFF0); }},
    {"itxt_chunk_claims_800_mb",
     [](const Bytes& png) { return WithChunkClaim(png, "iTXt", 820549215); }},
    {"splt_chunk_claims_2_gib",
     [](const Bytes& png) { return WithChunkClaim(png, "sPLT", 0x7FFFFFF0); }},
    {"plte_of_300_entries",
     [](const Bytes& png) {
         std::vector<Chunk> chunks = SplitChunks(png);
         for (Chunk& c : chunks) {
             if (c.type == "PLTE") c.data.assign(900, 0x40);
         }
         return JoinChunks(chunks);
     },
     true},
    {"palette_without_plte",
     [](const Bytes& png) {
         std::vector<Chunk> chunks = SplitChunks(png);
         std::erase_if(chunks, [](const Chunk& c) { return c.type == "PLTE"; });
         return JoinChunks(chunks);
     },
     true},
};

class PngRefusedTest : public PngReaderTest, public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(PngRefusedTest, OpenRefusesAndLeavesTheReaderClosed) {
    const BadFileCase& c = GetParam();
    const Bytes valid = Encode(c.palette ? SmallPalette() : SmallRgb());
    const std::string path = Write("bad.png", c.make(valid));
    ImageBuffer image;
    PngReader reader;
    const std::optional<size_t> largest = test::LargestAllocationDuring(
        [&] { EXPECT_EQ(reader.Open(path.c_str(), &image, nullptr), 0); });
    if (largest) {
        EXPECT_LT(*largest, test::kLargeAllocation);
    }
    EXPECT_EQ(reader.Decode(), 0);
    EXPECT_EQ(image.Width(), 0);
    EXPECT_EQ(m_temp.StoresMade(), 0);
}

INSTANTIATE_TEST_SUITE_P(NotReadable, PngRefusedTest, ::testing::ValuesIn(kRefusedByOpen),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PngReaderTest, MissingFileIsRefused) {
    ImageBuffer image;
    PngReader reader;
    EXPECT_EQ(reader.Open(m_dir.File("absent.png").c_str(), &image, nullptr), 0);
}

// --- files Open accepts but Decode must fail on -----------------------------

PngFixture NoisyRgb() {
    PngFixture fixture;
    fixture.width = 64;
    fixture.height = 64;
    fixture.samples = Noise(64 * 64 * 3, 256, 3);
    return fixture;
}

const BadFileCase kFailedByDecode[] = {
    {"truncated_inside_idat",
     [](const Bytes& png) {
         const size_t idat = ChunkOffset(png, "IDAT");
         return Bytes(png.begin(), png.begin() + idat + 8 + BigEndian32(&png[idat]) / 2);
     }},
    {"ends_before_iend",
     [](const Bytes& png) { return Bytes(png.begin(), png.begin() + ChunkOffset(png, "IEND")); }},
    {"iend_crc_cut", [](const Bytes& png) { return Bytes(png.begin(), png.end() - 2); }},
    {"bad_idat_crc",
     [](const Bytes& png) {
         Bytes b = png;
         const size_t idat = ChunkOffset(png, "IDAT");
         b[idat + 8 + BigEndian32(&png[idat])] ^= 0xFF;
         return b;
     }},
    // Accepted by libpng's limits, but the pixel store would need 2^32 bytes
    // or more: refused when the buffer is made, before any row is read.
    {"declares_1000000_squared", [](const Bytes& png) { return WithIhdr(png, 1000000, 1000000); },
     false, true},
    {"declares_just_over_4_gib_rgb", [](const Bytes& png) { return WithIhdr(png, 65536, 21846); },
     false, true},
    // A store that could be made, 2.7 GB, for a file of a few kilobytes:
    // its data cannot hold those pixels, so no store is made for it.
    {"declares_30000_squared", [](const Bytes& png) { return WithIhdr(png, 30000, 30000); }, false,
     true},
    {"declares_one_row_of_1000000", [](const Bytes& png) { return WithIhdr(png, 1000000, 64); },
     false, true},
};

class PngDecodeFailsTest : public PngReaderTest,
                           public ::testing::WithParamInterface<BadFileCase> {};

TEST_P(PngDecodeFailsTest, OpenAcceptsDecodeFailsAndStillReportsTheEnd) {
    const BadFileCase& c = GetParam();
    const std::string path = Write("bad.png", c.make(Encode(NoisyRgb())));
    ImageBuffer image;
    PngReader reader;
    ASSERT_EQ(reader.Open(path.c_str(), &image, RecordProgress), 1);
    m_temp.StoresMade();
    EXPECT_EQ(reader.Decode(), 0);
    if (c.failsBeforeStore) {
        EXPECT_EQ(m_temp.StoresMade(), 0);
    }
    ASSERT_FALSE(g_progress.empty());
    EXPECT_EQ(g_progress.back().percent, 100);
    // The reader is closed: a second Decode has nothing to read.
    EXPECT_EQ(reader.Decode(), 0);
}

INSTANTIATE_TEST_SUITE_P(Damaged, PngDecodeFailsTest, ::testing::ValuesIn(kFailedByDecode),
                         [](const auto& info) { return std::string(info.param.name); });

// --- palette indices past the palette ----------------------------------------

TEST_F(PngReaderTest, IndicesPastTheShortenedPaletteArePassedOn) {
    std::vector<Chunk> chunks = SplitChunks(Encode(SmallPalette()));
    for (Chunk& chunk : chunks) {
        if (chunk.type == "PLTE") chunk.data.resize(2 * 3);
    }
    const std::string path = Write("short-plte.png", JoinChunks(chunks));
    ImageBuffer image;
    PngReader reader;
    ASSERT_EQ(reader.Open(path.c_str(), &image, nullptr), 1);
    ASSERT_EQ(reader.Decode(), 1);
    EXPECT_THAT(ImagePalette(image), ElementsAreArray(Ramp(2)));
    EXPECT_THAT(ImageBytes(image), ElementsAreArray(Bytes{0, 1, 2, 3, 2, 1}));
}

// --- destination reuse -------------------------------------------------------

struct ReuseCase {
    const char* name;
    bool palette;  // the 4-entry palette file, else the RGB file; both 3 x 2
    int32_t width;
    int32_t height;
    uint32_t bits;
    int32_t paletteSize;
    bool reused;
};

void PrintTo(const ReuseCase& c, std::ostream* os) {
    *os << c.name;
}

const ReuseCase kReuseCases[] = {
    {"rgb_same_form", false, 3, 2, 24, 0, true},
    {"rgb_other_depth", false, 3, 2, 32, 0, false},
    {"rgb_other_size", false, 2, 3, 24, 0, false},
    {"palette_same_form", true, 3, 2, 8, 4, true},
    {"palette_other_palette_size", true, 3, 2, 8, 16, false},
    {"palette_into_grey_form", true, 3, 2, 8, 0, false},
};

class PngReuseTest : public PngReaderTest, public ::testing::WithParamInterface<ReuseCase> {};

// A reused destination keeps its pixel store: the file behind it stays
// linked and holds the decoded rows. A re-created one has its old file
// deleted.
TEST_P(PngReuseTest, KeepsADestinationOfTheTargetForm) {
    const ReuseCase& c = GetParam();
    const PngFixture fixture = c.palette ? SmallPalette() : SmallRgb();
    const std::string path = Write("reuse.png", fixture);
    ImageBuffer image;
    ASSERT_TRUE(image.Create(c.width, c.height, c.bits, c.paletteSize));
    const std::vector<std::string> stores = m_temp.Leftovers();
    ASSERT_EQ(stores.size(), 1u);
    const int fd = open((m_temp.Path() + "/" + stores[0]).c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);

    PngReader reader;
    ASSERT_EQ(reader.Open(path.c_str(), &image, nullptr), 1);
    ASSERT_EQ(reader.Decode(), 1);
    struct stat st {};
    ASSERT_EQ(fstat(fd, &st), 0);
    const Bytes decoded = ImageBytes(image);
    Bytes stored(decoded.size());
    const ssize_t got = pread(fd, stored.data(), stored.size(), 0);
    close(fd);

    EXPECT_EQ(st.st_nlink, c.reused ? 1u : 0u);
    EXPECT_EQ(decoded, c.palette ? fixture.samples : kRgb8);
    if (c.reused) {
        EXPECT_EQ(got, static_cast<ssize_t>(stored.size()));
        EXPECT_EQ(stored, decoded);
    }
}

INSTANTIATE_TEST_SUITE_P(Destinations, PngReuseTest, ::testing::ValuesIn(kReuseCases),
                         [](const auto& info) { return std::string(info.param.name); });

// --- life cycle ----------------------------------------------------------------

TEST_F(PngReaderTest, ReopeningDropsTheEarlierFile) {
    const std::string first = Write("first.png", SmallPalette());
    const std::string second = Write("second.png", SmallRgb());
    ImageBuffer image;
    PngReader reader;
    EXPECT_EQ(reader.Close(), 1);
    EXPECT_EQ(reader.Decode(), 0);
    ASSERT_EQ(reader.Open(first.c_str(), &image, nullptr), 1);
    ASSERT_EQ(reader.Open(second.c_str(), &image, nullptr), 1);
    ASSERT_EQ(reader.Decode(), 1);
    EXPECT_EQ(image.BitsPerPixel(), 24u);
    EXPECT_EQ(ImageBytes(image), kRgb8);
    EXPECT_EQ(reader.Close(), 1);
    EXPECT_EQ(reader.Close(), 1);
}

// --- the shared corpus ---------------------------------------------------------

TEST_F(PngReaderTest, CorpusValidFilesDecodeAndCorruptOnesFail) {
    const std::vector<test::CorpusEntry> entries = test::CorpusManifest("png/");
    if (entries.empty()) GTEST_SKIP() << "picture corpus not present";
    int valid = 0;
    int corrupt = 0;
    for (const test::CorpusEntry& entry : entries) {
        SCOPED_TRACE(entry.path);
        const std::string path = test::CorpusPath(entry.path);
        ImageBuffer image;
        PngReader reader;
        if (entry.notes.find("corrupt") != std::string::npos) {
            ++corrupt;
            EXPECT_FALSE(reader.Open(path.c_str(), &image, nullptr) == 1 && reader.Decode() == 1);
        } else if (entry.format == "PNG" && entry.width > 0) {
            ++valid;
            ASSERT_EQ(reader.Open(path.c_str(), &image, nullptr), 1);
            ASSERT_EQ(reader.Decode(), 1);
            EXPECT_EQ(image.Width(), entry.width);
            EXPECT_EQ(image.Height(), entry.height);
        }
    }
    EXPECT_GT(valid, 0);
    EXPECT_GT(corrupt, 0);
}

}  // namespace
}  // namespace tolvane
