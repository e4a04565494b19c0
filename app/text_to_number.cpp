#include "text_to_number.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>

#include <locale.h>

namespace tolvane::app {

namespace {

// U+FF01..U+FF5E in UTF-8: EF BC 81..EF BC BF, then EF BD 80..EF BD 9E.
constexpr unsigned char kFullWidthLead = 0xEF;
constexpr char32_t kFullWidthFirst = 0xFF01;
constexpr char32_t kFullWidthLast = 0xFF5E;
constexpr char32_t kIdeographicSpace = 0x3000;

bool IsCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// The locale object behind strtod_l: Qt sets the process locale from the
// environment, and a German one would read "1,5" where we want "1.5".
locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return locale;
}

}  // namespace

std::string FoldFullWidth(std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte == kFullWidthLead || byte == 0xE3) && i + 2 < text.size()) {
            const char32_t code = (static_cast<char32_t>(byte & 0x0F) << 12) |
                                  (static_cast<char32_t>(text[i + 1] & 0x3F) << 6) |
                                  static_cast<char32_t>(text[i + 2] & 0x3F);
            const bool continuation = (text[i + 1] & 0xC0) == 0x80 && (text[i + 2] & 0xC0) == 0x80;
            if (continuation && code >= kFullWidthFirst && code <= kFullWidthLast) {
                folded.push_back(static_cast<char>(code - kFullWidthFirst + 0x21));
                i += 3;
                continue;
            }
            if (continuation && code == kIdeographicSpace) {
                folded.push_back(' ');
                i += 3;
                continue;
            }
        }
        folded.push_back(text[i]);
        ++i;
    }
    return folded;
}

double TextToNumber(std::string_view text) {
    const std::string folded = FoldFullWidth(text);
    size_t i = 0;
    while (i < folded.size() && IsCSpace(folded[i])) {
        ++i;
    }
    const size_t start = i;
    if (i < folded.size() && (folded[i] == '+' || folded[i] == '-')) {
        ++i;
    }
    size_t digits = 0;
    while (i < folded.size() && IsDigit(folded[i])) {
        ++i;
        ++digits;
    }
    if (i < folded.size() && folded[i] == '.') {
        ++i;
        while (i < folded.size() && IsDigit(folded[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    // An exponent counts only with at least one digit: "1e" and "1e+" read as 1.
    if (i < folded.size() && (folded[i] == 'e' || folded[i] == 'E')) {
        size_t j = i + 1;
        if (j < folded.size() && (folded[j] == '+' || folded[j] == '-')) {
            ++j;
        }
        if (j < folded.size() && IsDigit(folded[j])) {
            while (j < folded.size() && IsDigit(folded[j])) {
                ++j;
            }
            i = j;
        }
    }
    // Only the decimal subject goes to strtod, so its hexadecimal, inf and nan
    // forms can never be reached; overflow and underflow round as atof's do.
    const std::string subject = folded.substr(start, i - start);
    return strtod_l(subject.c_str(), nullptr, CLocale());
}

int32_t LeadingInteger(std::string_view text) {
    // Only ASCII digits count: full-width forms are text for the run's
    // TextToNumber, not for the integer box.
    size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulated in 64 bits and stopped once past the 32-bit range, so a
    // long run of digits cannot overflow.
    constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
    int64_t magnitude = 0;
    while (i < text.size() && IsDigit(text[i])) {
        if (magnitude <= kLimit) {
            magnitude = magnitude * 10 + (text[i] - '0');
        }
        ++i;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    if (value < std::numeric_limits<int32_t>::min()) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(value);
}

int32_t TruncateToInt32(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 2147483647.0) {
        return std::numeric_limits<int32_t>::max();
    }
    if (value <= -2147483648.0) {
        return std::numeric_limits<int32_t>::min();
    }
    return static_cast<int32_t>(value);
}

}  // namespace tolvane::app
