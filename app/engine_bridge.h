#pragma once

#include <cstdint>
#include <string>

namespace tolvane::app {

// ConvertImage for texts of the window: the paths are UTF-8 and go to the
// engine as the file system's bytes.
int32_t ConvertWithEngine(const std::string& source, const std::string& destination,
                          int32_t grayscale, int32_t quality, int32_t optimize, int32_t smoothing);

}  // namespace tolvane::app
