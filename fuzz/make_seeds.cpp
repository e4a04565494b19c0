// Writes the seed files the fuzz targets start from: a few tiny pictures per
// reader, made by the builders the reader tests use, so that every fuzzer
// begins inside its format instead of having to find the magic bytes first.
//
// Usage: tolvane-fuzz-seeds DIR   (writes DIR/<target>/<name>)

#include <png.h>
#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/fixtures.h"

namespace tolvane::test {
namespace {

namespace fs = std::filesystem;

// A seed past this would only slow the fuzzer down; it also stays under the
// 8 KiB inputs the Photo CD target is run with.
constexpr std::uintmax_t kMaxSeedBytes = 8191;

class SeedFolder {
  public:
    explicit SeedFolder(fs::path root) : m_root(std::move(root)) {}

    // Where the seed goes; its target's folder is made on the way.
    std::string Path(const std::string& target, const std::string& name) {
        const fs::path folder = m_root / target;
        fs::create_directories(folder);
        m_written.push_back(folder / name);
        return m_written.back().string();
    }

    void Write(const std::string& target, const std::string& name, const Bytes& bytes) {
        std::ofstream out(Path(target, name), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            throw std::runtime_error("cannot write the seed " + name);
        }
    }

    // The conversion takes any file, so it starts from one seed of each
    // format that its reader decodes.
    void AlsoForConvert(const std::string& target, const std::string& name) {
        const fs::path from = m_root / target / name;
        fs::copy_file(from, Path("convert", target + "-" + name),
                      fs::copy_options::overwrite_existing);
    }

    void CheckSizes() const {
        for (const fs::path& path : m_written) {
            if (fs::file_size(path) > kMaxSeedBytes) {
                throw std::runtime_error(path.string() + " is too large for a seed");
            }
        }
    }

    std::size_t Count() const { return m_written.size(); }

  private:
    fs::path m_root;
    std::vector<fs::path> m_written;
};

// Samples below `levels`, in an uneven run so that neighbours differ.
Bytes Ramp(std::size_t count, int levels) {
    Bytes samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<uint8_t>((i * 37 + i / 5) % static_cast<std::size_t>(levels));
    }
    return samples;
}

void JpegSeeds(SeedFolder& seeds) {
    WriteJpeg(seeds.Path("jpeg", "colour-16x16.jpg"), MakePattern(16, 16, 3), 90);
    WriteJpeg(seeds.Path("jpeg", "grey-7x5.jpg"), MakePattern(7, 5, 1), 90);
    WriteJpeg(seeds.Path("jpeg", "progressive-colour-9x6.jpg"), MakePattern(9, 6, 3), 80, true);
    WriteJpeg(seeds.Path("jpeg", "exif-orientation-6-5x3.jpg"), MakePattern(5, 3, 3), 85, false,
              ExifOrientationBlock(6));
    WriteJpeg(seeds.Path("jpeg", "exif-big-endian-orientation-8-progressive-grey-4x6.jpg"),
              MakePattern(4, 6, 1), 85, true, ExifOrientationBlock(8, true));
    seeds.AlsoForConvert("jpeg", "exif-orientation-6-5x3.jpg");
}

void PngSeeds(SeedFolder& seeds) {
    PngFixture rgb;
    rgb.width = 4;
    rgb.height = 3;
    rgb.colorType = PNG_COLOR_TYPE_RGB;
    rgb.samples = Ramp(4 * 3 * 3, 256);
    rgb.gamma = 0.45455;
    WritePng(seeds.Path("png", "rgb-4x3.png"), rgb);

    PngFixture palette;
    palette.width = 5;
    palette.height = 3;
    palette.colorType = PNG_COLOR_TYPE_PALETTE;
    palette.bitDepth = 4;
    palette.samples = Ramp(5 * 3, 16);
    for (int i = 0; i < 16; ++i) {
        palette.palette.push_back({static_cast<uint8_t>(i * 16), static_cast<uint8_t>(255 - i * 9),
                                   static_cast<uint8_t>(i * 5)});
    }
    palette.transparency = {0, 128, 255};
    WritePng(seeds.Path("png", "palette-4-bit-trns-5x3.png"), palette);

    PngFixture grey16;
    grey16.width = 3;
    grey16.height = 2;
    grey16.colorType = PNG_COLOR_TYPE_GRAY;
    grey16.bitDepth = 16;
    grey16.samples = Ramp(3 * 2 * 2, 256);
    grey16.srgb = true;
    WritePng(seeds.Path("png", "grey-16-bit-3x2.png"), grey16);

    PngFixture grey2;
    grey2.width = 6;
    grey2.height = 4;
    grey2.colorType = PNG_COLOR_TYPE_GRAY;
    grey2.bitDepth = 2;
    grey2.samples = Ramp(6 * 4, 4);
    grey2.transparency = {2};
    WritePng(seeds.Path("png", "grey-2-bit-key-6x4.png"), grey2);

    PngFixture rgba;
    rgba.width = 9;
    rgba.height = 9;
    rgba.colorType = PNG_COLOR_TYPE_RGB_ALPHA;
    rgba.interlaced = true;
    rgba.samples = Ramp(9 * 9 * 4, 256);
    WritePng(seeds.Path("png", "rgba-interlaced-9x9.png"), rgba);
    seeds.AlsoForConvert("png", "palette-4-bit-trns-5x3.png");
}

void BmpSeeds(SeedFolder& seeds) {
    seeds.Write("bmp", "info-bottom-up-3x2.bmp", MakeBmp({}));
    seeds.Write("bmp", "info-top-down-5x4.bmp", MakeBmp({.width = 5, .height = -4}));
    seeds.Write("bmp", "os2-core-4x3.bmp", MakeBmp({.headerSize = 12, .width = 4, .height = 3}));
    seeds.Write("bmp", "v5-header-3x2.bmp", MakeBmp({.headerSize = 124, .width = 3, .height = 2}));
    seeds.Write("bmp", "bitfields-2x3.bmp",
                MakeBmp({.width = 2, .height = 3, .compression = 3, .gapBytes = 12}));
    seeds.AlsoForConvert("bmp", "info-bottom-up-3x2.bmp");
}

void TiffSeeds(SeedFolder& seeds) {
    const TiffCase cases[] = {
        {"rgb-strips-lzw-8x6", "", Colour::kRgb, COMPRESSION_LZW, Layout::kStrips, 8, 6, 0, 0,
         PREDICTOR_HORIZONTAL},
        {"grey-tiles-packbits-16x16", "", Colour::kGrey, COMPRESSION_PACKBITS, Layout::kTiles, 16,
         16},
        {"rgb-planar-strips-deflate-5x4", "", Colour::kRgb, COMPRESSION_ADOBE_DEFLATE,
         Layout::kPlanarStrips, 5, 4},
        {"rgb16-strips-none-3x2", "", Colour::kRgb16, COMPRESSION_NONE, Layout::kStrips, 3, 2},
        {"bilevel-strips-g4-12x5", "", Colour::kBilevel, COMPRESSION_CCITTFAX4, Layout::kStrips, 12,
         5},
        {"palette-strips-lzw-5x4", "", Colour::kPalette, COMPRESSION_LZW, Layout::kStrips, 5, 4},
        {"cmyk-planar-strips-none-4x3", "", Colour::kCmyk, COMPRESSION_NONE, Layout::kPlanarStrips,
         4, 3},
        {"rgba-strips-deflate-6x4", "", Colour::kRgbAlpha, COMPRESSION_ADOBE_DEFLATE,
         Layout::kStrips, 6, 4},
        {"jpeg-ycbcr-strips-16x16", "", Colour::kRgb, COMPRESSION_JPEG, Layout::kStrips, 16, 16,
         12},
        {"two-pages-lzw-4x3", "", Colour::kRgb, COMPRESSION_LZW, Layout::kStrips, 4, 3, 0, 1},
    };
    for (const TiffCase& c : cases) {
        WriteTiff(seeds.Path("tiff", std::string(c.name) + ".tif"), c);
    }
    seeds.AlsoForConvert("tiff", "rgb-strips-lzw-8x6.tif");
}

void PcxSeeds(SeedFolder& seeds) {
    seeds.Write("pcx", "palette-4x2.pcx",
                WithPalette(EncodedFile({}, {{0, 0, 0, 0xC1}, {7, 200, 200, 3}})));
    seeds.Write(
        "pcx", "palette-odd-width-5x3.pcx",
        WithPalette(EncodedFile({.xMax = 4, .yMax = 2, .bytesPerLine = 6},
                                {{1, 2, 3, 4, 5, 0}, {9, 9, 9, 9, 9, 0}, {0xFF, 6, 7, 8, 0, 0}})));
    seeds.Write(
        "pcx", "palette-window-from-1-1-2x3.pcx",
        WithPalette(EncodedFile({.xMin = 1, .yMin = 1, .xMax = 2, .yMax = 3, .bytesPerLine = 2},
                                {{1, 2}, {3, 4}, {5, 6}})));
    seeds.Write("pcx", "true-colour-3x2.pcx",
                EncodedFile({.xMax = 2, .yMax = 1, .planes = 3, .bytesPerLine = 4},
                            {{10, 11, 12, 0, 20, 21, 22, 0, 30, 31, 32, 0},
                             {40, 40, 40, 0, 0xC8, 0xC9, 0xCA, 0, 1, 1, 1, 0}}));
    seeds.Write("pcx", "one-bit-eight-planes-3x2.pcx",
                WithPalette(EncodedFile(
                    {.bitsPerPlane = 1, .xMax = 2, .yMax = 1, .planes = 8, .bytesPerLine = 1},
                    {{1, 2, 3, 4, 5, 6, 7, 8}, {9, 8, 7, 6, 5, 4, 3, 2}})));
    seeds.AlsoForConvert("pcx", "palette-odd-width-5x3.pcx");
}

// The Photo CD target reads its first byte as the resolution and pads the
// rest to the 1 MiB a pack needs, so a seed is that byte and the pack's
// first two blocks, the second holding the signature. The images themselves
// start at 8 KiB, past any input the target is run with. Too short for a
// pack on its own, these seeds are not given to the conversion.
void PhotoCdSeeds(SeedFolder& seeds) {
    constexpr std::size_t kThroughSignatureBlock = 4096;
    const Bytes pack = MakePack();
    const char* names[] = {"base-16.pcd", "base-4.pcd", "base.pcd"};
    for (uint8_t resolution = 0; resolution < 3; ++resolution) {
        Bytes seed = {resolution};
        seed.insert(seed.end(), pack.begin(), pack.begin() + kThroughSignatureBlock);
        seeds.Write("photocd", names[resolution], seed);
    }
}

int WriteSeeds(const char* root) {
    try {
        SeedFolder seeds(root);
        JpegSeeds(seeds);
        PngSeeds(seeds);
        BmpSeeds(seeds);
        TiffSeeds(seeds);
        PcxSeeds(seeds);
        PhotoCdSeeds(seeds);
        seeds.CheckSizes();
        std::printf("tolvane-fuzz-seeds: %zu seeds in %s\n", seeds.Count(), root);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tolvane-fuzz-seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace tolvane::test

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
        return 2;
    }
    return tolvane::test::WriteSeeds(argv[1]);
}
