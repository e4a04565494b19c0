#ifndef TOLVANE_ENGINE_CONVERT_H
#define TOLVANE_ENGINE_CONVERT_H

#include <stdint.h>

#if defined(__GNUC__)
#define TOLVANE_API __attribute__((visibility("default")))
#else
#define TOLVANE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes of ConvertImage. */
enum {
    kConvertOk = 1,
    kConvertSourceMissing = -1,
    kConvertNotReadable = -3,
    kConvertWriteFailed = -4,
    kConvertInvalidArguments = -7
};

/* Reads the picture at `source` with whichever reader recognises it and writes
 * it to `destination` as a JPEG file, whatever the destination's name says.
 * `grayscale` == 1 writes a one-component JPEG; `quality` 1..100;
 * `optimize` non-zero builds optimal Huffman tables; `smoothing` 0..100.
 * Paths are bytes as the file system takes them (UTF-8 here).
 * Safe to call from several threads at once. */
TOLVANE_API int32_t ConvertImage(const char* source, const char* destination, int32_t grayscale,
                                 int32_t quality, int32_t optimize, int32_t smoothing);

#ifdef __cplusplus
}
#endif

#endif
