#pragma once

#include <cstdint>
#include <string>

namespace tolvane::app {

// ConvertImage for texts of the window: the paths are UTF-8 and go to the
// engine as the file system's bytes. A destination that is the source file
// itself is refused with the invalid-arguments code, so that a run into the
// pictures' own folder never overwrites an original.
int32_t ConvertWithEngine(const std::string& source, const std::string& destination,
                          int32_t grayscale, int32_t quality, int32_t optimize, int32_t smoothing);

}  // namespace tolvane::app
