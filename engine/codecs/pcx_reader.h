#pragma once

#include <array>
#include <cstdint>
#include <cstdio>

#include "engine/image_buffer.h"
#include "engine/mapped_temp_file.h"
#include "engine/progress.h"

namespace tolvane {

// Reads run-length encoded PCX files of 8 bits (palette image, the 256-colour
// palette in the last 768 bytes) or 24 bits (three 8-bit planes) into the
// image buffer, first scanline on top. The compressed data is held whole in
// file-backed scratch memory while it is decoded.
class PcxReader {
  public:
    PcxReader();
    ~PcxReader();
    PcxReader(const PcxReader&) = delete;
    PcxReader& operator=(const PcxReader&) = delete;

    // 1 when the file is a PCX file of depth 8 or 24, else 0 (and closed).
    int32_t Open(const char* path, ImageBuffer* image, ProgressCallback callback);
    // 1 when `image` holds the picture; always ends closed, scratch deleted.
    int32_t Decode();
    // Always 1; may be called any number of times.
    int32_t Close();

    static constexpr std::size_t kHeaderSize = 128;

  private:
    void Reset();
    bool DecodeImage();
    bool LoadCompressedData(int64_t length);

    uint32_t Planes() const;
    uint32_t BytesPerLine() const;

    ProgressCallback m_callback = nullptr;
    std::FILE* m_file = nullptr;
    int32_t m_opened = 0;
    std::array<uint8_t, kHeaderSize> m_header{};
    int32_t m_depth = 0;
    int32_t m_width = 0;
    int32_t m_height = 0;
    ImageBuffer* m_image = nullptr;
    MappedTempFile m_compressed;
};

}  // namespace tolvane
