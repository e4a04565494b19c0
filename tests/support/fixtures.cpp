#include "support/fixtures.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include <jpeglib.h>
#include <png.h>

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

}  // namespace tolvane::test
