#include "engine/convert.h"

#include "engine/codecs/jpeg_codec.h"
#include "engine/image_buffer.h"
#include "engine/reader_chain.h"

namespace {

int32_t Convert(const char* source, const char* destination, int32_t grayscale, int32_t quality,
                int32_t optimize, int32_t smoothing) {
    if (source == nullptr || destination == nullptr || quality < 1 || quality > 100 ||
        smoothing < 0 || smoothing > 100) {
        return kConvertInvalidArguments;
    }
    tolvane::ImageBuffer image;
    int32_t result = tolvane::LoadAnyImage(source, image);
    if (result == kConvertOk) {
        tolvane::JpegCodec writer;
        const int32_t colour = grayscale == 1 ? 0 : 1;
        if (writer.Save(destination, image, quality, colour, optimize, smoothing, nullptr) != 1) {
            result = kConvertWriteFailed;
        }
        writer.Close();
    }
    image.Reset();
    return result;
}

}  // namespace

extern "C" int32_t ConvertImage(const char* source, const char* destination, int32_t grayscale,
                                int32_t quality, int32_t optimize, int32_t smoothing) {
    // Nothing the engine does is meant to throw, but a C caller must never
    // see an exception: anything unforeseen is an unreadable source.
    try {
        return Convert(source, destination, grayscale, quality, optimize, smoothing);
    } catch (...) {
        return kConvertNotReadable;
    }
}
