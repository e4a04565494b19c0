#include "engine/image_buffer.h"

#include <climits>
#include <cstring>
#include <new>
#include <utility>

namespace tolvane {
namespace {

uint32_t BytesPerPixel(uint32_t bitsPerPixel) {
    switch (bitsPerPixel) {
        case 8:
        case 16:
        case 24:
        case 32:
            return bitsPerPixel / 8;
        default:
            return 0;
    }
}

// A 16-bit word holds red in bits 15-11, green 10-6, blue 5-1; each channel
// lands in the top five bits of its byte.
void Unpack16(const uint8_t* pixel, uint8_t& red, uint8_t& green, uint8_t& blue) {
    const uint32_t word = static_cast<uint32_t>(pixel[0]) | (static_cast<uint32_t>(pixel[1]) << 8);
    red = static_cast<uint8_t>((word >> 8) & 0xF8);
    green = static_cast<uint8_t>((word >> 3) & 0xF8);
    blue = static_cast<uint8_t>((word << 2) & 0xF8);
}

}  // namespace

uint32_t PixelStoreSize(int32_t width, int32_t height, uint32_t bitsPerPixel) {
    const uint32_t bytesPerPixel = BytesPerPixel(bitsPerPixel);
    if (width < 1 || height < 1 || bytesPerPixel == 0) {
        return 0;
    }
    // The stride is a signed 32-bit quantity too: one very wide row must not
    // pass just because the picture is one row high.
    const uint64_t stride = static_cast<uint64_t>(width) * bytesPerPixel;
    const uint64_t count = stride * static_cast<uint64_t>(height);
    return stride > INT32_MAX || count > UINT32_MAX ? 0 : static_cast<uint32_t>(count);
}

ImageBuffer::~ImageBuffer() {
    Reset();
}

ImageBuffer::ImageBuffer(ImageBuffer&& other) noexcept {
    *this = std::move(other);
}

ImageBuffer& ImageBuffer::operator=(ImageBuffer&& other) noexcept {
    if (this != &other) {
        Reset();
        m_width = std::exchange(other.m_width, 0);
        m_height = std::exchange(other.m_height, 0);
        m_bitsPerPixel = std::exchange(other.m_bitsPerPixel, 0);
        m_pixels = std::exchange(other.m_pixels, nullptr);
        m_paletteSize = std::exchange(other.m_paletteSize, 0);
        m_store = std::move(other.m_store);
        m_palette = std::move(other.m_palette);
    }
    return *this;
}

bool ImageBuffer::Create(int32_t width, int32_t height, uint32_t bitsPerPixel,
                         int32_t paletteSize) {
    Reset();
    const uint32_t byteCount = PixelStoreSize(width, height, bitsPerPixel);
    if (byteCount == 0) {
        return false;
    }
    if (bitsPerPixel == 8 && paletteSize < 0) {
        return false;
    }
    if (!m_store.Allocate(byteCount, kTempPrefix)) {
        Reset();
        return false;
    }
    if (bitsPerPixel == 8 && paletteSize > 0) {
        m_palette.reset(new (std::nothrow) PaletteEntry[static_cast<size_t>(paletteSize)]);
        if (!m_palette) {
            Reset();
            return false;
        }
    } else {
        paletteSize = 0;
    }
    m_width = width;
    m_height = height;
    m_bitsPerPixel = bitsPerPixel;
    m_pixels = m_store.Data();
    m_paletteSize = paletteSize;
    return true;
}

void ImageBuffer::Reset() {
    m_store.Release(true);
    m_palette.reset();
    m_width = 0;
    m_height = 0;
    m_bitsPerPixel = 0;
    m_pixels = nullptr;
    m_paletteSize = 0;
}

int32_t ImageBuffer::Stride() const {
    return m_width * static_cast<int32_t>(BytesPerPixel(m_bitsPerPixel));
}

bool ImageBuffer::ConvertTo(ImageBuffer& destination, uint32_t bitsPerPixel) const {
    if (m_width < 1 || m_height < 1 || &destination == this) {
        return false;
    }
    if (bitsPerPixel != 24 && bitsPerPixel != 8) {
        return false;
    }
    if (!destination.Create(m_width, m_height, bitsPerPixel, 0)) {
        return false;
    }
    const bool toColour = bitsPerPixel == 24;
    const bool sameForm =
        toColour ? m_bitsPerPixel == 24 : (m_bitsPerPixel == 8 && m_paletteSize == 0);
    if (sameForm) {
        std::memcpy(destination.Pixels(), m_pixels, m_store.Size());
        destination.Flush();
        return true;
    }

    static constexpr PaletteEntry kBlack{0, 0, 0};
    for (int32_t y = 0; y < m_height; ++y) {
        const uint8_t* in = Row(y);
        uint8_t* out = destination.Row(y);
        for (int32_t x = 0; x < m_width; ++x) {
            uint8_t red = 0;
            uint8_t green = 0;
            uint8_t blue = 0;
            switch (m_bitsPerPixel) {
                case 8:
                    if (m_paletteSize > 0) {
                        // Files may use indices past their palette; those
                        // pixels are black rather than a read out of bounds.
                        const PaletteEntry& entry =
                            in[0] < m_paletteSize ? m_palette[in[0]] : kBlack;
                        red = entry.red;
                        green = entry.green;
                        blue = entry.blue;
                    } else {
                        red = green = blue = in[0];
                    }
                    break;
                case 16:
                    Unpack16(in, red, green, blue);
                    break;
                case 24:
                    red = in[0];
                    green = in[1];
                    blue = in[2];
                    break;
                default:  // 32: alpha first, carried and never blended
                    red = in[1];
                    green = in[2];
                    blue = in[3];
                    break;
            }
            in += m_bitsPerPixel / 8;
            if (toColour) {
                out[0] = red;
                out[1] = green;
                out[2] = blue;
                out += 3;
            } else {
                // Grey source pixels stay as they are; everything else goes
                // through the weighted sum.
                *out++ =
                    (m_bitsPerPixel == 8 && m_paletteSize == 0) ? red : GrayLevel(red, green, blue);
            }
        }
    }
    destination.Flush();
    return true;
}

void ImageBuffer::Flush() {
    m_store.Flush();
}

}  // namespace tolvane
