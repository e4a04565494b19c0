#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <iosfwd>
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

using Bytes = std::vector<uint8_t>;

// Little-endian values written over bytes that are already there.
void Put16(std::vector<uint8_t>& bytes, std::size_t at, uint32_t value);
void Put32(std::vector<uint8_t>& bytes, std::size_t at, uint32_t value);

// ---- BMP --------------------------------------------------------------------

// What a fixture bitmap holds. Pixels are a fixed pattern with a different
// value in every channel of every pixel, so a swapped channel, a mirrored
// row or a misread padding byte shows.
struct BmpFixture {
    const char* magic = "BM";
    uint32_t headerSize = 40;  // 12 writes an OS/2 core header
    int32_t width = 3;
    int32_t height = 2;  // negative: rows stored top-down (info header only)
    uint16_t bitsPerPixel = 24;
    uint32_t compression = 0;
    uint32_t gapBytes = 0;  // between the header and the pixel data, like a palette
};

uint8_t PatternRed(int x, int y);
uint8_t PatternGreen(int x, int y);
uint8_t PatternBlue(int x, int y);

std::vector<uint8_t> MakeBmp(const BmpFixture& f);

// ---- PCX --------------------------------------------------------------------

struct PcxHeader {
    uint8_t manufacturer = 0x0A;
    uint8_t encoding = 1;
    uint8_t bitsPerPlane = 8;
    uint16_t xMin = 0, yMin = 0, xMax = 3, yMax = 1;
    uint8_t planes = 1;
    uint16_t bytesPerLine = 4;
};

Bytes HeaderBytes(const PcxHeader& h);

// The usual encoder: runs of up to 63, and a lone byte of 0xC0 or more
// written as a run of one so that it is not taken for a code.
Bytes EncodeRle(const Bytes& scanline);

// The palette of every 8-bit fixture: distinct red, green and blue per entry.
Bytes FixturePalette();

Bytes WithPalette(Bytes file, bool marker = true);

// Header, then the given scanlines each run-length encoded.
Bytes EncodedFile(const PcxHeader& header, const std::vector<Bytes>& scanlines);

// ---- TIFF -------------------------------------------------------------------
// Fixtures written with libtiff, at known pixels.

struct Rgb {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

enum class Colour { kRgb, kRgb16, kGrey, kBilevel, kPalette, kCmyk, kRgbAlpha };
enum class Layout { kStrips, kTiles, kPlanarStrips, kPlanarTiles };

struct TiffCase {
    const char* name;
    const char* reason;
    Colour colour;
    uint16_t compression;
    Layout layout;
    uint32_t width;
    uint32_t height;
    // 0: the exact bytes; above 0: the largest difference JPEG may leave.
    int tolerance = 0;
    // Pages after the first, each of another size and content.
    int extraPages = 0;
    uint16_t predictor = 1;  // PREDICTOR_NONE
};
// Beside the case so that GoogleTest finds it when it names a failing case.
void PrintTo(const TiffCase& c, std::ostream* os);

// What the reader must deliver for a pixel.
Rgb ExpectedColour(const TiffCase& c, uint32_t x, uint32_t y);

void WriteTiff(const std::string& path, const TiffCase& c);

// ---- Photo CD ---------------------------------------------------------------

constexpr std::size_t kOneMiB = 1048576;

// Where each uncompressed image sits, and its size.
struct PackLayout {
    int width, height;
    std::size_t offset;
};
constexpr PackLayout kPackLayouts[] = {{192, 128, 0x2000}, {384, 256, 0xB800}, {768, 512, 0x30000}};

// An image pack of `size` bytes: zeros, with the signature at 2048.
Bytes MakePack(std::size_t size = kOneMiB);

// Fills one image of the pack: luma(x, y) per pixel, and per row pair p the
// chroma samples c1(k, p) and c2(k, p), k counting pixel pairs.
void FillImage(Bytes& pack, int resolution, const std::function<uint8_t(int, int)>& luma,
               const std::function<uint8_t(int, int)>& c1,
               const std::function<uint8_t(int, int)>& c2);

void FillUniform(Bytes& pack, int resolution, uint8_t y, uint8_t c1, uint8_t c2);

}  // namespace tolvane::test
