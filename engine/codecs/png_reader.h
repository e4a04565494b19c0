#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <png.h>

#include "engine/image_buffer.h"
#include "engine/progress.h"

namespace tolvane {

// Reads PNG files through libpng, every colour type and depth: palette files
// as 8-bit index images, grey (with or without alpha) as 8-bit grey, RGB as
// 24-bit, RGBA as 32-bit alpha-first. 16-bit samples are reduced to 8.
class PngReader {
public:
    PngReader();
    ~PngReader();
    PngReader(const PngReader&) = delete;
    PngReader& operator=(const PngReader&) = delete;

    int32_t Open(const char* path, ImageBuffer* image, ProgressCallback callback);
    int32_t Decode();
    int32_t Close();

private:
    // Private state is the PNG reader's own; see png_reader.cpp.
};

}  // namespace tolvane
