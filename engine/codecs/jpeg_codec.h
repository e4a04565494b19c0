#pragma once

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <string>

#include <jpeglib.h>

#include "engine/image_buffer.h"
#include "engine/progress.h"

namespace tolvane {

// The error manager of one libjpeg operation: the library's standard manager
// with error_exit replaced by a jump back to `recovery`.
struct JpegErrorManager {
    jpeg_error_mgr base;
    jmp_buf recovery;
    char message[JMSG_LENGTH_MAX];
};

// Reads JPEG files (the first reader of the chain) and writes the engine's
// only output format. One object reads or writes, never both at once.
class JpegCodec {
  public:
    JpegCodec();
    ~JpegCodec();
    JpegCodec(const JpegCodec&) = delete;
    JpegCodec& operator=(const JpegCodec&) = delete;

    // Probe: accepts a file that starts with FF D8 and whose header libjpeg
    // reads with 1 or 3 output components, leaving it open and started.
    int32_t Open(const char* path, ImageBuffer* image, ProgressCallback callback);
    // Decompresses into the image given to Open and closes. A picture tagged
    // with an EXIF orientation is left upright.
    int32_t Decode();
    int32_t Close();

    // Encodes `image` at `destination`: 3 components when `colour` is 1,
    // grey otherwise. The destination is replaced only once the whole file
    // is written; on failure an existing one keeps its bytes.
    int32_t Save(const char* destination, ImageBuffer& image, int32_t quality, int32_t colour,
                 int32_t optimize, int32_t smoothing, ProgressCallback callback);

  private:
    enum class PixelForm { kNone, kColour24, kGray8 };

    void InstallErrorManager(jpeg_common_struct& object);
    bool StartDecompress();
    bool ReadRows();
    bool Compress(const ImageBuffer& rows, int32_t optimize, int32_t smoothing);
    bool OpenDestination(const char* destination);
    bool CommitDestination();
    void ReportEnd(int32_t direction);

    ProgressCallback m_callback = nullptr;
    std::FILE* m_stream = nullptr;
    int32_t m_decompressorActive = 0;
    int32_t m_compressorActive = 0;
    jpeg_decompress_struct m_decompressor;
    jpeg_compress_struct m_compressor;
    JpegErrorManager m_error;
    int32_t m_quality = 0;
    PixelForm m_pixelForm = PixelForm::kNone;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    ImageBuffer* m_image = nullptr;
    // EXIF orientation of the file being read, 1 (upright) to 8.
    int m_orientation = 1;
    // Save writes into m_partialPath beside the destination and renames it
    // over m_targetPath once the file is complete. Empty m_partialPath means
    // the destination is written in place (devices and pipes).
    std::string m_targetPath;
    std::string m_partialPath;
    // Set when an existing file is being replaced.
    bool m_replacesFile = false;
};

}  // namespace tolvane
