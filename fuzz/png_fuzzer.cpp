#include <cstddef>
#include <cstdint>

#include "engine/codecs/png_reader.h"
#include "fuzz/read_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return tolvane::fuzz::FuzzPlainReader<tolvane::PngReader>(data, size);
}
