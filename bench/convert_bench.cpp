// ConvertImage against the floor: the same decode and encode done directly
// with libjpeg-turbo and libpng into plain memory, with the same settings
// (quality 60, optimized Huffman tables, one scanline per call). The ratio of
// the two is what the engine's own work costs: the mapped pixel store, the
// reader chain, the checks and the safe replacement of the destination.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <png.h>

#include "engine/convert.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;  // 24 megapixels
constexpr int kQuality = 60;

struct Files {
    std::string folder;
    std::string jpeg;
    std::string png;
    std::string out;
};

// Photograph-like content: smooth light and colour gradients with grain, so
// that the encoder sees neither flat areas nor pure noise.
std::vector<uint8_t> MakePhoto() {
    std::vector<uint8_t> rgb(static_cast<size_t>(kWidth) * kHeight * 3);
    std::mt19937 random(1234);
    std::uniform_int_distribution<int> grain(-6, 6);
    for (int y = 0; y < kHeight; ++y) {
        uint8_t* p = rgb.data() + static_cast<size_t>(y) * kWidth * 3;
        for (int x = 0; x < kWidth; ++x, p += 3) {
            const int base = (x * 200 / kWidth + y * 55 / kHeight);
            const int ripple = ((x / 37 + y / 53) % 9) * 4;
            auto clamp = [](int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
            p[0] = clamp(base + ripple + grain(random));
            p[1] = clamp(255 - base / 2 + grain(random));
            p[2] = clamp((x ^ y) % 64 + y * 150 / kHeight + grain(random));
        }
    }
    return rgb;
}

void WriteJpegFile(const std::string& path, const std::vector<uint8_t>& rgb) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = kWidth;
    c.image_height = kHeight;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.data() + c.next_scanline * kWidth * 3);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
}

void WritePngFile(const std::string& path, const std::vector<uint8_t>& rgb) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_set_compression_level(png, 3);
    png_set_IHDR(png, info, kWidth, kHeight, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < kHeight; ++y) {
        png_write_row(png, rgb.data() + static_cast<size_t>(y) * kWidth * 3);
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    std::fclose(f);
}

const Files& SharedFiles() {
    static const Files files = [] {
        Files f;
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/tolvane-bench-XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (!mkdtemp(buffer.data())) throw std::runtime_error("mkdtemp failed");
        f.folder = buffer.data();
        f.jpeg = f.folder + "/photo.jpg";
        f.png = f.folder + "/photo.png";
        f.out = f.folder + "/out.jpg";
        const std::vector<uint8_t> rgb = MakePhoto();
        WriteJpegFile(f.jpeg, rgb);
        WritePngFile(f.png, rgb);
        return f;
    }();
    return files;
}

// The floor's encoder: the writer's settings, from rows in plain memory.
void EncodeFloor(const std::string& path, const uint8_t* rgb, int width, int height) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = static_cast<JDIMENSION>(width);
    c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    c.optimize_coding = TRUE;
    c.smoothing_factor = 0;
    jpeg_set_quality(&c, kQuality, TRUE);
    jpeg_start_compress(&c, TRUE);
    const size_t stride = static_cast<size_t>(width) * 3;
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb + c.next_scanline * stride);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(f);
}

// Plain heap memory, not zeroed first: what a direct program would use.
std::unique_ptr<uint8_t[]> PixelMemory(size_t bytes) {
    return std::make_unique_for_overwrite<uint8_t[]>(bytes);
}

void FloorJpeg(const Files& files) {
    std::FILE* f = std::fopen(files.jpeg.c_str(), "rb");
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, f);
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    const size_t stride = static_cast<size_t>(d.output_width) * 3;
    std::unique_ptr<uint8_t[]> rgb = PixelMemory(stride * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = rgb.get() + d.output_scanline * stride;
        jpeg_read_scanlines(&d, &row, 1);
    }
    const int width = static_cast<int>(d.output_width);
    const int height = static_cast<int>(d.output_height);
    jpeg_destroy_decompress(&d);
    std::fclose(f);
    EncodeFloor(files.out, rgb.get(), width, height);
}

void FloorPng(const Files& files) {
    std::FILE* f = std::fopen(files.png.c_str(), "rb");
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, f);
    png_read_info(png, info);
    const int width = static_cast<int>(png_get_image_width(png, info));
    const int height = static_cast<int>(png_get_image_height(png, info));
    png_read_update_info(png, info);
    const size_t stride = static_cast<size_t>(width) * 3;
    std::unique_ptr<uint8_t[]> rgb = PixelMemory(stride * height);
    for (int y = 0; y < height; ++y) {
        png_read_row(png, rgb.get() + y * stride, nullptr);
    }
    png_read_end(png, info);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(f);
    EncodeFloor(files.out, rgb.get(), width, height);
}

void SetRate(benchmark::State& state) {
    state.counters["MP/s"] =
        benchmark::Counter(kWidth * kHeight / 1e6, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_FloorJpeg(benchmark::State& state) {
    const Files& files = SharedFiles();
    for (auto _ : state) FloorJpeg(files);
    SetRate(state);
}

// A batch writes new files; replacing one also waits for its bytes to
// reach the disk before the rename, so it is measured apart.
void ConvertLoop(benchmark::State& state, const std::string& source, bool replacing) {
    const Files& files = SharedFiles();
    for (auto _ : state) {
        if (!replacing) {
            state.PauseTiming();
            std::remove(files.out.c_str());
            state.ResumeTiming();
        }
        if (ConvertImage(source.c_str(), files.out.c_str(), 0, kQuality, 1, 0) != 1) {
            state.SkipWithError("ConvertImage failed");
            break;
        }
    }
    SetRate(state);
}

void BM_ConvertImageJpeg(benchmark::State& state) {
    ConvertLoop(state, SharedFiles().jpeg, false);
}

void BM_ConvertImageJpegReplacing(benchmark::State& state) {
    ConvertLoop(state, SharedFiles().jpeg, true);
}

void BM_FloorPng(benchmark::State& state) {
    const Files& files = SharedFiles();
    for (auto _ : state) FloorPng(files);
    SetRate(state);
}

void BM_ConvertImagePng(benchmark::State& state) {
    ConvertLoop(state, SharedFiles().png, false);
}

// Floor and engine alternate, so that both see the same machine load.
BENCHMARK(BM_FloorJpeg)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_ConvertImageJpeg)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_ConvertImageJpegReplacing)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_FloorPng)->Unit(benchmark::kMillisecond)->MinTime(3);
BENCHMARK(BM_ConvertImagePng)->Unit(benchmark::kMillisecond)->MinTime(3);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const Files& files = SharedFiles();
    std::remove(files.jpeg.c_str());
    std::remove(files.png.c_str());
    std::remove(files.out.c_str());
    rmdir(files.folder.c_str());
    return 0;
}
