#pragma once

#include <cstdint>

namespace tolvane {

// Per-row report of the readers and the writer. `direction` is 1 while
// decoding, 0 while encoding; `row` is the row just finished; `reserved` is 0.
using ProgressCallback = void (*)(int32_t direction, int32_t percent, int32_t row,
                                  int32_t reserved);

inline constexpr int32_t kDecoding = 1;
inline constexpr int32_t kEncoding = 0;

// (row + 1) / height * 100 in double precision, in that order, truncated: row
// 28 of 100 reports 28 because 29 / 100 * 100 falls just short of 29.
inline int32_t ProgressPercent(int64_t row, int64_t height) {
    return static_cast<int32_t>((static_cast<double>(row) + 1.0) / static_cast<double>(height) *
                                100.0);
}

inline void ReportProgress(ProgressCallback callback, int32_t direction, int64_t row,
                           int64_t height) {
    if (callback != nullptr && height > 0) {
        callback(direction, ProgressPercent(row, height), static_cast<int32_t>(row), 0);
    }
}

}  // namespace tolvane
