#include "engine/codecs/pcx_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <optional>

#include "engine/byte_order.h"
#include "engine/file_helpers.h"

namespace tolvane {

namespace {

// Header fields, little-endian. Version, encoding, resolutions, the EGA
// palette and the screen size are not needed: the data is always decoded as
// run-length code.
constexpr std::size_t kManufacturerField = 0;
constexpr uint8_t kManufacturer = 0x0A;
constexpr std::size_t kBitsPerPlaneField = 3;
constexpr std::size_t kXMinField = 4;
constexpr std::size_t kYMinField = 6;
constexpr std::size_t kXMaxField = 8;
constexpr std::size_t kYMaxField = 10;
constexpr std::size_t kPlanesField = 65;
constexpr std::size_t kBytesPerLineField = 66;

constexpr int32_t kPaletteDepth = 8;
constexpr int32_t kTrueColourDepth = 24;
constexpr uint32_t kTrueColourPlanes = 3;

// The 256-colour palette fills the last 768 bytes of an 8-bit file. The 0x0C
// marker before it is neither checked nor skipped.
constexpr int32_t kPaletteEntries = 256;
constexpr int64_t kPaletteBytes = kPaletteEntries * 3;

// A byte with both top bits set starts a run: its low six bits count the
// repeats of the byte that follows.
constexpr uint8_t kRunFlags = 0xC0;
constexpr uint8_t kRunCountMask = 0x3F;

// Fills exactly `length` bytes of `out` from the run-length code at
// `position`, and gives the position after the last code byte used. A run
// never carries into the next scanline: what it would write past `length`
// is lost. Nothing when the code ends first.
std::optional<std::size_t> DecodeScanline(const uint8_t* data, std::size_t size,
                                          std::size_t position, uint8_t* out, std::size_t length) {
    std::size_t written = 0;
    while (written < length) {
        if (position >= size) {
            return std::nullopt;
        }
        const uint8_t code = data[position++];
        if ((code & kRunFlags) == kRunFlags) {
            if (position >= size) {
                return std::nullopt;
            }
            const uint8_t value = data[position++];
            const std::size_t count = std::min<std::size_t>(code & kRunCountMask, length - written);
            std::memset(out + written, value, count);
            written += count;
        } else {
            out[written++] = code;
        }
    }
    return position;
}

}  // namespace

PcxReader::PcxReader() {
    Reset();
}

PcxReader::~PcxReader() {
    Close();
}

void PcxReader::Reset() {
    m_callback = nullptr;
    m_file = nullptr;
    m_opened = 0;
    m_header.fill(0);
    m_depth = 0;
    m_width = 0;
    m_height = 0;
    m_image = nullptr;
}

int32_t PcxReader::Close() {
    m_compressed.Release(true);
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
    Reset();
    return 1;
}

uint32_t PcxReader::Planes() const {
    return m_header[kPlanesField];
}

uint32_t PcxReader::BytesPerLine() const {
    return ReadLe16(m_header.data() + kBytesPerLineField);
}

int32_t PcxReader::Open(const char* path, ImageBuffer* image, ProgressCallback callback) {
    Close();
    m_callback = callback;
    if (path == nullptr || image == nullptr) {
        Close();
        return 0;
    }
    m_file = std::fopen(path, "rb");
    if (m_file == nullptr || std::fseek(m_file, 0, SEEK_SET) != 0 ||
        !ReadExactly(m_file, m_header.data(), m_header.size())) {
        Close();
        return 0;
    }
    if (m_header[kManufacturerField] != kManufacturer) {
        Close();
        return 0;
    }
    const int32_t xMin = ReadLe16(m_header.data() + kXMinField);
    const int32_t yMin = ReadLe16(m_header.data() + kYMinField);
    const int32_t xMax = ReadLe16(m_header.data() + kXMaxField);
    const int32_t yMax = ReadLe16(m_header.data() + kYMaxField);
    // A window of one column or one row is refused; a reversed window is
    // accepted here and fails in Decode, where its width or height is below 1.
    if (xMax == xMin || yMax == yMin) {
        Close();
        return 0;
    }
    m_width = xMax - xMin + 1;
    m_height = yMax - yMin + 1;
    m_depth = static_cast<int32_t>(m_header[kBitsPerPlaneField] * Planes());
    m_image = image;
    m_opened = 1;

    // At 24 bits the colours are taken from three planes of at least a row
    // each; any other layout would put them outside the decoded scanline.
    const bool trueColour = m_depth == kTrueColourDepth && Planes() == kTrueColourPlanes &&
                            static_cast<int64_t>(BytesPerLine()) >= m_width;
    if (m_depth != kPaletteDepth && !trueColour) {
        Close();
        return 0;
    }
    return 1;
}

bool PcxReader::LoadCompressedData(int64_t length) {
    if (std::fseek(m_file, static_cast<long>(kHeaderSize), SEEK_SET) != 0 ||
        !ReadExactly(m_file, m_compressed.Data(), static_cast<std::size_t>(length))) {
        return false;
    }
    m_compressed.Flush();
    return true;
}

int32_t PcxReader::Decode() {
    bool decoded = false;
    try {
        decoded = DecodeImage();
    } catch (...) {
        decoded = false;
    }
    if (decoded) {
        ReportProgress(m_callback, kDecoding, m_height - 1, m_height);
    }
    Close();
    return decoded ? 1 : 0;
}

bool PcxReader::DecodeImage() {
    if (m_opened != 1) {
        return false;
    }
    const bool palette = m_depth == kPaletteDepth;
    const int64_t fileSize = StreamSize(m_file);
    const int64_t compressedLength =
        fileSize - static_cast<int64_t>(kHeaderSize) - (palette ? kPaletteBytes : 0);
    // planes x bytes per line is at most 255 x 65535, so it cannot overflow.
    const std::size_t bytesPerLine = BytesPerLine();
    const std::size_t scanlineLength = Planes() * bytesPerLine;
    // One code byte yields at most 63 bytes and runs stop at each scanline's
    // end, so a header whose scanlines the data cannot hold fails before a
    // pixel store of the size it claims is made.
    const int64_t leastCode =
        static_cast<int64_t>(std::max(m_height, 0)) *
        static_cast<int64_t>((scanlineLength + kRunCountMask - 1) / kRunCountMask);
    if (compressedLength <= 0 || compressedLength < leastCode ||
        !m_compressed.Allocate(static_cast<uint32_t>(compressedLength), kTempPrefix)) {
        return false;
    }
    if (!m_image->Create(m_width, m_height, palette ? 8 : 24, palette ? kPaletteEntries : 0)) {
        return false;
    }

    std::unique_ptr<uint8_t[]> scanline(new (std::nothrow)
                                            uint8_t[std::max<std::size_t>(scanlineLength, 1)]);
    if (scanline == nullptr) {
        return false;
    }

    if (palette) {
        uint8_t colours[kPaletteBytes];
        if (std::fseek(m_file, static_cast<long>(fileSize - kPaletteBytes), SEEK_SET) != 0 ||
            !ReadExactly(m_file, colours, sizeof colours)) {
            return false;
        }
        PaletteEntry* entries = m_image->PaletteEntries();
        for (int32_t k = 0; k < kPaletteEntries; ++k) {
            entries[k] = PaletteEntry{colours[3 * k], colours[3 * k + 1], colours[3 * k + 2]};
        }
    }
    if (!LoadCompressedData(compressedLength)) {
        return false;
    }

    const uint8_t* data = m_compressed.Data();
    const std::size_t dataSize = m_compressed.Size();
    std::size_t position = 0;
    const auto width = static_cast<std::size_t>(m_width);
    for (int32_t i = 0; i < m_height; ++i) {
        const std::optional<std::size_t> next =
            DecodeScanline(data, dataSize, position, scanline.get(), scanlineLength);
        if (!next) {
            return false;
        }
        position = *next;
        uint8_t* out = m_image->Row(i);
        if (palette) {
            // Bytes past the width are dropped; a shorter scanline leaves the
            // rest of the row at index 0, as Create made it.
            std::memcpy(out, scanline.get(), std::min(width, scanlineLength));
        } else {
            const uint8_t* red = scanline.get();
            const uint8_t* green = red + bytesPerLine;
            const uint8_t* blue = green + bytesPerLine;
            for (std::size_t x = 0; x < width; ++x) {
                out[3 * x] = red[x];
                out[3 * x + 1] = green[x];
                out[3 * x + 2] = blue[x];
            }
        }
        ReportProgress(m_callback, kDecoding, i, m_height);
    }
    return true;
}

}  // namespace tolvane
