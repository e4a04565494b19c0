#pragma once

#include <cstdint>
#include <memory>

#include "engine/mapped_temp_file.h"

namespace tolvane {

struct PaletteEntry {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

// The engine's picture: rows top down without gaps, pixels in a mapped
// temporary file. 8 bits: grey level, or palette index when there is a
// palette; 16 bits: little-endian word, red 15-11, green 10-6, blue 5-1;
// 24 bits: red, green, blue; 32 bits: alpha, red, green, blue.
class ImageBuffer {
  public:
    ImageBuffer() = default;
    ~ImageBuffer();
    ImageBuffer(const ImageBuffer&) = delete;
    ImageBuffer& operator=(const ImageBuffer&) = delete;
    ImageBuffer(ImageBuffer&& other) noexcept;
    ImageBuffer& operator=(ImageBuffer&& other) noexcept;

    // Empties the image, then makes a zeroed pixel store of the given form.
    // The palette size counts only at 8 bits. Fails, leaving the image empty,
    // for sizes below 1, another depth, a negative palette size, a store of
    // 2^32 bytes or more, or when the store cannot be made.
    bool Create(int32_t width, int32_t height, uint32_t bitsPerPixel, int32_t paletteSize);
    void Reset();

    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    uint32_t BitsPerPixel() const { return m_bitsPerPixel; }
    int32_t PaletteSize() const { return m_paletteSize; }
    uint8_t* Pixels() const { return m_pixels; }
    int32_t Stride() const;
    PaletteEntry* PaletteEntries() const { return m_palette.get(); }
    uint8_t* Row(int32_t y) const {
        return m_pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(Stride());
    }

    // Creates `destination` at this size with 24 or 8 (grey, no palette) bits
    // per pixel and fills it from this image. Palette indices past the palette
    // read as black.
    bool ConvertTo(ImageBuffer& destination, uint32_t bitsPerPixel) const;

    void Flush();

  private:
    int32_t m_width = 0;
    int32_t m_height = 0;
    uint32_t m_bitsPerPixel = 0;
    uint8_t* m_pixels = nullptr;
    int32_t m_paletteSize = 0;
    MappedTempFile m_store;
    std::unique_ptr<PaletteEntry[]> m_palette;
};

// Grey level of a colour: weights 306, 601, 117 out of 1024, so white stays 255.
inline uint8_t GrayLevel(uint8_t red, uint8_t green, uint8_t blue) {
    return static_cast<uint8_t>((306u * red + 601u * green + 117u * blue) >> 10);
}

// Byte count of a width x height picture at the given depth, or 0 when a
// size is below 1, the depth is not 8/16/24/32 or the count does not fit in
// 32 bits.
uint32_t PixelStoreSize(int32_t width, int32_t height, uint32_t bitsPerPixel);

}  // namespace tolvane
