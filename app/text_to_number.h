#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvane::app {

// Replaces the full-width forms U+FF01..U+FF5E by the ASCII characters
// 0x21..0x7E and the ideographic space U+3000 by a space, so that digits
// typed with a Chinese input method read as digits.
std::string FoldFullWidth(std::string_view text);

// The leading decimal number of the folded text, read as atof reads it in the
// C locale: white space, sign, digits, decimal point, exponent. Hexadecimal,
// inf and nan are not numbers here; a text without a leading number gives 0.
double TextToNumber(std::string_view text);

// The leading integer of the text (white space, sign, ASCII digits), clamped
// into the 32-bit signed range; 0 when there is none.
int32_t LeadingInteger(std::string_view text);

// Truncates toward zero, saturating at the 32-bit limits; NaN gives 0.
int32_t TruncateToInt32(double value);

}  // namespace tolvane::app
