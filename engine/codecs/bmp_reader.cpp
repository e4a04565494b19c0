#include "engine/codecs/bmp_reader.h"

#include <sys/types.h>

#include <cstring>
#include <limits>
#include <new>
#include <optional>

#include "engine/byte_order.h"
#include "engine/file_helpers.h"

namespace tolvane {

namespace {

// File header (the Windows BITMAPFILEHEADER), little-endian throughout.
constexpr std::size_t kPixelDataOffsetField = 10;

// Bitmap header, at the start of the header block. A size of 12 marks the
// OS/2 core header; every other size begins like the Windows info header.
constexpr std::size_t kHeaderSizeField = 0;
constexpr uint32_t kCoreHeaderSize = 12;

constexpr std::size_t kCoreWidthField = 4;          // 16-bit unsigned
constexpr std::size_t kCoreHeightField = 6;         // 16-bit unsigned, rows bottom-up
constexpr std::size_t kCoreBitsPerPixelField = 10;  // 16-bit
constexpr std::size_t kCoreFieldsEnd = 12;

// The probe reads 32-bit values at these offsets, whichever the header kind.
constexpr std::size_t kProbeFirstField = 4;
constexpr std::size_t kProbeSecondField = 8;

constexpr std::size_t kInfoWidthField = 4;          // 32-bit signed
constexpr std::size_t kInfoHeightField = 8;         // 32-bit signed, negative: top-down
constexpr std::size_t kInfoBitsPerPixelField = 14;  // 16-bit
constexpr std::size_t kInfoCompressionField = 16;   // 32-bit
constexpr std::size_t kInfoFieldsEnd = 20;

constexpr int32_t kCompressionNone = 0;
// Bit fields at 24 bits carry masks that change nothing: the triples are
// still blue, green, red.
constexpr int32_t kCompressionBitFields = 3;
constexpr int32_t kSupportedBitsPerPixel = 24;

int32_t ReadLe32Signed(const uint8_t* bytes) {
    return static_cast<int32_t>(ReadLe32(bytes));
}

// The length of the whole file; bitmaps may exceed what a 32-bit size holds.
std::optional<uint64_t> FileLength(std::FILE* file) {
    if (fseeko(file, 0, SEEK_END) != 0) {
        return std::nullopt;
    }
    const off_t length = ftello(file);
    if (length < 0 || fseeko(file, 0, SEEK_SET) != 0) {
        return std::nullopt;
    }
    return static_cast<uint64_t>(length);
}

// Bytes of one stored row: three per pixel, padded to a multiple of four.
// Worked out in 64 bits, since width x 24 wraps 32 bits for wide headers.
std::optional<uint32_t> FileRowLength(int32_t width) {
    if (width < 0) {
        return std::nullopt;
    }
    const uint64_t length = ((static_cast<uint64_t>(width) * 24 + 31) >> 3) & ~uint64_t{3};
    if (length > std::numeric_limits<uint32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(length);
}

}  // namespace

BmpReader::BmpReader() {
    Reset();
}

BmpReader::~BmpReader() {
    Close();
}

void BmpReader::Reset() {
    m_callback = nullptr;
    m_file = nullptr;
    m_opened = 0;
    m_fileHeader.fill(0);
    m_headerBlockLength = 0;
    m_headerBlock.reset();
    m_fileLength = 0;
    m_bitsPerPixel = 0;
    m_coreHeader = -1;
    m_bottomUp = -1;
    m_compression = -1;
    m_width = 0;
    m_height = 0;
    m_image = nullptr;
}

int32_t BmpReader::Close() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
    Reset();
    return 1;
}

uint32_t BmpReader::PixelDataOffset() const {
    return ReadLe32(m_fileHeader.data() + kPixelDataOffsetField);
}

int32_t BmpReader::Open(const char* path, ImageBuffer* image, ProgressCallback callback) {
    Close();
    if (path == nullptr || image == nullptr) {
        return 0;
    }
    m_file = std::fopen(path, "rb");
    if (m_file == nullptr) {
        return 0;
    }
    const std::optional<uint64_t> fileLength = FileLength(m_file);
    if (!fileLength || !ReadExactly(m_file, m_fileHeader.data(), m_fileHeader.size())) {
        Close();
        return 0;
    }
    m_fileLength = *fileLength;
    const bool magicBm = m_fileHeader[0] == 'B' && m_fileHeader[1] == 'M';
    const bool magicBa = m_fileHeader[0] == 'B' && m_fileHeader[1] == 'A';
    if (!magicBm && !magicBa) {
        Close();
        return 0;
    }

    // The header block runs up to the pixel data. An offset past the end of
    // the file would size this allocation by a number the file cannot back.
    const uint32_t pixelDataOffset = PixelDataOffset();
    if (pixelDataOffset <= kFileHeaderSize || pixelDataOffset > m_fileLength ||
        pixelDataOffset - kFileHeaderSize >
            static_cast<uint32_t>(std::numeric_limits<int32_t>::max())) {
        Close();
        return 0;
    }
    m_headerBlockLength = static_cast<int32_t>(pixelDataOffset - kFileHeaderSize);
    const auto blockLength = static_cast<std::size_t>(m_headerBlockLength);
    m_headerBlock.reset(new (std::nothrow) uint8_t[blockLength]);
    if (m_headerBlock == nullptr || std::fseek(m_file, kFileHeaderSize, SEEK_SET) != 0 ||
        !ReadExactly(m_file, m_headerBlock.get(), blockLength)) {
        Close();
        return 0;
    }
    const uint8_t* block = m_headerBlock.get();

    // Fields are read up to byte 12 of a core header and byte 20 of an info
    // header (its compression field); a shorter block would be read past its
    // end.
    if (blockLength < kCoreFieldsEnd) {
        Close();
        return 0;
    }
    m_coreHeader = ReadLe32(block + kHeaderSizeField) == kCoreHeaderSize ? 1 : 0;
    if (m_coreHeader == 0 && blockLength < kInfoFieldsEnd) {
        Close();
        return 0;
    }

    // One test for both kinds: for a core header these 32-bit values span
    // width and height, then planes and bits per pixel, so a core height of
    // 0x8000 or more fails it.
    if (ReadLe32Signed(block + kProbeFirstField) < 1 || ReadLe32(block + kProbeSecondField) == 0) {
        Close();
        return 0;
    }

    if (m_coreHeader == 1) {
        m_width = ReadLe16(block + kCoreWidthField);
        m_height = ReadLe16(block + kCoreHeightField);
        m_bottomUp = 1;
        m_compression = kCompressionNone;
        m_bitsPerPixel = ReadLe16(block + kCoreBitsPerPixelField);
    } else {
        const int32_t signedHeight = ReadLe32Signed(block + kInfoHeightField);
        // -2^31 has no 32-bit magnitude.
        if (signedHeight == std::numeric_limits<int32_t>::min()) {
            Close();
            return 0;
        }
        m_width = ReadLe32Signed(block + kInfoWidthField);
        m_height = signedHeight < 0 ? -signedHeight : signedHeight;
        m_bottomUp = signedHeight >= 0 ? 1 : 0;
        m_compression = ReadLe32Signed(block + kInfoCompressionField);
        m_bitsPerPixel = ReadLe16(block + kInfoBitsPerPixelField);
    }

    // RLE8 and RLE4 (1 and 2) are refused whatever the depth field says.
    if ((m_compression != kCompressionNone && m_compression != kCompressionBitFields) ||
        m_bitsPerPixel != kSupportedBitsPerPixel) {
        Close();
        return 0;
    }

    m_callback = callback;
    m_image = image;
    m_opened = 1;
    return 1;
}

int32_t BmpReader::Decode() {
    bool decoded = false;
    try {
        decoded = DecodeRows();
    } catch (...) {
        decoded = false;
    }
    if (!decoded) {
        ReportProgress(m_callback, kDecoding, m_height - 1, m_height);
    }
    Close();
    return decoded ? 1 : 0;
}

bool BmpReader::DecodeRows() {
    if (m_opened != 1) {
        return false;
    }
    const std::optional<uint32_t> rowLength = FileRowLength(m_width);
    if (!rowLength) {
        return false;
    }
    // A file too short for its rows fails before a pixel store of the size
    // the header claims is made.
    const uint64_t pixelBytes = static_cast<uint64_t>(*rowLength) * static_cast<uint64_t>(m_height);
    if (PixelDataOffset() + pixelBytes > m_fileLength) {
        return false;
    }
    if (!m_image->Create(m_width, m_height, 24, 0)) {
        return false;
    }
    if (fseeko(m_file, static_cast<off_t>(PixelDataOffset()), SEEK_SET) != 0) {
        return false;
    }
    std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[*rowLength]);
    if (row == nullptr) {
        return false;
    }

    for (int32_t i = 0; i < m_height; ++i) {
        const int32_t target = m_bottomUp == 1 ? m_height - 1 - i : i;
        if (!ReadExactly(m_file, row.get(), *rowLength)) {
            return false;
        }
        uint8_t* out = m_image->Row(target);
        const uint8_t* in = row.get();
        for (int32_t x = 0; x < m_width; ++x) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            out += 3;
            in += 3;
        }
        ReportProgress(m_callback, kDecoding, i, m_height);
    }
    ReportProgress(m_callback, kDecoding, m_height - 1, m_height);
    return true;
}

}  // namespace tolvane
