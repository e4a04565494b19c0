#include "engine/image_orientation.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/test_support.h"

namespace tolvane {
namespace {

// A 3 x 2 grey picture with a different value in every pixel:
//   1 2 3
//   4 5 6
// and how it must come out for each orientation tag.
struct Case {
    int orientation;
    int32_t width, height;
    std::vector<uint8_t> upright;
};

class MakeUprightTest : public ::testing::TestWithParam<Case> {};

TEST_P(MakeUprightTest, TurnsTheStoredPictureUpright) {
    test::PrivateTempFolder temp;
    const Case& c = GetParam();
    ImageBuffer image;
    ASSERT_TRUE(image.Create(3, 2, 8, 0));
    const uint8_t stored[] = {1, 2, 3, 4, 5, 6};
    std::copy(std::begin(stored), std::end(stored), image.Pixels());
    ASSERT_TRUE(MakeUpright(image, c.orientation));
    EXPECT_EQ(c.width, image.Width());
    EXPECT_EQ(c.height, image.Height());
    EXPECT_EQ(c.upright, std::vector<uint8_t>(image.Pixels(), image.Pixels() + 6));
    EXPECT_EQ(1u, temp.Leftovers().size()) << "the turned copy replaces the old store";
}

INSTANTIATE_TEST_SUITE_P(
    EveryTag, MakeUprightTest,
    ::testing::Values(Case{1, 3, 2, {1, 2, 3, 4, 5, 6}}, Case{2, 3, 2, {3, 2, 1, 6, 5, 4}},
                      Case{3, 3, 2, {6, 5, 4, 3, 2, 1}}, Case{4, 3, 2, {4, 5, 6, 1, 2, 3}},
                      Case{5, 2, 3, {1, 4, 2, 5, 3, 6}}, Case{6, 2, 3, {4, 1, 5, 2, 6, 3}},
                      Case{7, 2, 3, {6, 3, 5, 2, 4, 1}}, Case{8, 2, 3, {3, 6, 2, 5, 1, 4}},
                      Case{9, 3, 2, {1, 2, 3, 4, 5, 6}}));

TEST(MakeUprightTest, KeepsWholePixelsAndThePalette) {
    test::PrivateTempFolder temp;
    ImageBuffer image;
    ASSERT_TRUE(image.Create(2, 1, 24, 0));
    const uint8_t stored[] = {1, 2, 3, 4, 5, 6};
    std::copy(std::begin(stored), std::end(stored), image.Pixels());
    ASSERT_TRUE(MakeUpright(image, 6));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4, 5, 6}),
              std::vector<uint8_t>(image.Pixels(), image.Pixels() + 6));
    EXPECT_EQ(1, image.Width());
    EXPECT_EQ(2, image.Height());

    ImageBuffer indexed;
    ASSERT_TRUE(indexed.Create(1, 2, 8, 2));
    indexed.PaletteEntries()[1] = PaletteEntry{7, 8, 9};
    ASSERT_TRUE(MakeUpright(indexed, 8));
    ASSERT_EQ(2, indexed.PaletteSize());
    EXPECT_EQ(9, indexed.PaletteEntries()[1].blue);
}

}  // namespace
}  // namespace tolvane
