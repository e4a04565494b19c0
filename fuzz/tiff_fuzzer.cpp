#include <cstddef>
#include <cstdint>

#include "engine/codecs/tiff_reader.h"
#include "fuzz/read_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using tolvane::TiffReader;
    tolvane::fuzz::FuzzReader<TiffReader>(
        data, size, [](TiffReader& reader, const char* path, tolvane::ImageBuffer* image) {
            return reader.Open(path, image, tolvane::fuzz::CheckProgress);
        });
    return 0;
}
