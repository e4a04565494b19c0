#include <cstddef>
#include <cstdint>

#include "engine/codecs/bmp_reader.h"
#include "fuzz/read_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using tolvane::BmpReader;
    tolvane::fuzz::FuzzReader<BmpReader>(
        data, size, [](BmpReader& reader, const char* path, tolvane::ImageBuffer* image) {
            return reader.Open(path, image, tolvane::fuzz::CheckProgress);
        });
    return 0;
}
