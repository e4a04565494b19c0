#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace tolvane::test {

// A decoded picture as the tests compare it: rows top down, interleaved
// samples (1 grey or 3 red, green, blue), no padding.
struct Picture {
    int width = 0;
    int height = 0;
    int components = 0;
    std::vector<uint8_t> samples;

    const uint8_t* At(int x, int y) const {
        return samples.data() + (static_cast<size_t>(y) * width + x) * components;
    }
};

// A smooth, photograph-like test pattern with distinct corners, so that a
// mirrored or rotated copy is easy to tell apart.
Picture MakePattern(int width, int height, int components);

// Writes a baseline JPEG of the picture (1 or 3 components) with libjpeg.
// `app1` holds raw APP1 payload bytes (an EXIF block) when not empty.
void WriteJpeg(const std::string& path, const Picture& picture, int quality = 95,
               bool progressive = false, const std::vector<uint8_t>& app1 = {});

// Decodes a JPEG with libjpeg into grey or RGB. Throws on a file that is not
// a readable JPEG.
Picture ReadJpeg(const std::string& path);

// Facts of a JPEG file's header, read without decoding.
struct JpegInfo {
    int width = 0;
    int height = 0;
    int components = 0;
    bool progressive = false;
    bool hasExif = false;
    uint16_t luminanceQuant[64] = {};
};
JpegInfo ReadJpegInfo(const std::string& path);

// An EXIF APP1 payload holding just an orientation tag (1..8), little- or
// big-endian TIFF header.
std::vector<uint8_t> ExifOrientationBlock(int orientation, bool bigEndian = false);

// What to write into a PNG fixture. `rows` holds the raw samples as PNG
// stores them before packing: one byte per sample for depths 1 to 8 (the
// writer packs them), two big-endian bytes per sample for depth 16.
struct PngFixture {
    int width = 1;
    int height = 1;
    int colorType = 2;  // PNG_COLOR_TYPE_*
    int bitDepth = 8;
    bool interlaced = false;
    std::vector<uint8_t> samples;                 // width * channels per row
    std::vector<std::array<uint8_t, 3>> palette;  // colour type 3
    std::vector<uint8_t> transparency;            // tRNS: alphas, or a grey/RGB key
    double gamma = 0.0;                           // gAMA when > 0
    bool srgb = false;
};
void WritePng(const std::string& path, const PngFixture& fixture);

}  // namespace tolvane::test
