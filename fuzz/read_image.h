#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/image_buffer.h"
#include "fuzz/fuzz_workspace.h"

namespace tolvane::fuzz {

// Reads every byte of a decoded picture, so a store smaller than its rows
// claim would fault here, and checks the form the readers promise.
inline void CheckDecodedImage(const ImageBuffer& image) {
    if (image.Width() < 1 || image.Height() < 1 || image.Pixels() == nullptr) {
        Fail("decode succeeded without a picture");
    }
    const uint32_t depth = image.BitsPerPixel();
    if (depth != 8 && depth != 16 && depth != 24 && depth != 32) {
        Fail("decoded picture has an unknown depth");
    }
    uint8_t sum = 0;
    for (int32_t y = 0; y < image.Height(); ++y) {
        const uint8_t* row = image.Row(y);
        for (int32_t x = 0; x < image.Stride(); ++x) {
            sum = static_cast<uint8_t>(sum + row[x]);
        }
    }
    volatile uint8_t sink = sum;
    (void)sink;
}

// Open, Decode and Close of one reader on the input, as the reader chain
// calls them, then the checks every reader must pass: a decoded picture is
// whole, and nothing stays in the scratch folder once the image is gone.
template <typename Reader, typename OpenFunction>
void FuzzReader(const uint8_t* data, std::size_t size, OpenFunction open, std::size_t padTo = 0) {
    FuzzWorkspace& workspace = FuzzWorkspace::Get();
    const std::string& path = workspace.WriteInput(data, size, padTo);
    ImageBuffer image;
    {
        Reader reader;
        if (open(reader, path.c_str(), &image) == 1) {
            if (reader.Decode() == 1) {
                CheckDecodedImage(image);
            }
        }
        reader.Close();
        reader.Close();
    }
    image.Reset();
    workspace.ExpectNoScratchLeft();
}

// The readers whose Open takes the path, the image and a progress callback.
template <typename Reader>
int FuzzPlainReader(const uint8_t* data, std::size_t size) {
    FuzzReader<Reader>(data, size, [](Reader& reader, const char* path, ImageBuffer* image) {
        return reader.Open(path, image, CheckProgress);
    });
    return 0;
}

}  // namespace tolvane::fuzz
