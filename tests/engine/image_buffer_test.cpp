#include "engine/image_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <vector>

#include "support/test_support.h"

namespace tolvane {
namespace {

using test::PrivateTempFolder;

void ExpectEmpty(const ImageBuffer& image) {
    EXPECT_EQ(0, image.Width());
    EXPECT_EQ(0, image.Height());
    EXPECT_EQ(0u, image.BitsPerPixel());
    EXPECT_EQ(nullptr, image.Pixels());
    EXPECT_EQ(0, image.PaletteSize());
    EXPECT_EQ(0, image.Stride());
}

TEST(ImageBufferTest, CreateRefusesImpossibleForms) {
    PrivateTempFolder temp;
    struct Case {
        int32_t width, height;
        uint32_t bits;
        int32_t palette;
        const char* why;
    } cases[] = {
        {0, 1, 24, 0, "no columns"},
        {1, 0, 24, 0, "no rows"},
        {-5, 3, 24, 0, "negative width"},
        {4, 4, 12, 0, "a depth the buffer does not know"},
        {4, 4, 8, -1, "negative palette size"},
        {65536, 65536, 8, 0, "exactly 2^32 bytes"},
        {INT32_MAX, INT32_MAX, 32, 0, "a product that overflows 64 bits of care"},
        {46341, 46341, 16, 0, "2 * 46341^2 passes 32 bits"},
        {536870912, 1, 32, 0, "one row whose stride passes 31 bits"},
    };
    for (const Case& c : cases) {
        ImageBuffer image;
        ASSERT_TRUE(image.Create(2, 2, 24, 0));
        EXPECT_FALSE(image.Create(c.width, c.height, c.bits, c.palette)) << c.why;
        ExpectEmpty(image);
        EXPECT_TRUE(temp.Leftovers().empty()) << c.why << ": the old store must be gone too";
    }
}

TEST(ImageBufferTest, CreatedImageIsZeroedWithoutGaps) {
    PrivateTempFolder temp;
    ImageBuffer image;
    ASSERT_TRUE(image.Create(3, 5, 24, 256));
    EXPECT_EQ(0, image.PaletteSize()) << "only 8-bit images have a palette";
    EXPECT_EQ(9, image.Stride());
    EXPECT_EQ(image.Pixels() + 9 * 4, image.Row(4));
    EXPECT_TRUE(std::all_of(image.Pixels(), image.Pixels() + 45, [](uint8_t b) { return b == 0; }));
    ASSERT_EQ(1u, temp.Leftovers().size());
    image.Reset();
    ExpectEmpty(image);
    EXPECT_TRUE(temp.Leftovers().empty());
}

TEST(ImageBufferTest, DestructionDeletesThePixelStore) {
    PrivateTempFolder temp;
    {
        ImageBuffer image;
        ASSERT_TRUE(image.Create(10, 10, 8, 16));
        EXPECT_EQ(16, image.PaletteSize());
        EXPECT_NE(nullptr, image.PaletteEntries());
    }
    EXPECT_TRUE(temp.Leftovers().empty());
}

TEST(ImageBufferTest, FailsWithoutATemporaryFolder) {
    PrivateTempFolder temp;
    setenv("TMPDIR", (temp.Path() + "/missing").c_str(), 1);
    ImageBuffer image;
    EXPECT_FALSE(image.Create(4, 4, 24, 0));
    ExpectEmpty(image);
}

TEST(GrayLevelTest, WeightsAddUpTo1024) {
    EXPECT_EQ(76, GrayLevel(255, 0, 0));
    EXPECT_EQ(149, GrayLevel(0, 255, 0));
    EXPECT_EQ(29, GrayLevel(0, 0, 255));
    EXPECT_EQ(255, GrayLevel(255, 255, 255));
    EXPECT_EQ(128, GrayLevel(128, 128, 128));
}

// One source pixel of each form and what the two targets make of it.
struct ConvertCase {
    const char* name;
    uint32_t bits;
    std::vector<uint8_t> pixel;
    std::vector<PaletteEntry> palette;
    std::array<uint8_t, 3> colour;
    uint8_t gray;
};

class ConvertToTest : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(ConvertToTest, GivesTheColourAndTheGrayLevel) {
    PrivateTempFolder temp;
    const ConvertCase& c = GetParam();
    ImageBuffer source;
    ASSERT_TRUE(source.Create(1, 1, c.bits, static_cast<int32_t>(c.palette.size())));
    std::copy(c.pixel.begin(), c.pixel.end(), source.Pixels());
    std::copy(c.palette.begin(), c.palette.end(), source.PaletteEntries());

    ImageBuffer colour;
    ASSERT_TRUE(source.ConvertTo(colour, 24));
    EXPECT_EQ(24u, colour.BitsPerPixel());
    EXPECT_EQ(0, colour.PaletteSize());
    EXPECT_EQ(c.colour,
              (std::array<uint8_t, 3>{colour.Pixels()[0], colour.Pixels()[1], colour.Pixels()[2]}));
    ImageBuffer gray;
    ASSERT_TRUE(source.ConvertTo(gray, 8));
    EXPECT_EQ(8u, gray.BitsPerPixel());
    EXPECT_EQ(0, gray.PaletteSize());
    EXPECT_EQ(c.gray, gray.Pixels()[0]);
}

INSTANTIATE_TEST_SUITE_P(
    EveryForm, ConvertToTest,
    ::testing::Values(ConvertCase{"gray8", 8, {37}, {}, {37, 37, 37}, 37},
                      ConvertCase{"palette8", 8, {1}, {{0, 0, 0}, {255, 0, 0}}, {255, 0, 0}, 76},
                      ConvertCase{
                          "paletteIndexPastTheEnd", 8, {2}, {{9, 9, 9}, {255, 0, 0}}, {0, 0, 0}, 0},
                      ConvertCase{"word16RedBits", 16, {0x00, 0xF8}, {}, {248, 0, 0}, 74},
                      ConvertCase{"word16GreenBits", 16, {0xC0, 0x07}, {}, {0, 248, 0}, 145},
                      ConvertCase{"word16BlueBits", 16, {0x3E, 0x00}, {}, {0, 0, 248}, 28},
                      ConvertCase{"word16OnlyBit0", 16, {0x01, 0x00}, {}, {0, 0, 0}, 0},
                      ConvertCase{"word16All", 16, {0xFF, 0xFF}, {}, {248, 248, 248}, 248},
                      ConvertCase{"rgb24", 24, {10, 20, 30}, {}, {10, 20, 30}, 18},
                      ConvertCase{"argb32AlphaIgnored", 32, {0, 10, 20, 30}, {}, {10, 20, 30}, 18}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ImageBufferTest, ConvertToCopiesWholeRowsOfTheSameForm) {
    PrivateTempFolder temp;
    ImageBuffer source;
    ASSERT_TRUE(source.Create(3, 2, 24, 0));
    for (int i = 0; i < 18; ++i) source.Pixels()[i] = static_cast<uint8_t>(i * 7);
    ImageBuffer copy;
    ASSERT_TRUE(source.ConvertTo(copy, 24));
    EXPECT_TRUE(std::equal(source.Pixels(), source.Pixels() + 18, copy.Pixels()));
}

TEST(ImageBufferTest, ConvertToFromAnEmptyImageLeavesTheDestinationAlone) {
    PrivateTempFolder temp;
    ImageBuffer empty;
    ImageBuffer destination;
    ASSERT_TRUE(destination.Create(2, 2, 8, 0));
    destination.Pixels()[0] = 5;
    EXPECT_FALSE(empty.ConvertTo(destination, 24));
    EXPECT_EQ(2, destination.Width());
    EXPECT_EQ(5, destination.Pixels()[0]);
}

}  // namespace
}  // namespace tolvane
