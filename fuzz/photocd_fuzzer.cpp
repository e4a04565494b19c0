#include <cstddef>
#include <cstdint>

#include "engine/codecs/photocd_reader.h"
#include "fuzz/read_image.h"

// An image pack is refused below 1 MiB, so the input is padded with zeros
// to that size. The first byte picks the resolution asked for, an invalid
// one included.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using tolvane::PhotoCdReader;
    if (size < 1) {
        return 0;
    }
    const int32_t resolution = data[0] % 4;
    constexpr std::size_t kPackSize = 1u << 20;
    tolvane::fuzz::FuzzReader<PhotoCdReader>(
        data + 1, size - 1,
        [resolution](PhotoCdReader& reader, const char* path, tolvane::ImageBuffer* image) {
            return reader.Open(path, image, resolution, tolvane::fuzz::CheckProgress);
        },
        kPackSize);
    return 0;
}
