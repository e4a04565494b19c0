#include "engine/codecs/jpeg_codec.h"

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <iterator>
#include <vector>

#include "engine/image_orientation.h"
#include "support/fixtures.h"
#include "support/test_support.h"

namespace tolvane {
namespace {

using test::Picture;

double MeanDifference(const Picture& a, const uint8_t* b, size_t count) {
    double sum = 0;
    for (size_t i = 0; i < count; ++i) sum += std::abs(int(a.samples[i]) - int(b[i]));
    return sum / static_cast<double>(count);
}

class JpegCodecTest : public ::testing::Test {
  protected:
    test::PrivateTempFolder m_temp;
    test::ScopedTempDir m_dir;

    void TearDown() override { EXPECT_TRUE(m_temp.Leftovers().empty()); }

    int32_t Decode(const std::string& path, ImageBuffer& image,
                   ProgressCallback callback = nullptr) {
        JpegCodec codec;
        if (codec.Open(path.c_str(), &image, callback) != 1) return -1;
        return codec.Decode();
    }
};

TEST_F(JpegCodecTest, DecodesColourAndGrayIntoTheirForms) {
    for (int components : {3, 1}) {
        Picture picture = test::MakePattern(40, 24, components);
        const std::string path = m_dir.File("pattern.jpg");
        test::WriteJpeg(path, picture, 95);
        ImageBuffer image;
        ASSERT_EQ(1, Decode(path, image));
        EXPECT_EQ(40, image.Width());
        EXPECT_EQ(24, image.Height());
        EXPECT_EQ(components == 3 ? 24u : 8u, image.BitsPerPixel());
        EXPECT_EQ(0, image.PaletteSize());
        EXPECT_LT(MeanDifference(picture, image.Pixels(), picture.samples.size()), 8.0)
            << "rows arrive as red, green, blue (or grey) in file order";
    }
}

TEST_F(JpegCodecTest, ProgressiveDecodesLikeBaseline) {
    Picture picture = test::MakePattern(33, 17, 3);
    test::WriteJpeg(m_dir.File("base.jpg"), picture, 90, false);
    test::WriteJpeg(m_dir.File("prog.jpg"), picture, 90, true);
    ImageBuffer base, prog;
    ASSERT_EQ(1, Decode(m_dir.File("base.jpg"), base));
    ASSERT_EQ(1, Decode(m_dir.File("prog.jpg"), prog));
    EXPECT_LT(MeanDifference(test::ReadJpeg(m_dir.File("base.jpg")), prog.Pixels(),
                             picture.samples.size()),
              2.0);
}

// A small real JPEG whose frame header says `height` x `width` and whose
// component count is `components`.
std::vector<uint8_t> WithFrame(std::vector<uint8_t> bytes, uint16_t height, uint16_t width,
                               int components = -1) {
    for (size_t i = 0; i + 9 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && (bytes[i + 1] == 0xC0 || bytes[i + 1] == 0xC2)) {
            bytes[i + 5] = static_cast<uint8_t>(height >> 8);
            bytes[i + 6] = static_cast<uint8_t>(height);
            bytes[i + 7] = static_cast<uint8_t>(width >> 8);
            bytes[i + 8] = static_cast<uint8_t>(width);
            if (components >= 0) bytes[i + 9] = static_cast<uint8_t>(components);
            break;
        }
    }
    return bytes;
}

// The file with `segment` (marker and all) right after SOI.
std::vector<uint8_t> WithSegment(std::vector<uint8_t> bytes, std::vector<uint8_t> segment) {
    bytes.insert(bytes.begin() + 2, segment.begin(), segment.end());
    return bytes;
}

TEST_F(JpegCodecTest, OpenRefusesWhatIsNoUsableJpeg) {
    test::WriteJpeg(m_dir.File("ok.jpg"), test::MakePattern(8, 8, 1));
    const std::vector<uint8_t> ok = test::ReadFileBytes(m_dir.File("ok.jpg"));
    // A Huffman table whose 16 counts add up to 16 x 255 symbols.
    std::vector<uint8_t> dht = {0xFF, 0xC4, 0x00, 0x13, 0x00};
    dht.insert(dht.end(), 16, 0xFF);
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"one-byte", {0xFF}},
        {"soi-only", {0xFF, 0xD8}},
        {"soi-then-garbage", {0xFF, 0xD8, 'h', 'e', 'l', 'l', 'o', 0, 1, 2, 3}},
        {"png-signature", {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}},
        // Zero rows (and no DNL marker), zero columns, no components.
        {"sof-with-zero-height", WithFrame(ok, 0, 8)},
        {"sof-with-zero-width", WithFrame(ok, 8, 0)},
        {"sof-with-no-components", WithFrame(ok, 8, 8, 0)},
        {"sof-beyond-libjpeg-limit", WithFrame(ok, 65535, 65535)},
        {"comment-running-past-the-end", WithSegment(ok, {0xFF, 0xFE, 0xFF, 0xFF, 'x'})},
        {"huffman-table-of-4080-symbols", WithSegment(ok, dht)},
    };
    for (const Case& c : cases) {
        const std::string path = m_dir.File(c.name);
        test::WriteFileBytes(path, c.bytes);
        ImageBuffer image;
        JpegCodec codec;
        test::ExpectNothingLargeMade(m_temp, [&] {
            EXPECT_EQ(0, codec.Open(path.c_str(), &image, nullptr)) << c.name;
            EXPECT_EQ(0, codec.Decode()) << c.name << ": nothing is open";
        });
    }
    JpegCodec codec;
    ImageBuffer image;
    EXPECT_EQ(0, codec.Open(m_dir.File("missing.jpg").c_str(), &image, nullptr));
}

TEST_F(JpegCodecTest, OpenRefusesFourComponentFiles) {
    const std::string path = m_dir.File("cmyk.jpg");
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        jpeg_compress_struct c;
        jpeg_error_mgr err;
        c.err = jpeg_std_error(&err);
        jpeg_create_compress(&c);
        jpeg_stdio_dest(&c, f);
        c.image_width = 8;
        c.image_height = 8;
        c.input_components = 4;
        c.in_color_space = JCS_CMYK;
        jpeg_set_defaults(&c);
        jpeg_start_compress(&c, TRUE);
        std::vector<uint8_t> row(32, 128);
        JSAMPROW p = row.data();
        while (c.next_scanline < 8) jpeg_write_scanlines(&c, &p, 1);
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        std::fclose(f);
    }
    ImageBuffer image;
    JpegCodec codec;
    EXPECT_EQ(0, codec.Open(path.c_str(), &image, nullptr));
}

TEST_F(JpegCodecTest, TruncatedEntropyDataStillDecodes) {
    Picture picture = test::MakePattern(64, 64, 3);
    test::WriteJpeg(m_dir.File("full.jpg"), picture, 90);
    std::vector<uint8_t> bytes = test::ReadFileBytes(m_dir.File("full.jpg"));
    bytes.resize(bytes.size() * 2 / 3);
    test::WriteFileBytes(m_dir.File("cut.jpg"), bytes);
    ImageBuffer image;
    ASSERT_EQ(1, Decode(m_dir.File("cut.jpg"), image));
    EXPECT_EQ(64, image.Height());
}

// 65500 x 65500 is the largest frame libjpeg takes; its store would need
// 12 GB, so Decode fails before making it or asking libjpeg for memory.
TEST_F(JpegCodecTest, LargestFrameFailsBeforeAnyLargeAllocation) {
    test::WriteJpeg(m_dir.File("ok.jpg"), test::MakePattern(8, 8, 3));
    test::WriteFileBytes(m_dir.File("huge.jpg"),
                         WithFrame(test::ReadFileBytes(m_dir.File("ok.jpg")), 65500, 65500));
    ImageBuffer image;
    JpegCodec codec;
    test::ExpectNothingLargeMade(m_temp, [&] {
        ASSERT_EQ(1, codec.Open(m_dir.File("huge.jpg").c_str(), &image, nullptr));
        EXPECT_EQ(0, codec.Decode());
    });
}

// A progressive header claiming 30000 x 30000: its pixel store would fit,
// but libjpeg's coefficient buffers would take 2.7 GB of memory.
TEST_F(JpegCodecTest, ProgressiveFrameBeyondTheMemoryBudgetIsRefused) {
    test::WriteJpeg(m_dir.File("ok.jpg"), test::MakePattern(16, 16, 3), 90, true);
    test::WriteFileBytes(m_dir.File("huge.jpg"),
                         WithFrame(test::ReadFileBytes(m_dir.File("ok.jpg")), 30000, 30000));
    ImageBuffer image;
    JpegCodec codec;
    test::ExpectNothingLargeMade(
        m_temp, [&] { EXPECT_EQ(0, codec.Open(m_dir.File("huge.jpg").c_str(), &image, nullptr)); });
}

TEST_F(JpegCodecTest, DecodeFailsWhenThePixelStoreCannotBeMade) {
    test::WriteJpeg(m_dir.File("a.jpg"), test::MakePattern(8, 8, 3));
    ImageBuffer image;
    JpegCodec codec;
    ASSERT_EQ(1, codec.Open(m_dir.File("a.jpg").c_str(), &image, nullptr));
    setenv("TMPDIR", (m_temp.Path() + "/missing").c_str(), 1);
    EXPECT_EQ(0, codec.Decode());
    EXPECT_EQ(0, codec.Decode()) << "a failed decode leaves the codec closed";
}

TEST_F(JpegCodecTest, ReportsEachRowAndTheEnd) {
    test::WriteJpeg(m_dir.File("four.jpg"), test::MakePattern(5, 4, 3));
    test::g_progress.clear();
    ImageBuffer image;
    ASSERT_EQ(1, Decode(m_dir.File("four.jpg"), image, &test::RecordProgress));
    using Calls = std::vector<test::ProgressEvent>;
    EXPECT_EQ((Calls{{1, 25, 0, 0}, {1, 50, 1, 0}, {1, 75, 2, 0}, {1, 100, 3, 0}, {1, 100, 3, 0}}),
              test::g_progress);

    ImageBuffer two;
    ASSERT_TRUE(two.Create(3, 2, 24, 0));
    test::g_progress.clear();
    JpegCodec writer;
    ASSERT_EQ(1,
              writer.Save(m_dir.File("two.jpg").c_str(), two, 60, 1, 1, 0, &test::RecordProgress));
    EXPECT_EQ((Calls{{0, 50, 0, 0}, {0, 100, 1, 0}, {0, 100, 1, 0}}), test::g_progress);
}

TEST(ProgressPercentTest, TruncatesTheDoubleQuotient) {
    EXPECT_EQ(28, ProgressPercent(28, 100)) << "29 / 100 * 100 is just below 29";
    EXPECT_EQ(100, ProgressPercent(99, 100));
    EXPECT_EQ(33, ProgressPercent(0, 3));
}

// EXIF orientation: a picture stored turned, with the tag saying how, must
// come out upright; a damaged or missing tag changes nothing.
class JpegOrientationTest : public JpegCodecTest, public ::testing::WithParamInterface<int> {};

TEST_P(JpegOrientationTest, TaggedPictureComesOutUpright) {
    const int orientation = GetParam();
    // Tall upright reference with one bright corner (top left).
    Picture upright(test::MakePattern(16, 32, 1));
    std::fill(upright.samples.begin(), upright.samples.end(), 0);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) upright.samples[y * 16 + x] = 255;
    // Store it the way a camera would for this tag: the inverse turn.
    ImageBuffer stored;
    ASSERT_TRUE(stored.Create(16, 32, 8, 0));
    std::copy(upright.samples.begin(), upright.samples.end(), stored.Pixels());
    const int inverse[] = {1, 1, 2, 3, 4, 5, 8, 7, 6};
    ASSERT_TRUE(MakeUpright(stored, inverse[orientation]));
    Picture file{stored.Width(), stored.Height(), 1,
                 std::vector<uint8_t>(stored.Pixels(), stored.Pixels() + 16 * 32)};
    test::WriteJpeg(m_dir.File("tagged.jpg"), file, 95, false,
                    test::ExifOrientationBlock(orientation, orientation % 2 == 0));
    ImageBuffer image;
    ASSERT_EQ(1, Decode(m_dir.File("tagged.jpg"), image));
    ASSERT_EQ(16, image.Width());
    ASSERT_EQ(32, image.Height());
    EXPECT_GT(image.Row(2)[2], 200) << "bright corner at the top left";
    EXPECT_LT(image.Row(29)[13], 50);
    EXPECT_LT(image.Row(2)[13], 50);
    EXPECT_LT(image.Row(29)[2], 50);
}

INSTANTIATE_TEST_SUITE_P(Tags, JpegOrientationTest, ::testing::Range(1, 9));

TEST_F(JpegCodecTest, DamagedExifBlocksDecodeAsStored) {
    std::vector<uint8_t> good = test::ExifOrientationBlock(6);
    auto withByte = [&](size_t at, uint8_t value) {
        std::vector<uint8_t> b = good;
        b[at] = value;
        return b;
    };
    const std::vector<std::vector<uint8_t>> blocks = {
        {'E', 'x', 'i', 'f', 0, 0, 'I', 'I'},                // cut inside the header
        std::vector<uint8_t>(good.begin(), good.end() - 8),  // cut inside the entry
        withByte(6, 'X'),                                    // unknown byte order
        withByte(8, 43),                                     // not a TIFF header
        withByte(10, 0xF0),                                  // IFD offset past the block
        withByte(14, 0xFF),                                  // entry count past the block
        withByte(22, 9),                                     // value out of range
        withByte(16 + 2, 4),                                 // wrong type
    };
    for (size_t i = 0; i < blocks.size(); ++i) {
        test::WriteJpeg(m_dir.File("damaged.jpg"), test::MakePattern(16, 8, 3), 90, false,
                        blocks[i]);
        ImageBuffer image;
        ASSERT_EQ(1, Decode(m_dir.File("damaged.jpg"), image)) << i;
        EXPECT_EQ(16, image.Width()) << "block " << i << " must not turn the picture";
    }
}

TEST_F(JpegCodecTest, CorpusOrientationFilesMatchTheirUprightOriginal) {
    const std::string root = test::CorpusPath("jpeg/exif-orientation");
    if (root.empty()) GTEST_SKIP() << "picture corpus not present";
    for (const char* set : {"Landscape", "Portrait"}) {
        ImageBuffer reference;
        ASSERT_EQ(1, Decode(root + "/" + set + "_0.jpg", reference));
        const Picture expected{
            reference.Width(), reference.Height(), 3,
            std::vector<uint8_t>(reference.Pixels(),
                                 reference.Pixels() + reference.Stride() * reference.Height())};
        for (int n = 1; n <= 8; ++n) {
            ImageBuffer image;
            const std::string path = root + "/" + set + "_" + std::to_string(n) + ".jpg";
            ASSERT_EQ(1, Decode(path, image)) << path;
            ASSERT_EQ(expected.width, image.Width()) << path;
            ASSERT_EQ(expected.height, image.Height()) << path;
            EXPECT_LT(MeanDifference(expected, image.Pixels(), expected.samples.size()), 12.0)
                << path;
        }
    }
}

// The writer's settings show in the file's tables.
TEST_F(JpegCodecTest, SaveScalesTheStandardTablesByQuality) {
    ImageBuffer image;
    ASSERT_TRUE(image.Create(16, 16, 24, 0));
    auto luminance = [&](int quality) {
        JpegCodec writer;
        EXPECT_EQ(1, writer.Save(m_dir.File("q.jpg").c_str(), image, quality, 1, 1, 0, nullptr));
        return test::ReadJpegInfo(m_dir.File("q.jpg"));
    };
    test::JpegInfo q100 = luminance(100);
    EXPECT_TRUE(std::all_of(std::begin(q100.luminanceQuant), std::end(q100.luminanceQuant),
                            [](uint16_t v) { return v == 1; }));
    EXPECT_EQ(16, luminance(50).luminanceQuant[0]) << "quality 50 keeps the standard table";
    EXPECT_GT(luminance(10).luminanceQuant[0], 16);
    test::JpegInfo info = luminance(60);
    EXPECT_FALSE(info.progressive);
    EXPECT_FALSE(info.hasExif);
    EXPECT_EQ(3, info.components);
}

TEST_F(JpegCodecTest, OptimizedTablesChangeNoPixel) {
    Picture picture = test::MakePattern(48, 40, 3);
    test::WriteJpeg(m_dir.File("src.jpg"), picture, 95);
    ImageBuffer image;
    ASSERT_EQ(1, Decode(m_dir.File("src.jpg"), image));
    for (int optimize : {0, 1}) {
        JpegCodec writer;
        ASSERT_EQ(1, writer.Save(m_dir.File(optimize ? "o1.jpg" : "o0.jpg").c_str(), image, 75, 1,
                                 optimize, 0, nullptr));
    }
    EXPECT_EQ(test::ReadJpeg(m_dir.File("o0.jpg")).samples,
              test::ReadJpeg(m_dir.File("o1.jpg")).samples);
    EXPECT_NE(test::ReadFileBytes(m_dir.File("o0.jpg")), test::ReadFileBytes(m_dir.File("o1.jpg")));
}

// Colour and gray output from every depth the buffer holds.
TEST_F(JpegCodecTest, SaveConvertsOtherDepths) {
    struct Case {
        uint32_t bits;
        int32_t colour;
        std::vector<uint8_t> pixel;
        int components;
        std::vector<uint8_t> expected;
    } cases[] = {
        {8, 1, {200}, 3, {200, 200, 200}},       {8, 0, {200}, 1, {200}},
        {24, 0, {255, 0, 0}, 1, {76}},           {24, 1, {255, 0, 0}, 3, {254, 0, 0}},
        {32, 1, {0, 0, 0, 255}, 3, {0, 0, 255}}, {32, 2, {255, 0, 255, 0}, 1, {149}},
    };
    for (const Case& c : cases) {
        ImageBuffer image;
        ASSERT_TRUE(image.Create(8, 8, c.bits, 0));
        for (int i = 0; i < 64; ++i)
            std::copy(c.pixel.begin(), c.pixel.end(), image.Pixels() + i * c.pixel.size());
        JpegCodec writer;
        ASSERT_EQ(1, writer.Save(m_dir.File("c.jpg").c_str(), image, 100, c.colour, 1, 0, nullptr));
        Picture out = test::ReadJpeg(m_dir.File("c.jpg"));
        ASSERT_EQ(c.components, out.components) << c.bits;
        for (int k = 0; k < c.components; ++k) {
            EXPECT_NEAR(c.expected[k], out.At(4, 4)[k], 2)
                << c.bits << " bits, colour " << c.colour;
        }
    }
    // A paletted image writes its palette's colours, or their gray levels.
    ImageBuffer indexed;
    ASSERT_TRUE(indexed.Create(8, 8, 8, 2));
    indexed.PaletteEntries()[0] = {0, 0, 0};
    indexed.PaletteEntries()[1] = {0, 0, 255};
    std::fill(indexed.Pixels(), indexed.Pixels() + 64, 1);
    for (int32_t colour : {1, 0}) {
        JpegCodec writer;
        ASSERT_EQ(1, writer.Save(m_dir.File("p.jpg").c_str(), indexed, 100, colour, 1, 0, nullptr));
        Picture out = test::ReadJpeg(m_dir.File("p.jpg"));
        if (colour == 1) {
            EXPECT_NEAR(255, out.At(3, 3)[2], 2);
            EXPECT_NEAR(0, out.At(3, 3)[0], 2);
        } else {
            EXPECT_NEAR(29, out.At(3, 3)[0], 2);
        }
    }
}

// In a child whose fdatasync always fails: replacing a file must fail and
// keep the old bytes, since the new ones could not be made durable before
// the rename; a file that replaces nothing needs no sync.
TEST_F(JpegCodecTest, ReplacementWaitsForItsBytesToReachTheDisk) {
    const std::string old = m_dir.File("old.jpg");
    const std::string fresh = m_dir.File("new.jpg");
    test::WriteFileBytes(old, {1, 2, 3});
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fdatasync, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EIO),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
            prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0) {
            _exit(10);
        }
        int32_t replaced = -1;
        int32_t created = -1;
        {
            ImageBuffer image;
            if (image.Create(8, 4, 24, 0)) {
                JpegCodec replacing;
                JpegCodec creating;
                replaced = replacing.Save(old.c_str(), image, 75, 1, 0, 0, nullptr);
                created = creating.Save(fresh.c_str(), image, 75, 1, 0, 0, nullptr);
            }
        }
        _exit(replaced == 0 && created == 1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), test::ReadFileBytes(old));
    EXPECT_EQ(3, test::ReadJpeg(fresh).components);
    EXPECT_EQ((std::vector<std::string>{"new.jpg", "old.jpg"}), test::ListFolder(m_dir.Path()));
}

// While the new file is written beside a private destination, nobody else
// may read it either.
struct PartialFileWatch {
    static inline std::string folder;
    static inline std::vector<unsigned> modes;
    static void Look(int32_t, int32_t, int32_t, int32_t) {
        for (const std::string& name : test::ListFolder(folder)) {
            struct stat st;
            if (name.find(".part") != std::string::npos &&
                stat((folder + "/" + name).c_str(), &st) == 0) {
                modes.push_back(st.st_mode & 07777);
            }
        }
    }
};

TEST_F(JpegCodecTest, ReplacementIsNeverMoreOpenThanTheFileItReplaces) {
    const std::string out = m_dir.File("private.jpg");
    test::WriteFileBytes(out, {1});
    ASSERT_EQ(0, chmod(out.c_str(), 0600));
    ImageBuffer image;
    ASSERT_TRUE(image.Create(8, 4, 24, 0));
    PartialFileWatch::folder = m_dir.Path();
    PartialFileWatch::modes.clear();
    JpegCodec writer;
    ASSERT_EQ(1, writer.Save(out.c_str(), image, 60, 1, 1, 0, &PartialFileWatch::Look));
    ASSERT_FALSE(PartialFileWatch::modes.empty()) << "rows are written into a file beside it";
    for (unsigned mode : PartialFileWatch::modes) EXPECT_EQ(0600u, mode);
    struct stat st;
    ASSERT_EQ(0, stat(out.c_str(), &st));
    EXPECT_EQ(0600u, st.st_mode & 07777);
}

TEST_F(JpegCodecTest, SaveRefusesBadArgumentsBeforeTouchingTheDestination) {
    ImageBuffer image;
    ASSERT_TRUE(image.Create(2, 2, 24, 0));
    ImageBuffer empty;
    struct Case {
        ImageBuffer* image;
        int32_t quality, smoothing;
    } cases[] = {
        {&image, 0, 0}, {&image, 101, 0}, {&image, 60, -1}, {&image, 60, 101}, {&empty, 60, 0}};
    for (const Case& c : cases) {
        JpegCodec writer;
        EXPECT_EQ(0, writer.Save(m_dir.File("x.jpg").c_str(), *c.image, c.quality, 1, 1,
                                 c.smoothing, nullptr));
    }
    EXPECT_TRUE(test::ListFolder(m_dir.Path()).empty());
}

}  // namespace
}  // namespace tolvane
