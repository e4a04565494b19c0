#include <cstddef>
#include <cstdint>

#include "engine/codecs/pcx_reader.h"
#include "fuzz/read_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using tolvane::PcxReader;
    tolvane::fuzz::FuzzReader<PcxReader>(
        data, size, [](PcxReader& reader, const char* path, tolvane::ImageBuffer* image) {
            return reader.Open(path, image, tolvane::fuzz::CheckProgress);
        });
    return 0;
}
