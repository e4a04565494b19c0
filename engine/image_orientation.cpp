#include "engine/image_orientation.h"

#include <algorithm>
#include <cstring>

namespace tolvane {
namespace {

void SwapPixels(uint8_t* a, uint8_t* b, int32_t bytes) {
    for (int32_t i = 0; i < bytes; ++i) {
        std::swap(a[i], b[i]);
    }
}

void MirrorRows(ImageBuffer& image) {
    const int32_t bpp = static_cast<int32_t>(image.BitsPerPixel() / 8);
    for (int32_t y = 0; y < image.Height(); ++y) {
        uint8_t* row = image.Row(y);
        for (int32_t left = 0, right = image.Width() - 1; left < right; ++left, --right) {
            SwapPixels(row + left * bpp, row + right * bpp, bpp);
        }
    }
}

void FlipRows(ImageBuffer& image) {
    const int32_t stride = image.Stride();
    for (int32_t top = 0, bottom = image.Height() - 1; top < bottom; ++top, --bottom) {
        SwapPixels(image.Row(top), image.Row(bottom), stride);
    }
}

// Orientations 5 to 8 store the picture turned a quarter: each source pixel
// (x, y) lands at a column and row of the upright picture computed here.
bool Transpose(ImageBuffer& image, int orientation) {
    const int32_t width = image.Width();
    const int32_t height = image.Height();
    const int32_t bpp = static_cast<int32_t>(image.BitsPerPixel() / 8);
    ImageBuffer upright;
    if (!upright.Create(height, width, image.BitsPerPixel(), image.PaletteSize())) {
        return false;
    }
    if (image.PaletteSize() > 0) {
        std::memcpy(upright.PaletteEntries(), image.PaletteEntries(),
                    sizeof(PaletteEntry) * static_cast<size_t>(image.PaletteSize()));
    }
    // Tiles keep both the rows read and the rows written in the cache.
    constexpr int32_t kTile = 64;
    for (int32_t y0 = 0; y0 < height; y0 += kTile) {
        for (int32_t x0 = 0; x0 < width; x0 += kTile) {
            const int32_t yEnd = std::min(height, y0 + kTile);
            const int32_t xEnd = std::min(width, x0 + kTile);
            for (int32_t y = y0; y < yEnd; ++y) {
                const uint8_t* in = image.Row(y) + x0 * bpp;
                for (int32_t x = x0; x < xEnd; ++x, in += bpp) {
                    int32_t outX = 0;
                    int32_t outY = 0;
                    switch (orientation) {
                        case 5:  // transpose
                            outX = y;
                            outY = x;
                            break;
                        case 6:  // rotate a quarter clockwise
                            outX = height - 1 - y;
                            outY = x;
                            break;
                        case 7:  // transverse
                            outX = height - 1 - y;
                            outY = width - 1 - x;
                            break;
                        default:  // 8: rotate a quarter counter-clockwise
                            outX = y;
                            outY = width - 1 - x;
                            break;
                    }
                    std::memcpy(upright.Row(outY) + outX * bpp, in, static_cast<size_t>(bpp));
                }
            }
        }
    }
    image = std::move(upright);
    return true;
}

}  // namespace

bool MakeUpright(ImageBuffer& image, int orientation) {
    if (image.Width() < 1 || image.Height() < 1) {
        return false;
    }
    switch (orientation) {
        case 2:
            MirrorRows(image);
            return true;
        case 3:
            MirrorRows(image);
            FlipRows(image);
            return true;
        case 4:
            FlipRows(image);
            return true;
        case 5:
        case 6:
        case 7:
        case 8:
            return Transpose(image, orientation);
        default:
            return true;
    }
}

}  // namespace tolvane
