#include "engine/reader_chain.h"

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>

#include "engine/convert.h"
#include "support/fixtures.h"
#include "support/test_support.h"

namespace tolvane {
namespace {

class ReaderChainTest : public ::testing::Test {
  protected:
    test::PrivateTempFolder m_temp;
    test::ScopedTempDir m_dir;

    void TearDown() override { EXPECT_TRUE(m_temp.Leftovers().empty()); }

    // Converts and reads the result back; -1 components when nothing was
    // written.
    test::Picture ConvertAndRead(const std::string& source, int32_t& result) {
        const std::string out = m_dir.File("out.jpg");
        unlink(out.c_str());
        result = ConvertImage(source.c_str(), out.c_str(), 0, 60, 1, 0);
        if (!test::PathExists(out)) return test::Picture{0, 0, -1, {}};
        return test::ReadJpeg(out);
    }
};

TEST_F(ReaderChainTest, PngFilesConvertWhateverTheirDepth) {
    struct Case {
        int colorType, bitDepth;
        bool interlaced;
    } cases[] = {{PNG_COLOR_TYPE_RGB, 8, false},      {PNG_COLOR_TYPE_RGB, 16, true},
                 {PNG_COLOR_TYPE_GRAY, 1, false},     {PNG_COLOR_TYPE_GRAY_ALPHA, 16, false},
                 {PNG_COLOR_TYPE_RGB_ALPHA, 8, true}, {PNG_COLOR_TYPE_PALETTE, 4, false}};
    for (const Case& c : cases) {
        test::PngFixture fx;
        fx.width = 21;
        fx.height = 13;
        fx.colorType = c.colorType;
        fx.bitDepth = c.bitDepth;
        fx.interlaced = c.interlaced;
        const int channels = c.colorType == PNG_COLOR_TYPE_RGB          ? 3
                             : c.colorType == PNG_COLOR_TYPE_RGB_ALPHA  ? 4
                             : c.colorType == PNG_COLOR_TYPE_GRAY_ALPHA ? 2
                                                                        : 1;
        const int maxValue = (1 << std::min(c.bitDepth, 8)) - 1;
        fx.samples.assign(static_cast<size_t>(21 * 13 * channels * (c.bitDepth == 16 ? 2 : 1)), 0);
        for (size_t i = 0; i < fx.samples.size(); ++i)
            fx.samples[i] = static_cast<uint8_t>(i % (maxValue + 1));
        if (c.colorType == PNG_COLOR_TYPE_PALETTE) {
            for (int i = 0; i < 16; ++i) fx.palette.push_back({static_cast<uint8_t>(i * 16), 0, 0});
        }
        test::WritePng(m_dir.File("in.png"), fx);
        int32_t result = 0;
        test::Picture out = ConvertAndRead(m_dir.File("in.png"), result);
        EXPECT_EQ(kConvertOk, result) << c.colorType << "/" << c.bitDepth;
        EXPECT_EQ(21, out.width);
        EXPECT_EQ(13, out.height);
    }
}

TEST_F(ReaderChainTest, AFailedDecodeStopsTheChain) {
    // Accepted by the PNG reader's probe, then cut inside the image data.
    test::PngFixture fx;
    fx.width = 64;
    fx.height = 64;
    fx.samples.assign(64 * 64 * 3, 0x5A);
    for (size_t i = 0; i < fx.samples.size(); i += 7) fx.samples[i] = static_cast<uint8_t>(i);
    test::WritePng(m_dir.File("full.png"), fx);
    std::vector<uint8_t> bytes = test::ReadFileBytes(m_dir.File("full.png"));
    bytes.resize(bytes.size() - 40);
    test::WriteFileBytes(m_dir.File("cut.png"), bytes);
    ImageBuffer image;
    EXPECT_EQ(kConvertNotReadable, LoadAnyImage(m_dir.File("cut.png").c_str(), image));
}

TEST_F(ReaderChainTest, MissingSourcesOpenNoReader) {
    ImageBuffer image;
    EXPECT_EQ(kConvertSourceMissing, LoadAnyImage("", image));
    EXPECT_EQ(kConvertSourceMissing, LoadAnyImage(m_dir.File("nothing.png").c_str(), image));
    EXPECT_EQ(kConvertSourceMissing, LoadAnyImage(nullptr, image));
}

// The picture corpus: files made by other software.
struct CorpusCase {
    std::string path;
    bool valid;
    int width, height;
};

std::vector<CorpusCase> CorpusCases(const std::string& prefix) {
    std::vector<CorpusCase> cases;
    for (const test::CorpusEntry& e : test::CorpusManifest(prefix)) {
        const bool corrupt = e.notes.find("corrupt") != std::string::npos;
        cases.push_back({e.path, !corrupt && e.width > 0, e.width, e.height});
    }
    return cases;
}

TEST_F(ReaderChainTest, EveryValidCorpusPngConvertsAndEveryCorruptOneIsRefused) {
    const std::vector<CorpusCase> cases = CorpusCases("png/");
    if (cases.empty()) GTEST_SKIP() << "picture corpus not present";
    for (const CorpusCase& c : cases) {
        int32_t result = 0;
        test::Picture out = ConvertAndRead(test::CorpusPath(c.path), result);
        if (c.valid) {
            EXPECT_EQ(kConvertOk, result) << c.path;
            EXPECT_EQ(c.width, out.width) << c.path;
            EXPECT_EQ(c.height, out.height) << c.path;
        } else {
            EXPECT_EQ(kConvertNotReadable, result) << c.path;
            EXPECT_EQ(-1, out.components) << c.path << " must write nothing";
        }
    }
}

TEST_F(ReaderChainTest, CorpusJpegFiles) {
    if (test::CorpusRoot().empty()) GTEST_SKIP() << "picture corpus not present";
    struct Case {
        const char* path;
        int32_t expected;
        int components;
    } cases[] = {
        {"jpeg/libjpeg-turbo/testorig.jpg", kConvertOk, 3},
        {"jpeg/libjpeg-turbo/testimgp.jpg", kConvertOk, 3},    // progressive
        {"jpeg/libjpeg-turbo/testimgari.jpg", kConvertOk, 3},  // arithmetic coding
        {"jpeg/libjpeg-turbo/testimggray.jpg", kConvertOk, 3},
        {"jpeg/jpeg-decoder/restarts.jpg", kConvertOk, 3},
        {"jpeg/jpeg-decoder/jpg-size-1x1.jpg", kConvertOk, 3},
        {"jpeg/jpeg-decoder/extraneous-data.jpg", kConvertOk, 3},
        {"jpeg/jpeg-decoder/crash_multiple-0xff-before-eoi.jpg", kConvertOk, 3},
        {"jpeg/jpeg-decoder/jpg-cmyk-1.jpg", kConvertNotReadable, -1},
        {"jpeg/jpeg-decoder/jpg-cmyk-2.jpg", kConvertNotReadable, -1},
        {"jpeg/pillow/pil_sample_cmyk.jpg", kConvertNotReadable, -1},
        {"jpeg/libjpeg-turbo/testorig12.jpg", kConvertNotReadable, -1},
        {"jpeg/jpeg-decoder/crash_empty.jpg", kConvertNotReadable, -1},
        {"jpeg/jpeg-decoder/crash_missing-sof.jpg", kConvertNotReadable, -1},
        {"jpeg/jpeg-decoder/crash_missing-sos.jpg", kConvertNotReadable, -1},
        {"jpeg/jpeg-decoder/crash_null_height.jpg", kConvertNotReadable, -1},
    };
    for (const Case& c : cases) {
        int32_t result = 0;
        test::Picture out = ConvertAndRead(test::CorpusPath(c.path), result);
        EXPECT_EQ(c.expected, result) << c.path;
        EXPECT_EQ(c.components, out.components) << c.path;
    }
}

// Each reader in its place: files that only a later reader takes get past
// the earlier probes, whatever they are named.
TEST_F(ReaderChainTest, CorpusFilesOfEveryFormatConvert) {
    if (test::CorpusRoot().empty()) GTEST_SKIP() << "picture corpus not present";
    struct Case {
        const char* path;
        int32_t expected;
        int width, height;
    } cases[] = {
        {"bmp/bmpsuite/g/rgb24.bmp", kConvertOk, 127, 64},
        {"bmp/bmpsuite/g/pal8.bmp", kConvertNotReadable, 0, 0},       // not 24-bit
        {"bmp/bmpsuite/b/reallybig.bmp", kConvertNotReadable, 0, 0},  // accepted, fails
        {"tiff/libtiff/rgb-3c-8b.tiff", kConvertOk, 157, 151},
        {"tiff/libtiff/quad-tile.jpg.tiff", kConvertOk, 512, 384},
        {"tiff/pillow/tiff_tiled_planar_lzw.tiff", kConvertOk, 278, 374},
        {"tiff/pillow/multipage.tiff", kConvertOk, 10, 10},
        {"tiff/libtiff/test_float64_predictor2_le_lzw.tif", kConvertNotReadable, 0, 0},
        {"pcx/image-rs/24bit.pcx", kConvertOk, 435, 353},
        {"pcx/image-rs/256-palette.pcx", kConvertOk, 435, 353},
        {"pcx/pillow/01r_00.pcx", kConvertNotReadable, 0, 0},
        // A real Photo CD pack, but shorter than the readers' 1 MiB floor.
        {"pcd/pillow/hopper.pcd", kConvertNotReadable, 0, 0},
    };
    for (const Case& c : cases) {
        int32_t result = 0;
        test::Picture out = ConvertAndRead(test::CorpusPath(c.path), result);
        EXPECT_EQ(c.expected, result) << c.path;
        EXPECT_EQ(c.width, out.width) << c.path;
        EXPECT_EQ(c.height, out.height) << c.path;
    }
}

// Only the Photo CD probe is left for a large file that nothing else takes;
// without the pack's signature it must not turn into a picture of noise.
TEST_F(ReaderChainTest, LargeFilesNeedThePhotoCdSignature) {
    std::vector<uint8_t> bytes(1 << 20);
    uint32_t state = 12345;
    for (uint8_t& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>(state >> 24);
    }
    bytes[0] = 'G';  // no other reader's magic
    test::WriteFileBytes(m_dir.File("noise.png"), bytes);
    int32_t result = 0;
    EXPECT_EQ(-1, ConvertAndRead(m_dir.File("noise.png"), result).components);
    EXPECT_EQ(kConvertNotReadable, result);

    const char kSignature[] = "PCD_IPI";
    std::copy(kSignature, kSignature + 7, bytes.begin() + 2048);
    test::WriteFileBytes(m_dir.File("pack.pcd"), bytes);
    test::Picture out = ConvertAndRead(m_dir.File("pack.pcd"), result);
    EXPECT_EQ(kConvertOk, result);
    EXPECT_EQ(768, out.width);
    EXPECT_EQ(512, out.height);
}

// A 16-bit PNG of over 1 MiB converts as itself, not as a Photo CD image.
TEST_F(ReaderChainTest, LargeSixteenBitPngIsReadAsPng) {
    test::PngFixture fx;
    fx.width = 500;
    fx.height = 400;
    fx.bitDepth = 16;
    fx.samples.resize(500 * 400 * 6);
    uint32_t state = 7;
    for (uint8_t& b : fx.samples) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>(state >> 24);
    }
    test::WritePng(m_dir.File("deep.png"), fx);
    ASSERT_GE(test::ReadFileBytes(m_dir.File("deep.png")).size(), size_t{1} << 20);
    int32_t result = 0;
    test::Picture out = ConvertAndRead(m_dir.File("deep.png"), result);
    EXPECT_EQ(kConvertOk, result);
    EXPECT_EQ(500, out.width);
    EXPECT_EQ(400, out.height);
}

}  // namespace
}  // namespace tolvane
