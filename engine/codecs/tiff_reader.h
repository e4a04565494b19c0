#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <tiffio.h>

#include "engine/image_buffer.h"
#include "engine/mapped_temp_file.h"
#include "engine/progress.h"

namespace tolvane {

// Reads the first image of any TIFF file that libtiff can render as RGBA into
// a 24-bit image buffer; alpha is dropped. libtiff interprets the file
// (photometric kind, depth, compression, planar layout, colour map) on its
// own, and none of its messages reach the user.
class TiffReader {
  public:
    TiffReader();
    ~TiffReader();
    TiffReader(const TiffReader&) = delete;
    TiffReader& operator=(const TiffReader&) = delete;

    // 1 when libtiff opens the file and its first image has a width and a
    // height whose RGBA raster fits in 32 bits; 0 otherwise.
    int32_t Open(const char* path, ImageBuffer* image, ProgressCallback callback);
    // 1 when the image buffer holds the picture, 0 on failure; closes the
    // reader either way.
    int32_t Decode();
    // Always 1; harmless on a closed reader.
    int32_t Close();

  private:
    void Reset();
    int32_t FailDecode();
    bool PrepareDestination();
    void FlipRaster(uint32_t* raster, uint32_t rowBytes);
    void CopyRaster(const uint32_t* raster);

    ProgressCallback m_callback = nullptr;
    TIFF* m_tiff = nullptr;
    int32_t m_opened = 0;
    std::string m_fileName;
    uint32_t m_width = 0;
    uint32_t m_height = 0;
    ImageBuffer* m_image = nullptr;

    // Working storage of Decode only: the RGBA raster that libtiff renders
    // into, and one raster row for the in-place flip.
    MappedTempFile m_raster;
    std::unique_ptr<uint8_t[]> m_rowSwap;
};

}  // namespace tolvane
