#pragma once

#include <cstdint>

#include "engine/image_buffer.h"

namespace tolvane {

// Tries the readers in their fixed order (JPEG, BMP, TIFF, PNG, PCX, Photo CD)
// and lets the first that accepts the file decode it. Returns 1, -1 (nothing
// at the path) or -3 (no reader accepted it, or the accepting one failed).
int32_t LoadAnyImage(const char* path, ImageBuffer& image);

}  // namespace tolvane
