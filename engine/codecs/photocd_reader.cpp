#include "engine/codecs/photocd_reader.h"

#include <array>
#include <cmath>
#include <cstring>

#include "engine/file_helpers.h"

namespace tolvane {

namespace {

// Every image pack carries this signature in its information block at 2048;
// without the test any large file would "decode" as a picture of noise.
constexpr long kSignatureOffset = 0x800;
constexpr char kSignature[] = "PCD_IPI";
constexpr std::size_t kSignatureLength = sizeof kSignature - 1;

// The uncompressed images sit at fixed offsets. Each is a run of row pairs:
// the luma of the upper row, the luma of the lower row, then width / 2 bytes
// of C1 and width / 2 of C2, chroma sample k serving pixels 2k and 2k + 1 of
// both rows.
struct Resolution {
    int32_t width;
    int32_t height;
    long dataOffset;
    int32_t code;
};
constexpr std::array<Resolution, 3> kResolutions{{
    {192, 128, 0x2000, 11},   // Base/16
    {384, 256, 0xB800, 12},   // Base/4
    {768, 512, 0x30000, 13},  // Base
}};

// Chroma is stored with these offsets from zero.
constexpr int32_t kC1Offset = 156;
constexpr int32_t kC2Offset = 137;

uint8_t ToSample(double value) {
    const double rounded = std::floor(value + 0.5);
    if (rounded < 0.0) {
        return 0;
    }
    if (rounded > 255.0) {
        return 255;
    }
    return static_cast<uint8_t>(rounded);
}

// One image row from its luma row and the pair's chroma block. The order of
// the operations is kept as written so results match to the last bit.
void ConvertRow(const uint8_t* luma, const uint8_t* chroma, int32_t width, uint8_t* out) {
    const int32_t half = width / 2;
    for (int32_t x = 0; x < width; ++x) {
        const double y = luma[x];
        const double c1 = chroma[x / 2] - kC1Offset;
        const double c2 = chroma[half + x / 2] - kC2Offset;
        const double red = (1.3230336 * c2 + 0.0000256 * c1) + 1.407488 * y;
        const double green = 1.407488 * y - (0.67392 * c2 + 0.3954176 * c1);
        const double blue = (0.0000256 * c2 + 2.0360448 * c1) + 1.407488 * y;
        out[3 * x] = ToSample(red);
        out[3 * x + 1] = ToSample(green);
        out[3 * x + 2] = ToSample(blue);
    }
}

const Resolution* FindResolution(int32_t code) {
    for (const Resolution& resolution : kResolutions) {
        if (resolution.code == code) {
            return &resolution;
        }
    }
    return nullptr;
}

}  // namespace

PhotoCdReader::PhotoCdReader() {
    Reset();
}

PhotoCdReader::~PhotoCdReader() {
    Close();
}

void PhotoCdReader::Reset() {
    m_callback = nullptr;
    m_file = nullptr;
    m_opened = 0;
    m_resolutionCode = 0;
    m_width = 0;
    m_height = 0;
    m_image = nullptr;
}

void PhotoCdReader::ReleaseScratch() {
    m_upperLuma.Release(true);
    m_lowerLuma.Release(true);
    m_chroma.Release(true);
}

int32_t PhotoCdReader::Close() {
    ReleaseScratch();
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
    Reset();
    return 1;
}

int32_t PhotoCdReader::Open(const char* path, ImageBuffer* image, int32_t resolution,
                            ProgressCallback callback) {
    // A reader opened twice would otherwise keep its first file open.
    Close();
    if (path == nullptr || image == nullptr) {
        return 0;
    }
    m_file = std::fopen(path, "rb");
    if (m_file == nullptr || StreamSize(m_file) < kMinimumFileSize) {
        Close();
        return 0;
    }
    char signature[kSignatureLength];
    if (std::fseek(m_file, kSignatureOffset, SEEK_SET) != 0 ||
        !ReadExactly(m_file, signature, sizeof signature) ||
        std::memcmp(signature, kSignature, kSignatureLength) != 0) {
        Close();
        return 0;
    }
    const uint32_t index = static_cast<uint32_t>(resolution) & 0xFFu;
    if (index >= kResolutions.size()) {
        Close();
        return 0;
    }
    m_width = kResolutions[index].width;
    m_height = kResolutions[index].height;
    m_resolutionCode = kResolutions[index].code;
    m_opened = 1;
    m_callback = callback;
    m_image = image;
    return 1;
}

int32_t PhotoCdReader::Decode() {
    bool decoded = false;
    try {
        decoded = DecodeImage();
    } catch (...) {
        decoded = false;
    }
    ReportProgress(m_callback, kDecoding, m_height - 1, m_height);
    Close();
    return decoded ? 1 : 0;
}

bool PhotoCdReader::DecodeImage() {
    if (m_opened != 1) {
        return false;
    }
    const Resolution* resolution = FindResolution(m_resolutionCode);
    if (resolution == nullptr || !m_image->Create(m_width, m_height, 24, 0)) {
        return false;
    }
    const auto width = static_cast<uint32_t>(m_width);
    if (!m_upperLuma.Allocate(width, kTempPrefix) || !m_lowerLuma.Allocate(width, kTempPrefix) ||
        !m_chroma.Allocate(width, kTempPrefix)) {
        return false;
    }
    if (std::fseek(m_file, resolution->dataOffset, SEEK_SET) != 0) {
        return false;
    }
    for (int32_t y = 0; y < m_height; y += 2) {
        if (!ReadExactly(m_file, m_upperLuma.Data(), width) ||
            !ReadExactly(m_file, m_lowerLuma.Data(), width) ||
            !ReadExactly(m_file, m_chroma.Data(), width)) {
            return false;
        }
        ConvertRow(m_upperLuma.Data(), m_chroma.Data(), m_width, m_image->Row(y));
        ConvertRow(m_lowerLuma.Data(), m_chroma.Data(), m_width, m_image->Row(y + 1));
        ReportProgress(m_callback, kDecoding, y, m_height);
    }
    return true;
}

}  // namespace tolvane
