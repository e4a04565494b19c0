#include <cstddef>
#include <cstdint>

#include "engine/codecs/jpeg_codec.h"
#include "fuzz/read_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using tolvane::JpegCodec;
    tolvane::fuzz::FuzzReader<JpegCodec>(
        data, size, [](JpegCodec& reader, const char* path, tolvane::ImageBuffer* image) {
            return reader.Open(path, image, tolvane::fuzz::CheckProgress);
        });
    return 0;
}
