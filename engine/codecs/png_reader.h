#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
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
    void Reset();
    int32_t Refuse();
    int32_t Fail();
    bool FileCanHoldPixels() const;
    // The only two functions that arm libpng's jump; each runs one libpng call
    // sequence on the members below and keeps no owning locals.
    int32_t ReadHeader();
    int32_t ReadImage();

    ProgressCallback m_callback = nullptr;
    // libpng's input handle and error pointer; owned.
    std::FILE* m_file = nullptr;
    int32_t m_opened = 0;
    // From IHDR.
    png_uint_32 m_width = 0;
    png_uint_32 m_height = 0;
    int m_colourType = 0;
    int m_bitDepth = 0;
    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
    // Form of the image buffer that Decode fills: 8, 24 or 32 bits, and the
    // PLTE entry count for palette files (0 otherwise).
    uint32_t m_targetBits = 0;
    int32_t m_paletteSize = 0;
    ImageBuffer* m_image = nullptr;
    // One pointer per image row, into the image buffer; made before the jump
    // is armed so that nothing allocates on the jump path.
    std::unique_ptr<png_bytep[]> m_rows;
};

}  // namespace tolvane
