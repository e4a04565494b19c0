#include "engine/reader_chain.h"

#include "engine/codecs/bmp_reader.h"
#include "engine/codecs/jpeg_codec.h"
#include "engine/codecs/pcx_reader.h"
#include "engine/codecs/photocd_reader.h"
#include "engine/codecs/png_reader.h"
#include "engine/codecs/tiff_reader.h"
#include "engine/convert.h"
#include "engine/file_helpers.h"

namespace tolvane {
namespace {

// One step of the chain: a refusal moves on, an acceptance decides. The
// reader is closed either way, so no source file stays open.
enum class Step { kRefused, kDecoded, kFailed };

template <typename Reader, typename... OpenArgs>
Step TryReader(OpenArgs... openArgs) {
    Reader reader;
    if (reader.Open(openArgs...) != 1) {
        reader.Close();
        return Step::kRefused;
    }
    if (reader.Decode() != 1) {
        reader.Close();
        return Step::kFailed;
    }
    return Step::kDecoded;
}

int32_t Result(Step step) {
    return step == Step::kDecoded ? kConvertOk : kConvertNotReadable;
}

}  // namespace

int32_t LoadAnyImage(const char* path, ImageBuffer& image) {
    if (path == nullptr || !FileExists(path)) {
        return kConvertSourceMissing;
    }
    constexpr ProgressCallback kNoProgress = nullptr;

    // Strong magic numbers first; the readers that probe through their
    // libraries next; the weak PCX and Photo CD tests last.
    Step step = TryReader<JpegCodec>(path, &image, kNoProgress);
    if (step != Step::kRefused) return Result(step);
    step = TryReader<BmpReader>(path, &image, kNoProgress);
    if (step != Step::kRefused) return Result(step);
    step = TryReader<TiffReader>(path, &image, kNoProgress);
    if (step != Step::kRefused) return Result(step);
    step = TryReader<PngReader>(path, &image, kNoProgress);
    if (step != Step::kRefused) return Result(step);
    step = TryReader<PcxReader>(path, &image, kNoProgress);
    if (step != Step::kRefused) return Result(step);
    constexpr int32_t kBaseResolution = 2;  // the 768 x 512 image of the pack
    step = TryReader<PhotoCdReader>(path, &image, kBaseResolution, kNoProgress);
    if (step != Step::kRefused) return Result(step);
    return kConvertNotReadable;
}

}  // namespace tolvane
