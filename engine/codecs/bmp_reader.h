#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "engine/image_buffer.h"
#include "engine/progress.h"

namespace tolvane {

// Reads uncompressed 24-bit bitmaps, Windows (info header and its longer
// versions) and OS/2 (core header), into a 24-bit image, top row first.
// Every other bitmap is refused by Open so that the chain moves on.
class BmpReader {
  public:
    BmpReader();
    ~BmpReader();
    BmpReader(const BmpReader&) = delete;
    BmpReader& operator=(const BmpReader&) = delete;

    // 1 when the file is a bitmap this reader decodes, else 0 (and closed).
    int32_t Open(const char* path, ImageBuffer* image, ProgressCallback callback);
    // 1 when `image` holds the picture; always ends closed.
    int32_t Decode();
    // Always 1; may be called any number of times.
    int32_t Close();

    static constexpr std::size_t kFileHeaderSize = 14;

  private:
    void Reset();
    bool DecodeRows();
    uint32_t PixelDataOffset() const;

    ProgressCallback m_callback = nullptr;
    std::FILE* m_file = nullptr;
    int32_t m_opened = 0;
    std::array<uint8_t, kFileHeaderSize> m_fileHeader{};
    // The bytes between the file header and the pixel data: the bitmap header
    // and whatever a writer put after it (masks, palette, gap).
    int32_t m_headerBlockLength = 0;
    std::unique_ptr<uint8_t[]> m_headerBlock;
    uint64_t m_fileLength = 0;
    int32_t m_bitsPerPixel = 0;
    int32_t m_coreHeader = -1;
    int32_t m_bottomUp = -1;
    int32_t m_compression = -1;
    int32_t m_width = 0;
    int32_t m_height = 0;
    ImageBuffer* m_image = nullptr;
};

}  // namespace tolvane
