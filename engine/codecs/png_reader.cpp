#include "engine/codecs/png_reader.h"

#include <sys/stat.h>

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <new>

namespace tolvane {
namespace {

// The largest palette a PNG can carry: indices are at most 8 bits.
constexpr int kMaxPaletteEntries = 256;

// libpng multiplies screen and file gamma and skips the correction when the
// product is close to 1, so sRGB files and files that state the usual 1/2.2
// come through unchanged; files without gAMA are assumed to be like them.
constexpr double kScreenGamma = 2.2;
constexpr double kDefaultFileGamma = 0.45455;

// Chunks whose contents never reach the picture. libpng allocates a text or
// list chunk's full stated length before reading it, and only warns when the
// length is beyond its limit, so a file of a few bytes could ask for 2 GB.
// Listed chunks are skipped as they are read instead.
constexpr png_byte kUnusedChunks[] = "tEXt\0zTXt\0iTXt\0sPLT\0eXIf\0pCAL\0sCAL\0hIST";
constexpr int kUnusedChunkCount = sizeof kUnusedChunks / 5;

// Deflate encodes at best 258 bytes in two bits, so the image data cannot
// expand more than this from the bytes left in the file.
constexpr uint64_t kMaxDeflateExpansion = 1032;

extern "C" {

// libpng must not get control back from an error: the jump lands in the
// Open or Decode step that armed it, which cleans up and answers 0. The
// message is dropped because result codes are the only report.
[[noreturn]] static void PngError(png_structp png, png_const_charp /*message*/) {
    png_longjmp(png, 1);
}

// Warnings (bad ancillary chunks, palette indices past the palette, ...)
// never stop decoding, and a desktop tool has nowhere useful to print them.
static void PngWarning(png_structp /*png*/, png_const_charp /*message*/) {}

// One read per request; a short read is a damaged or truncated file.
static void PngRead(png_structp png, png_bytep data, size_t length) {
    std::FILE* file = static_cast<std::FILE*>(png_get_io_ptr(png));
    if (std::fread(data, 1, length, file) != length) {
        png_error(png, "reading png image error");
    }
}

}  // extern "C"

}  // namespace

PngReader::PngReader() {
    Reset();
}

PngReader::~PngReader() {
    Close();
}

void PngReader::Reset() {
    m_callback = nullptr;
    m_file = nullptr;
    m_opened = 0;
    m_width = 0;
    m_height = 0;
    m_colourType = 0;
    m_bitDepth = 0;
    m_png = nullptr;
    m_info = nullptr;
    m_targetBits = 0;
    m_paletteSize = 0;
    m_image = nullptr;
    m_rows.reset();
}

int32_t PngReader::Close() {
    if (m_png != nullptr) {
        png_destroy_read_struct(&m_png, &m_info, nullptr);
    }
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
    Reset();
    return 1;
}

int32_t PngReader::Refuse() {
    Close();
    return 0;
}

int32_t PngReader::Open(const char* path, ImageBuffer* image, ProgressCallback callback) {
    Close();
    if (path == nullptr || image == nullptr) {
        return Refuse();
    }
    m_file = std::fopen(path, "rb");
    if (m_file == nullptr || std::fseek(m_file, 0, SEEK_SET) != 0) {
        return Refuse();
    }
    m_png = png_create_read_struct(PNG_LIBPNG_VER_STRING, m_file, PngError, PngWarning);
    if (m_png == nullptr) {
        return Refuse();
    }
    m_info = png_create_info_struct(m_png);
    if (m_info == nullptr) {
        return Refuse();
    }
    png_set_keep_unknown_chunks(m_png, PNG_HANDLE_CHUNK_NEVER, kUnusedChunks, kUnusedChunkCount);
    if (ReadHeader() != 1) {
        return Refuse();
    }
    m_callback = callback;
    m_image = image;
    m_opened = 1;
    return 1;
}

// Reads the chunks up to the image data and asks for the transformations
// that make every colour type arrive in one of the buffer's 8-bit-sample
// forms. The jump path reads no local.
int32_t PngReader::ReadHeader() {
    if (setjmp(png_jmpbuf(m_png)) != 0) {
        return 0;
    }
    png_set_read_fn(m_png, m_file, PngRead);
    png_read_info(m_png, m_info);
    png_get_IHDR(m_png, m_info, &m_width, &m_height, &m_bitDepth, &m_colourType, nullptr, nullptr,
                 nullptr);

    if (m_bitDepth == 16) {
        png_set_strip_16(m_png);
    }
    // Samples of 1, 2 and 4 bits arrive one per byte.
    png_set_packing(m_png);

    if (m_colourType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp palette = nullptr;
        int entries = 0;
        png_get_PLTE(m_png, m_info, &palette, &entries);
        m_targetBits = 8;
        m_paletteSize = entries;
    } else if ((m_colourType & PNG_COLOR_MASK_COLOR) != 0) {
        // tRNS is not expanded for RGB, so only RGBA files carry alpha.
        m_targetBits = (m_colourType & PNG_COLOR_MASK_ALPHA) != 0 ? 32 : 24;
        m_paletteSize = 0;
    } else {
        if (m_bitDepth < 8) {
            // Scales 1, 2 and 4-bit levels to 0..255, and turns a tRNS key
            // into an alpha channel, which the next call removes again.
            png_set_expand(m_png);
        }
        // The buffer has no grey-with-alpha form: grey files keep one byte
        // per pixel, the alpha dropped without compositing.
        png_set_strip_alpha(m_png);
        m_targetBits = 8;
        m_paletteSize = 0;
    }
    return 1;
}

int32_t PngReader::Fail() {
    ReportProgress(m_callback, kDecoding, static_cast<int64_t>(m_height) - 1, m_height);
    Close();
    return 0;
}

int32_t PngReader::Decode() {
    if (m_opened != 1) {
        return Fail();
    }
    // libpng bounds IHDR sizes to 31 bits, so these fit.
    const int32_t width = static_cast<int32_t>(m_width);
    const int32_t height = static_cast<int32_t>(m_height);
    ImageBuffer& image = *m_image;
    const bool sameForm = image.BitsPerPixel() == m_targetBits &&
                          image.PaletteSize() == m_paletteSize && image.Width() == width &&
                          image.Height() == height;
    // Create refuses stores of 2^32 bytes or more; a file too short for the
    // pixels it declares fails before any store is made.
    if (!FileCanHoldPixels() ||
        (!sameForm && !image.Create(width, height, m_targetBits, m_paletteSize))) {
        return Fail();
    }
    const size_t rowCount = static_cast<size_t>(height);
    if (rowCount > SIZE_MAX / sizeof(png_bytep)) {
        return Fail();
    }
    m_rows.reset(new (std::nothrow) png_bytep[rowCount]);
    if (m_rows == nullptr) {
        return Fail();
    }
    for (int32_t y = 0; y < height; ++y) {
        m_rows[static_cast<size_t>(y)] = image.Row(y);
    }
    if (ReadImage() != 1) {
        return Fail();
    }
    ReportProgress(m_callback, kDecoding, height - 1, height);
    Close();
    return 1;
}

// libpng would fail at the end of a file whose image data cannot hold the
// declared pixels; knowing that up front keeps a short file from making a
// pixel store of gigabytes first. libpng has read up to the first IDAT.
bool PngReader::FileCanHoldPixels() const {
    struct stat status {};
    const long position = std::ftell(m_file);
    if (position < 0 || fstat(fileno(m_file), &status) != 0 || status.st_size < position) {
        return false;
    }
    const uint64_t bytesLeft = static_cast<uint64_t>(status.st_size - position);
    const uint64_t pixelBits = static_cast<uint64_t>(m_width) * m_height *
                               png_get_channels(m_png, m_info) * static_cast<uint64_t>(m_bitDepth);
    return pixelBits / 8 <= bytesLeft * kMaxDeflateExpansion;
}

// Copies the palette, asks for gamma, alpha order and interlace handling,
// and has libpng write the rows in place. The jump path reads no local.
int32_t PngReader::ReadImage() {
    if (setjmp(png_jmpbuf(m_png)) != 0) {
        return 0;
    }
    ImageBuffer& image = *m_image;

    if (m_colourType == PNG_COLOR_TYPE_PALETTE) {
        png_colorp palette = nullptr;
        int entries = 0;
        png_get_PLTE(m_png, m_info, &palette, &entries);
        if (entries > kMaxPaletteEntries || entries != image.PaletteSize()) {
            return 0;
        }
        // Copied before png_read_update_info, which gamma-corrects libpng's
        // palette in place: the buffer keeps the colours the file stores.
        PaletteEntry* target = image.PaletteEntries();
        for (int i = 0; i < entries; ++i) {
            target[i] = PaletteEntry{palette[i].red, palette[i].green, palette[i].blue};
        }
    }

    int intent = 0;
    double fileGamma = kDefaultFileGamma;
    if (png_get_sRGB(m_png, m_info, &intent) == 0) {
        double stated = 0.0;
        if (png_get_gAMA(m_png, m_info, &stated) != 0) {
            fileGamma = stated;
        }
    }
    png_set_gamma(m_png, kScreenGamma, fileGamma);
    png_set_swap_alpha(m_png);
    const int passes = png_set_interlace_handling(m_png);
    png_read_update_info(m_png, m_info);

    // libpng writes png_get_rowbytes bytes into every row; any other length
    // means the transformations did not give the form the buffer was made
    // for, and a longer one would write past the row.
    if (png_get_rowbytes(m_png, m_info) != static_cast<size_t>(image.Stride())) {
        return 0;
    }

    // In each pass of an Adam7 file libpng fills in only that pass's pixels,
    // so the rows are complete after the last one.
    for (int pass = 0; pass < passes; ++pass) {
        for (png_uint_32 y = 0; y < m_height; ++y) {
            png_read_rows(m_png, &m_rows[y], nullptr, 1);
            ReportProgress(m_callback, kDecoding, y, m_height);
        }
    }
    png_read_end(m_png, m_info);
    return 1;
}

}  // namespace tolvane
