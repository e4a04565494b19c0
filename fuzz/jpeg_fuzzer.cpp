#include <cstddef>
#include <cstdint>

#include "engine/codecs/jpeg_codec.h"
#include "fuzz/read_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tolvane::fuzz::FuzzPlainReader<tolvane::JpegCodec>(data, size);
}
