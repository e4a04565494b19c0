#include "engine/codecs/tiff_reader.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <mutex>
#include <new>
#include <optional>

namespace tolvane {

namespace {

// TIFFReadRGBAImage packs every pixel into one 32-bit word.
constexpr uint32_t kRasterBytesPerPixel = 4;
constexpr uint32_t kImageBitsPerPixel = 24;
// Asks TIFFReadRGBAImage to carry on past a damaged strip or tile, so a file
// with one bad strip still gives the rest of its picture.
constexpr int kContinueOnError = 0;
constexpr const char* kReadMode = "r";
// Largest single block libtiff may ask for. A picture that passes Open has a
// raster below 4 GiB, while a file of a few hundred bytes can declare strips
// of hundreds of gigabytes; without a bound, libtiff zero-fills whatever the
// system grants.
constexpr tmsize_t kLibtiffLargestAllocation = tmsize_t{1} << 32;
// libtiff decodes one strip or tile at a time into a buffer of its own. Real
// pictures need a few samples per pixel; a header claiming thousands of
// samples, or tiles far wider than the picture, would have libtiff allocate
// and fill gigabytes for a small picture. A piece may take up to 64 bytes
// per raster pixel, and any picture may use pieces of 16 MiB.
constexpr uint64_t kPieceBytesPerRasterByte = 16;
constexpr uint64_t kPieceFloor = uint64_t{16} << 20;

// Product of two sizes, or nothing when it does not fit in 32 bits.
std::optional<uint32_t> CheckedProduct(uint32_t a, uint32_t b) {
    uint32_t product = 0;
    if (__builtin_mul_overflow(a, b, &product)) {
        return std::nullopt;
    }
    return product;
}

struct RasterSizes {
    uint32_t rowBytes = 0;
    uint32_t rasterBytes = 0;
};

// The scratch raster and its row are addressed with 32-bit sizes; a picture
// whose raster does not fit is refused before any memory exists. Both sides
// then stay below 2^30, so they also fit the image buffer's signed sizes.
std::optional<RasterSizes> RasterSizesFor(uint32_t width, uint32_t height) {
    const std::optional<uint32_t> rowBytes = CheckedProduct(width, kRasterBytesPerPixel);
    if (!rowBytes) {
        return std::nullopt;
    }
    const std::optional<uint32_t> rasterBytes = CheckedProduct(*rowBytes, height);
    if (!rasterBytes) {
        return std::nullopt;
    }
    return RasterSizes{*rowBytes, *rasterBytes};
}

// Returning 1 tells libtiff that the message is handled, so the handle's
// messages never reach the process-wide handlers.
extern "C" int DiscardTiffMessage(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

// Some libtiff messages ignore the per-handle handlers (those raised before a
// handle exists, and codecs that still report through the old calls), so the
// process-wide handlers are silenced too. Once, before the first open, and
// safely when several conversions start on different threads.
void SilenceLibtiffProcessWide() {
    static std::once_flag once;
    std::call_once(once, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
        TIFFSetErrorHandlerExt(nullptr);
        TIFFSetWarningHandlerExt(nullptr);
    });
}

TIFF* OpenSilently(const char* path) {
    SilenceLibtiffProcessWide();
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options == nullptr) {
        return nullptr;
    }
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kLibtiffLargestAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options, DiscardTiffMessage, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, DiscardTiffMessage, nullptr);
    TIFF* tiff = TIFFOpenExt(path, kReadMode, options);
    // libtiff copies the settings into the handle.
    TIFFOpenOptionsFree(options);
    return tiff;
}

// With kContinueOnError libtiff skips strips it cannot decode, so a scheme
// that this libtiff lacks would come out as an all-black picture reported
// as read. Such a file must fail instead.
bool CompressionDecodes(TIFF* tiff) {
    uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
    return TIFFIsCODECConfigured(compression) == 1;
}

// Whether the strip or tile buffer libtiff will make stays in proportion to
// the picture's raster. Separate planes are read into one buffer per sample.
bool PiecesFitRaster(TIFF* tiff, uint32_t rasterBytes) {
    uint64_t piece = TIFFIsTiled(tiff) ? TIFFTileSize64(tiff) : TIFFStripSize64(tiff);
    uint16_t planar = PLANARCONFIG_CONTIG;
    uint16_t samples = 1;
    TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    if (planar == PLANARCONFIG_SEPARATE) {
        piece *= samples;
    }
    const uint64_t limit = std::max(kPieceFloor, kPieceBytesPerRasterByte * rasterBytes);
    return piece != 0 && piece <= limit;
}

}  // namespace

TiffReader::TiffReader() {
    Reset();
}

TiffReader::~TiffReader() {
    Close();
}

void TiffReader::Reset() {
    m_callback = nullptr;
    m_tiff = nullptr;
    m_opened = 0;
    m_fileName.clear();
    m_width = 0;
    m_height = 0;
    m_image = nullptr;
}

int32_t TiffReader::Open(const char* path, ImageBuffer* image, ProgressCallback callback) {
    Close();
    if (path == nullptr || image == nullptr) {
        return 0;
    }
    try {
        m_tiff = OpenSilently(path);
        if (m_tiff == nullptr) {
            Close();
            return 0;
        }
        // An absent tag leaves the value at 0, which refuses below.
        uint32_t width = 0;
        uint32_t height = 0;
        TIFFGetField(m_tiff, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(m_tiff, TIFFTAG_IMAGELENGTH, &height);
        if (width == 0 || height == 0 || !RasterSizesFor(width, height)) {
            Close();
            return 0;
        }
        m_fileName = path;
        m_callback = callback;
        m_image = image;
        m_width = width;
        m_height = height;
        m_opened = 1;
        return 1;
    } catch (...) {
        Close();
        return 0;
    }
}

int32_t TiffReader::Decode() {
    if (m_opened != 1) {
        return FailDecode();
    }
    try {
        const std::optional<RasterSizes> sizes = RasterSizesFor(m_width, m_height);
        if (!sizes || !CompressionDecodes(m_tiff) || !PiecesFitRaster(m_tiff, sizes->rasterBytes) ||
            !PrepareDestination()) {
            return FailDecode();
        }
        m_rowSwap.reset(new (std::nothrow) uint8_t[sizes->rowBytes]);
        if (m_rowSwap == nullptr) {
            return FailDecode();
        }
        // libtiff writes exactly width x height words; a mapping of any other
        // size would let it write past the end.
        if (!m_raster.Allocate(sizes->rasterBytes, kTempPrefix) ||
            m_raster.Size() != sizes->rasterBytes) {
            return FailDecode();
        }
        // The mapping is page-aligned, so it can be addressed as words.
        uint32_t* raster = reinterpret_cast<uint32_t*>(m_raster.Data());
        if (TIFFReadRGBAImage(m_tiff, m_width, m_height, raster, kContinueOnError) == 0) {
            return FailDecode();
        }
        FlipRaster(raster, sizes->rowBytes);
        CopyRaster(raster);
        ReportProgress(m_callback, kDecoding, static_cast<int64_t>(m_height) - 1, m_height);
        Close();
        return 1;
    } catch (...) {
        return FailDecode();
    }
}

int32_t TiffReader::Close() {
    if (m_tiff != nullptr) {
        TIFFClose(m_tiff);
    }
    m_raster.Release(true);
    m_rowSwap.reset();
    Reset();
    return 1;
}

int32_t TiffReader::FailDecode() {
    ReportProgress(m_callback, kDecoding, static_cast<int64_t>(m_height) - 1, m_height);
    Close();
    return 0;
}

bool TiffReader::PrepareDestination() {
    const auto width = static_cast<int32_t>(m_width);
    const auto height = static_cast<int32_t>(m_height);
    if (m_image->Width() == width && m_image->Height() == height &&
        m_image->BitsPerPixel() == kImageBitsPerPixel) {
        return true;
    }
    return m_image->Create(width, height, kImageBitsPerPixel, 0);
}

// libtiff renders with the origin at the lower left; exchanging rows from
// both ends puts the top row first. An odd height keeps its middle row.
void TiffReader::FlipRaster(uint32_t* raster, uint32_t rowBytes) {
    const std::size_t width = m_width;
    for (uint32_t top = 0; top < m_height / 2; ++top) {
        uint32_t* upper = raster + static_cast<std::size_t>(top) * width;
        uint32_t* lower = raster + static_cast<std::size_t>(m_height - 1 - top) * width;
        std::memcpy(m_rowSwap.get(), upper, rowBytes);
        std::memcpy(upper, lower, rowBytes);
        std::memcpy(lower, m_rowSwap.get(), rowBytes);
    }
}

void TiffReader::CopyRaster(const uint32_t* raster) {
    const std::size_t width = m_width;
    for (uint32_t y = 0; y < m_height; ++y) {
        const uint32_t* source = raster + static_cast<std::size_t>(y) * width;
        uint8_t* target = m_image->Row(static_cast<int32_t>(y));
        for (std::size_t x = 0; x < width; ++x) {
            const uint32_t pixel = source[x];
            target[3 * x] = static_cast<uint8_t>(TIFFGetR(pixel));
            target[3 * x + 1] = static_cast<uint8_t>(TIFFGetG(pixel));
            target[3 * x + 2] = static_cast<uint8_t>(TIFFGetB(pixel));
        }
        ReportProgress(m_callback, kDecoding, y, m_height);
    }
}

}  // namespace tolvane
