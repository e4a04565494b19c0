#include "text_to_number.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>

#include <gtest/gtest.h>

namespace tolvane::app {
namespace {

struct NumberCase {
    const char* name;
    std::string text;
    double expected;
};

void PrintTo(const NumberCase& value, std::ostream* out) {
    *out << value.name;
}

class TextToNumberTest : public testing::TestWithParam<NumberCase> {};

TEST_P(TextToNumberTest, ReadsTheLeadingDecimalNumber) {
    EXPECT_EQ(TextToNumber(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextToNumberTest,
    testing::Values(NumberCase{"empty", "", 0.0},                // no number at all
                    NumberCase{"plain", "60", 60.0},             // the box's start text
                    NumberCase{"trailing_text", "60abc", 60.0},  // stops at the first misfit
                    NumberCase{"leading_space", " \t\n\v\f\r42", 42.0},  // C white space is skipped
                    NumberCase{"plus", "+5", 5.0},                       // optional sign
                    NumberCase{"minus_fraction", "-2.5", -2.5},          // sign and decimals
                    NumberCase{"exponent", "1e3", 1000.0},               // the clamp's "1e3" case
                    NumberCase{"signed_exponent", "-2.5E-1x", -0.25},    // upper-case E with sign
                    NumberCase{"bare_exponent", "1e", 1.0},  // "e" without digits is no exponent
                    NumberCase{"signed_bare_exponent", "7e+", 7.0},  // nor "e+"
                    NumberCase{"leading_point", ".5", 0.5},          // digits after the point only
                    NumberCase{"trailing_point", "5.", 5.0},         // digits before the point only
                    NumberCase{"point_alone", ".", 0.0},             // a point is no number
                    NumberCase{"sign_alone", "-", 0.0},              // nor is a sign
                    NumberCase{"letters", "abc", 0.0},               // the clamp's "abc" case
                    NumberCase{"hexadecimal", "0x1A", 0.0},          // decimal only: reads the 0
                    NumberCase{"infinity_word", "inf", 0.0},         // no words
                    NumberCase{"nan_word", "nan", 0.0},              // no words
                    NumberCase{"comma", "1,5", 1.0},                 // C locale: a comma ends it
                    NumberCase{"just_above_100", "100.00000005", 100.00000005},  // kept exact
                    NumberCase{"full_width_digits", "\xEF\xBC\x96\xEF\xBC\x90", 60.0},  // "６０"
                    NumberCase{"full_width_point", "\xEF\xBC\x91\xEF\xBC\x8E\xEF\xBC\x95",
                               1.5},  // "１．５"
                    NumberCase{"full_width_minus", "\xEF\xBC\x8D\xEF\xBC\x93", -3.0},  // "－３"
                    NumberCase{"full_width_e",
                               "1\xEF\xBD\x85"
                               "2",
                               100.0},  // "1ｅ2"
                    NumberCase{"ideographic_space",
                               "\xE3\x80\x80"
                               "42",
                               42.0},  // "　42"
                    NumberCase{"other_cjk_first",
                               "\xE3\x80\x81"
                               "42",
                               0.0},                                     // "、" is no space
                    NumberCase{"truncated_sequence", "\xEF\xBC", 0.0}),  // cut UTF-8 is kept as is
    [](const testing::TestParamInfo<NumberCase>& info) { return info.param.name; });

TEST(TextToNumberLimits, OverflowAndUnderflowRoundAsAtofDoes) {
    EXPECT_EQ(TextToNumber("1e400"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(TextToNumber("-1e400"), -std::numeric_limits<double>::infinity());
    EXPECT_EQ(TextToNumber("1e-400"), 0.0);
}

struct IntegerCase {
    const char* name;
    std::string text;
    int32_t expected;
};

void PrintTo(const IntegerCase& value, std::ostream* out) {
    *out << value.name;
}

class LeadingIntegerTest : public testing::TestWithParam<IntegerCase> {};

TEST_P(LeadingIntegerTest, ReadsTheLeadingIntegerClamped) {
    EXPECT_EQ(LeadingInteger(GetParam().text), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LeadingIntegerTest,
    testing::Values(
        IntegerCase{"empty", "", 0}, IntegerCase{"plain", "60", 60},
        IntegerCase{"fraction_dropped", "100.00000005", 100},  // leaving the box gives "100"
        IntegerCase{"exponent_not_read", "1e3", 1},            // an integer, not a number
        IntegerCase{"negative", " -3x", -3}, IntegerCase{"letters", "abc", 0},
        IntegerCase{"full_width", "\xEF\xBC\x99\xEF\xBC\x90", 0},  // "９０" holds no ASCII digit
        IntegerCase{"int_max", "2147483647", 2147483647},
        IntegerCase{"above_int_max", "2147483648", 2147483647},
        IntegerCase{"int_min", "-2147483648", std::numeric_limits<int32_t>::min()},
        IntegerCase{"below_int_min", "-2147483649", std::numeric_limits<int32_t>::min()},
        IntegerCase{"forty_digits", std::string(40, '9'), 2147483647}),  // no overflow
    [](const testing::TestParamInfo<IntegerCase>& info) { return info.param.name; });

TEST(TruncateToInt32, TruncatesTowardZeroAndSaturates) {
    EXPECT_EQ(TruncateToInt32(60.9), 60);
    EXPECT_EQ(TruncateToInt32(-0.5), 0);
    EXPECT_EQ(TruncateToInt32(-7.9), -7);
    EXPECT_EQ(TruncateToInt32(1e300), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(TruncateToInt32(-std::numeric_limits<double>::infinity()),
              std::numeric_limits<int32_t>::min());
    EXPECT_EQ(TruncateToInt32(std::nan("")), 0);
}

}  // namespace
}  // namespace tolvane::app
