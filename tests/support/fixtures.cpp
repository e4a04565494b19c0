#include "support/fixtures.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <ostream>
#include <stdexcept>

#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

namespace tolvane::test {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

File OpenFile(const std::string& path, const char* mode) {
    File f(std::fopen(path.c_str(), mode));
    if (!f) throw std::runtime_error("cannot open " + path);
    return f;
}

// Test code may throw through libjpeg: the objects are plain C structs and
// the destroy call below runs from a catch block, never from a destructor.
[[noreturn]] void ThrowingErrorExit(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    throw std::runtime_error(message);
}

void SilentMessage(j_common_ptr, int) {}

}  // namespace

Picture MakePattern(int width, int height, int components) {
    Picture p;
    p.width = width;
    p.height = height;
    p.components = components;
    p.samples.resize(static_cast<size_t>(width) * height * components);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* px = p.samples.data() + (static_cast<size_t>(y) * width + x) * components;
            int r = width > 1 ? x * 255 / (width - 1) : 0;
            int g = height > 1 ? y * 255 / (height - 1) : 0;
            int b = (r + g) / 2 ^ 0x40;
            if (components == 1) {
                px[0] = static_cast<uint8_t>((r * 3 + g) / 4);
            } else {
                px[0] = static_cast<uint8_t>(r);
                px[1] = static_cast<uint8_t>(g);
                px[2] = static_cast<uint8_t>(b);
            }
        }
    }
    return p;
}

void WriteJpeg(const std::string& path, const Picture& picture, int quality, bool progressive,
               const std::vector<uint8_t>& app1) {
    File f = OpenFile(path, "wb");
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jerr.error_exit = ThrowingErrorExit;
    jpeg_create_compress(&cinfo);
    try {
        jpeg_stdio_dest(&cinfo, f.get());
        cinfo.image_width = static_cast<JDIMENSION>(picture.width);
        cinfo.image_height = static_cast<JDIMENSION>(picture.height);
        cinfo.input_components = picture.components;
        cinfo.in_color_space = picture.components == 1 ? JCS_GRAYSCALE : JCS_RGB;
        jpeg_set_defaults(&cinfo);
        jpeg_set_quality(&cinfo, quality, TRUE);
        if (progressive) jpeg_simple_progression(&cinfo);
        jpeg_start_compress(&cinfo, TRUE);
        if (!app1.empty()) {
            jpeg_write_marker(&cinfo, JPEG_APP0 + 1, app1.data(),
                              static_cast<unsigned>(app1.size()));
        }
        const size_t stride = static_cast<size_t>(picture.width) * picture.components;
        while (cinfo.next_scanline < cinfo.image_height) {
            JSAMPROW row =
                const_cast<JSAMPROW>(picture.samples.data() + cinfo.next_scanline * stride);
            jpeg_write_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_compress(&cinfo);
    } catch (...) {
        jpeg_destroy_compress(&cinfo);
        throw;
    }
    jpeg_destroy_compress(&cinfo);
}

Picture ReadJpeg(const std::string& path) {
    File f = OpenFile(path, "rb");
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jerr.error_exit = ThrowingErrorExit;
    jerr.emit_message = SilentMessage;
    jpeg_create_decompress(&cinfo);
    Picture p;
    try {
        jpeg_stdio_src(&cinfo, f.get());
        jpeg_read_header(&cinfo, TRUE);
        jpeg_start_decompress(&cinfo);
        p.width = static_cast<int>(cinfo.output_width);
        p.height = static_cast<int>(cinfo.output_height);
        p.components = cinfo.output_components;
        const size_t stride = static_cast<size_t>(p.width) * p.components;
        p.samples.resize(stride * p.height);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row = p.samples.data() + cinfo.output_scanline * stride;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
    } catch (...) {
        jpeg_destroy_decompress(&cinfo);
        throw;
    }
    jpeg_destroy_decompress(&cinfo);
    return p;
}

JpegInfo ReadJpegInfo(const std::string& path) {
    File f = OpenFile(path, "rb");
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jerr.error_exit = ThrowingErrorExit;
    jerr.emit_message = SilentMessage;
    jpeg_create_decompress(&cinfo);
    JpegInfo info;
    try {
        jpeg_stdio_src(&cinfo, f.get());
        jpeg_save_markers(&cinfo, JPEG_APP0 + 1, 0xFFFF);
        jpeg_read_header(&cinfo, TRUE);
        info.width = static_cast<int>(cinfo.image_width);
        info.height = static_cast<int>(cinfo.image_height);
        info.components = cinfo.num_components;
        info.progressive = cinfo.progressive_mode != 0;
        for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
            if (m->marker == JPEG_APP0 + 1 && m->data_length >= 6 &&
                std::memcmp(m->data, "Exif\0\0", 6) == 0) {
                info.hasExif = true;
            }
        }
        if (cinfo.quant_tbl_ptrs[0]) {
            for (int i = 0; i < 64; ++i)
                info.luminanceQuant[i] = cinfo.quant_tbl_ptrs[0]->quantval[i];
        }
    } catch (...) {
        jpeg_destroy_decompress(&cinfo);
        throw;
    }
    jpeg_destroy_decompress(&cinfo);
    return info;
}

std::vector<uint8_t> ExifOrientationBlock(int orientation, bool bigEndian) {
    std::vector<uint8_t> b = {'E', 'x', 'i', 'f', 0, 0};
    auto put16 = [&](uint16_t v) {
        if (bigEndian) {
            b.push_back(static_cast<uint8_t>(v >> 8));
            b.push_back(static_cast<uint8_t>(v));
        } else {
            b.push_back(static_cast<uint8_t>(v));
            b.push_back(static_cast<uint8_t>(v >> 8));
        }
    };
    auto put32 = [&](uint32_t v) {
        if (bigEndian) {
            put16(static_cast<uint16_t>(v >> 16));
            put16(static_cast<uint16_t>(v));
        } else {
            put16(static_cast<uint16_t>(v));
            put16(static_cast<uint16_t>(v >> 16));
        }
    };
    b.push_back(bigEndian ? 'M' : 'I');
    b.push_back(bigEndian ? 'M' : 'I');
    put16(42);
    put32(8);       // first IFD right after the header
    put16(1);       // one entry
    put16(0x0112);  // Orientation
    put16(3);       // SHORT
    put32(1);
    put16(static_cast<uint16_t>(orientation));
    put16(0);
    put32(0);  // no next IFD
    return b;
}

void WritePng(const std::string& path, const PngFixture& fx) {
    File f = OpenFile(path, "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (!png || !info) throw std::runtime_error("png_create_write_struct failed");
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("libpng failed to write " + path);
    }
    png_init_io(png, f.get());
    png_set_IHDR(png, info, static_cast<png_uint_32>(fx.width), static_cast<png_uint_32>(fx.height),
                 fx.bitDepth, fx.colorType,
                 fx.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    for (const auto& e : fx.palette) palette.push_back(png_color{e[0], e[1], e[2]});
    if (!palette.empty()) png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    if (!fx.transparency.empty()) {
        if (fx.colorType == PNG_COLOR_TYPE_PALETTE) {
            png_set_tRNS(png, info, fx.transparency.data(),
                         static_cast<int>(fx.transparency.size()), nullptr);
        } else {
            png_color_16 key{};
            key.gray = fx.transparency[0];
            if (fx.transparency.size() >= 3) {
                key.red = fx.transparency[0];
                key.green = fx.transparency[1];
                key.blue = fx.transparency[2];
            }
            png_set_tRNS(png, info, nullptr, 0, &key);
        }
    }
    if (fx.gamma > 0) png_set_gAMA(png, info, fx.gamma);
    if (fx.srgb) png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(png, info);
    if (fx.bitDepth < 8) png_set_packing(png);

    int channels = 1;
    switch (fx.colorType) {
        case PNG_COLOR_TYPE_RGB:
            channels = 3;
            break;
        case PNG_COLOR_TYPE_RGB_ALPHA:
            channels = 4;
            break;
        case PNG_COLOR_TYPE_GRAY_ALPHA:
            channels = 2;
            break;
        default:
            channels = 1;
    }
    const size_t rowBytes = static_cast<size_t>(fx.width) * channels * (fx.bitDepth == 16 ? 2 : 1);
    if (fx.samples.size() < rowBytes * fx.height) {
        png_destroy_write_struct(&png, &info);
        throw std::runtime_error("PNG fixture has too few samples");
    }
    std::vector<png_bytep> rows(static_cast<size_t>(fx.height));
    for (int y = 0; y < fx.height; ++y) {
        rows[static_cast<size_t>(y)] = const_cast<png_bytep>(fx.samples.data() + rowBytes * y);
    }
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
}

void Put16(std::vector<uint8_t>& bytes, std::size_t at, uint32_t value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& bytes, std::size_t at, uint32_t value) {
    Put16(bytes, at, value);
    Put16(bytes, at + 2, value >> 16);
}

// ---- BMP --------------------------------------------------------------------

uint8_t PatternRed(int x, int y) {
    return static_cast<uint8_t>(10 + 3 * x + 50 * y);
}
uint8_t PatternGreen(int x, int y) {
    return static_cast<uint8_t>(200 - 7 * x - 20 * y);
}
uint8_t PatternBlue(int x, int y) {
    return static_cast<uint8_t>(1 + x + 90 * y);
}

std::vector<uint8_t> MakeBmp(const BmpFixture& f) {
    const bool core = f.headerSize == 12;
    const uint32_t offset = 14 + f.headerSize + f.gapBytes;
    const int rows = f.height < 0 ? -f.height : f.height;
    const uint32_t rowLength = (static_cast<uint32_t>(f.width) * 3 + 3) & ~3u;
    std::vector<uint8_t> bytes(offset, 0);
    bytes[0] = static_cast<uint8_t>(f.magic[0]);
    bytes[1] = static_cast<uint8_t>(f.magic[1]);
    Put32(bytes, 2, offset + rowLength * rows);
    Put32(bytes, 10, offset);
    Put32(bytes, 14, f.headerSize);
    if (core) {
        Put16(bytes, 18, static_cast<uint32_t>(f.width));
        Put16(bytes, 20, static_cast<uint32_t>(f.height));
        Put16(bytes, 22, 1);
        Put16(bytes, 24, f.bitsPerPixel);
    } else {
        Put32(bytes, 18, static_cast<uint32_t>(f.width));
        Put32(bytes, 22, static_cast<uint32_t>(f.height));
        Put16(bytes, 26, 1);
        Put16(bytes, 28, f.bitsPerPixel);
        Put32(bytes, 30, f.compression);
    }
    const bool bottomUp = core || f.height > 0;
    for (int i = 0; i < rows; ++i) {
        const int y = bottomUp ? rows - 1 - i : i;
        std::vector<uint8_t> row(rowLength, 0xEE);  // padding that must not show
        for (int x = 0; x < f.width; ++x) {
            row[3 * x] = PatternBlue(x, y);
            row[3 * x + 1] = PatternGreen(x, y);
            row[3 * x + 2] = PatternRed(x, y);
        }
        bytes.insert(bytes.end(), row.begin(), row.end());
    }
    return bytes;
}

// ---- PCX --------------------------------------------------------------------

Bytes HeaderBytes(const PcxHeader& h) {
    Bytes bytes(128, 0);
    bytes[0] = h.manufacturer;
    bytes[1] = 5;
    bytes[2] = h.encoding;
    bytes[3] = h.bitsPerPlane;
    Put16(bytes, 4, h.xMin);
    Put16(bytes, 6, h.yMin);
    Put16(bytes, 8, h.xMax);
    Put16(bytes, 10, h.yMax);
    bytes[65] = h.planes;
    Put16(bytes, 66, h.bytesPerLine);
    return bytes;
}

Bytes EncodeRle(const Bytes& scanline) {
    Bytes out;
    for (std::size_t i = 0; i < scanline.size();) {
        std::size_t run = 1;
        while (i + run < scanline.size() && scanline[i + run] == scanline[i] && run < 63) {
            ++run;
        }
        if (run > 1 || scanline[i] >= 0xC0) {
            out.push_back(static_cast<uint8_t>(0xC0 | run));
        }
        out.push_back(scanline[i]);
        i += run;
    }
    return out;
}

Bytes FixturePalette() {
    Bytes palette;
    for (int k = 0; k < 256; ++k) {
        palette.push_back(static_cast<uint8_t>(k));
        palette.push_back(static_cast<uint8_t>(255 - k));
        palette.push_back(static_cast<uint8_t>(k ^ 0x5A));
    }
    return palette;
}

Bytes WithPalette(Bytes file, bool marker) {
    if (marker) {
        file.push_back(0x0C);
    }
    const Bytes palette = FixturePalette();
    file.insert(file.end(), palette.begin(), palette.end());
    return file;
}

Bytes EncodedFile(const PcxHeader& header, const std::vector<Bytes>& scanlines) {
    Bytes file = HeaderBytes(header);
    for (const Bytes& line : scanlines) {
        const Bytes code = EncodeRle(line);
        file.insert(file.end(), code.begin(), code.end());
    }
    return file;
}

// ---- TIFF -------------------------------------------------------------------

namespace {

constexpr uint32_t kRowsPerStrip = 16;  // a multiple of 16, as JPEG with 2x2 chroma wants
constexpr uint32_t kTileSide = 16;

// The source colour of a pixel: a busy pattern whose rows all differ for the
// lossless cases, a smooth one for JPEG.
Rgb SourceColour(const TiffCase& c, uint32_t x, uint32_t y) {
    if (c.tolerance > 0) {
        const uint32_t w = std::max<uint32_t>(c.width - 1, 1);
        const uint32_t h = std::max<uint32_t>(c.height - 1, 1);
        return {static_cast<uint8_t>(x * 255 / w), static_cast<uint8_t>(y * 255 / h),
                static_cast<uint8_t>(255 - (x + y) * 255 / (w + h))};
    }
    return {static_cast<uint8_t>(x * 29 + y * 7), static_cast<uint8_t>(x * 11 + y * 53 + 5),
            static_cast<uint8_t>((x * 3) ^ (y * 17))};
}

bool BilevelBlack(uint32_t x, uint32_t y) {
    return (x * 3 + y) % 5 < 2;
}
uint8_t PaletteIndex(uint32_t x, uint32_t y) {
    return static_cast<uint8_t>(x + 3 * y);
}
Rgb PaletteColour(uint32_t index) {
    return {static_cast<uint8_t>(index), static_cast<uint8_t>(255 - index),
            static_cast<uint8_t>(index * 7)};
}
bool CmykFullBlack(uint32_t x, uint32_t y) {
    return (x + y) % 4 == 0;
}
uint8_t Alpha(uint32_t x, uint32_t y) {
    return static_cast<uint8_t>(128 + (x * 5 + y) % 128);
}
// Associated alpha stores colours already multiplied by alpha; libtiff hands
// them over as stored.
uint8_t Premultiplied(uint8_t value, uint8_t alpha) {
    return static_cast<uint8_t>(value * alpha / 255);
}

}  // namespace

Rgb ExpectedColour(const TiffCase& c, uint32_t x, uint32_t y) {
    const Rgb source = SourceColour(c, x, y);
    switch (c.colour) {
        case Colour::kRgb:
        case Colour::kRgb16:
            return source;
        case Colour::kGrey:
            return {source.red, source.red, source.red};
        case Colour::kBilevel:
            return BilevelBlack(x, y) ? Rgb{0, 0, 0} : Rgb{255, 255, 255};
        case Colour::kPalette:
            return PaletteColour(PaletteIndex(x, y));
        case Colour::kCmyk:
            // Without black ink the inks subtract from white exactly.
            if (CmykFullBlack(x, y)) {
                return {0, 0, 0};
            }
            return {static_cast<uint8_t>(255 - source.red),
                    static_cast<uint8_t>(255 - source.green),
                    static_cast<uint8_t>(255 - source.blue)};
        case Colour::kRgbAlpha: {
            const uint8_t alpha = Alpha(x, y);
            return {Premultiplied(source.red, alpha), Premultiplied(source.green, alpha),
                    Premultiplied(source.blue, alpha)};
        }
    }
    return source;
}

namespace {

uint16_t SamplesPerPixel(Colour colour) {
    switch (colour) {
        case Colour::kRgb:
        case Colour::kRgb16:
            return 3;
        case Colour::kCmyk:
        case Colour::kRgbAlpha:
            return 4;
        default:
            return 1;
    }
}

uint16_t BitsPerSample(Colour colour) {
    switch (colour) {
        case Colour::kRgb16:
            return 16;
        case Colour::kBilevel:
            return 1;
        default:
            return 8;
    }
}

bool Planar(Layout layout) {
    return layout == Layout::kPlanarStrips || layout == Layout::kPlanarTiles;
}
bool Tiled(Layout layout) {
    return layout == Layout::kTiles || layout == Layout::kPlanarTiles;
}

// The stored samples of one pixel, before packing.
std::array<uint16_t, 4> StoredSamples(const TiffCase& c, uint32_t x, uint32_t y) {
    const Rgb source = SourceColour(c, x, y);
    switch (c.colour) {
        case Colour::kRgb:
            return {source.red, source.green, source.blue, 0};
        case Colour::kRgb16:
            // v * 257 reduces back to v exactly.
            return {static_cast<uint16_t>(source.red * 257),
                    static_cast<uint16_t>(source.green * 257),
                    static_cast<uint16_t>(source.blue * 257), 0};
        case Colour::kGrey:
            return {source.red, 0, 0, 0};
        case Colour::kBilevel:
            return {static_cast<uint16_t>(BilevelBlack(x, y) ? 1 : 0), 0, 0, 0};
        case Colour::kPalette:
            return {PaletteIndex(x, y), 0, 0, 0};
        case Colour::kCmyk:
            return {source.red, source.green, source.blue,
                    static_cast<uint16_t>(CmykFullBlack(x, y) ? 255 : 0)};
        case Colour::kRgbAlpha: {
            const Rgb expected = ExpectedColour(c, x, y);
            return {expected.red, expected.green, expected.blue, Alpha(x, y)};
        }
    }
    return {};
}

// Bytes of pixels [x0, x0 + count) of row y, all samples interleaved, or only
// `plane` for a planar file. Outside the picture the edge pixels repeat, so
// that JPEG sees no hard edge in the padding of a tile.
std::vector<uint8_t> PackRow(const TiffCase& c, uint32_t y, uint32_t x0, uint32_t count,
                             int plane) {
    const uint16_t bits = BitsPerSample(c.colour);
    const int first = plane < 0 ? 0 : plane;
    const int last = plane < 0 ? SamplesPerPixel(c.colour) : plane + 1;
    std::vector<uint8_t> row;
    if (bits == 1) {
        row.assign((count + 7) / 8, 0);
        for (uint32_t i = 0; i < count; ++i) {
            if (StoredSamples(c, x0 + i, y)[0] != 0) {
                row[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
            }
        }
        return row;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const std::array<uint16_t, 4> samples =
            StoredSamples(c, std::min(x0 + i, c.width - 1), std::min(y, c.height - 1));
        for (int s = first; s < last; ++s) {
            if (bits == 16) {
                uint8_t bytes[2];
                std::memcpy(bytes, &samples[s], 2);  // libtiff writes native order
                row.insert(row.end(), bytes, bytes + 2);
            } else {
                row.push_back(static_cast<uint8_t>(samples[s]));
            }
        }
    }
    return row;
}

void Check(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(std::string("writing the fixture failed: ") + what);
    }
}

void WritePage(TIFF* tif, const TiffCase& c) {
    const uint16_t samples = SamplesPerPixel(c.colour);
    Check(TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, c.width) == 1, "width");
    Check(TIFFSetField(tif, TIFFTAG_IMAGELENGTH, c.height) == 1, "length");
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, BitsPerSample(c.colour));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG,
                 Planar(c.layout) ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    Check(TIFFSetField(tif, TIFFTAG_COMPRESSION, c.compression) == 1, "compression");
    if (c.predictor != PREDICTOR_NONE) {
        TIFFSetField(tif, TIFFTAG_PREDICTOR, c.predictor);
    }
    std::vector<uint16_t> red(256), green(256), blue(256);
    switch (c.colour) {
        case Colour::kRgb:
        case Colour::kRgb16:
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
            break;
        case Colour::kGrey:
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
            break;
        case Colour::kBilevel:
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
            break;
        case Colour::kPalette:
            for (uint32_t i = 0; i < 256; ++i) {
                const Rgb entry = PaletteColour(i);
                red[i] = static_cast<uint16_t>(entry.red * 257);
                green[i] = static_cast<uint16_t>(entry.green * 257);
                blue[i] = static_cast<uint16_t>(entry.blue * 257);
            }
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
            TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
            break;
        case Colour::kCmyk:
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED);
            TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
            break;
        case Colour::kRgbAlpha: {
            const uint16_t extra[] = {EXTRASAMPLE_ASSOCALPHA};
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
            TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
            break;
        }
    }
    if (c.compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 90);
        if (c.colour == Colour::kRgb) {
            // The usual JPEG-in-TIFF: YCbCr with 2x2 chroma, fed as RGB.
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR);
            TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
        }
    }

    const int planes = Planar(c.layout) ? samples : 1;
    if (!Tiled(c.layout)) {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, kRowsPerStrip);
        for (int plane = 0; plane < planes; ++plane) {
            for (uint32_t y = 0; y < c.height; ++y) {
                std::vector<uint8_t> row = PackRow(c, y, 0, c.width, Planar(c.layout) ? plane : -1);
                Check(TIFFWriteScanline(tif, row.data(), y, static_cast<uint16_t>(plane)) == 1,
                      "scanline");
            }
        }
    } else {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, kTileSide);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, kTileSide);
        const auto tileBytes = static_cast<size_t>(TIFFTileSize(tif));
        const size_t tileRowBytes = tileBytes / kTileSide;
        for (int plane = 0; plane < planes; ++plane) {
            for (uint32_t ty = 0; ty < c.height; ty += kTileSide) {
                for (uint32_t tx = 0; tx < c.width; tx += kTileSide) {
                    std::vector<uint8_t> tile(tileBytes, 0);
                    for (uint32_t y = ty; y < ty + kTileSide; ++y) {
                        std::vector<uint8_t> row =
                            PackRow(c, y, tx, kTileSide, Planar(c.layout) ? plane : -1);
                        std::memcpy(tile.data() + (y - ty) * tileRowBytes, row.data(), row.size());
                    }
                    Check(TIFFWriteTile(tif, tile.data(), tx, ty, 0, static_cast<uint16_t>(plane)) >
                              0,
                          "tile");
                }
            }
        }
    }
    Check(TIFFWriteDirectory(tif) == 1, "directory");
}

}  // namespace

void PrintTo(const TiffCase& c, std::ostream* os) {
    *os << c.name << " (" << c.reason << ")";
}

void WriteTiff(const std::string& path, const TiffCase& c) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    Check(tif != nullptr, "open");
    try {
        WritePage(tif, c);
        for (int page = 1; page <= c.extraPages; ++page) {
            TiffCase other = c;
            other.colour = Colour::kGrey;
            other.layout = Layout::kStrips;
            other.width = c.width + 3 * page;
            other.height = c.height + 2 * page;
            WritePage(tif, other);
        }
    } catch (...) {
        TIFFClose(tif);
        throw;
    }
    TIFFClose(tif);
}

// ---- Photo CD ---------------------------------------------------------------

Bytes MakePack(std::size_t size) {
    Bytes pack(size, 0);
    std::memcpy(pack.data() + 2048, "PCD_IPI", 7);
    return pack;
}

void FillImage(Bytes& pack, int resolution, const std::function<uint8_t(int, int)>& luma,
               const std::function<uint8_t(int, int)>& c1,
               const std::function<uint8_t(int, int)>& c2) {
    const PackLayout& layout = kPackLayouts[resolution];
    uint8_t* out = pack.data() + layout.offset;
    for (int pair = 0; pair < layout.height / 2; ++pair) {
        for (int row = 0; row < 2; ++row) {
            for (int x = 0; x < layout.width; ++x) {
                *out++ = luma(x, 2 * pair + row);
            }
        }
        for (int k = 0; k < layout.width / 2; ++k) {
            *out++ = c1(k, pair);
        }
        for (int k = 0; k < layout.width / 2; ++k) {
            *out++ = c2(k, pair);
        }
    }
}

void FillUniform(Bytes& pack, int resolution, uint8_t y, uint8_t c1, uint8_t c2) {
    FillImage(
        pack, resolution, [y](int, int) { return y; }, [c1](int, int) { return c1; },
        [c2](int, int) { return c2; });
}

}  // namespace tolvane::test
