#pragma once

#include <cstdint>
#include <cstdio>

#include "engine/image_buffer.h"
#include "engine/mapped_temp_file.h"
#include "engine/progress.h"

namespace tolvane {

// Reads one of the three uncompressed low-resolution images of a Kodak Photo
// CD image pack (192 x 128, 384 x 256 or 768 x 512) and converts its luma and
// chroma samples to 24-bit red, green, blue.
class PhotoCdReader {
  public:
    PhotoCdReader();
    ~PhotoCdReader();
    PhotoCdReader(const PhotoCdReader&) = delete;
    PhotoCdReader& operator=(const PhotoCdReader&) = delete;

    // `resolution` (only its low byte counts): 0 for 192 x 128, 1 for
    // 384 x 256, 2 for 768 x 512. 1 when the file is an image pack of at
    // least 1 MiB, else 0 (and closed).
    int32_t Open(const char* path, ImageBuffer* image, int32_t resolution,
                 ProgressCallback callback);
    // 1 when `image` holds the picture; always ends closed, scratch deleted.
    int32_t Decode();
    // Always 1; may be called any number of times.
    int32_t Close();

    static constexpr int32_t kMinimumFileSize = 1048576;

  private:
    void Reset();
    bool DecodeImage();
    void ReleaseScratch();

    ProgressCallback m_callback = nullptr;
    std::FILE* m_file = nullptr;
    int32_t m_opened = 0;
    int32_t m_resolutionCode = 0;
    int32_t m_width = 0;
    int32_t m_height = 0;
    ImageBuffer* m_image = nullptr;
    MappedTempFile m_upperLuma;
    MappedTempFile m_lowerLuma;
    MappedTempFile m_chroma;
};

}  // namespace tolvane
