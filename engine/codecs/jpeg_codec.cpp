#include "engine/codecs/jpeg_codec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "engine/byte_order.h"
#include "engine/image_orientation.h"

namespace tolvane {
namespace {

// What libjpeg may hold for whole-picture buffers, which only progressive
// and multi-scan files need: 2 bytes per sample, so 144 MB for 24 colour
// megapixels and room for about 350. A header of a few hundred bytes can
// declare a picture whose buffers take 8 GB, all zeroed and touched while
// its rows are written; past the budget libjpeg fails instead.
constexpr long kDecoderMemoryBudget = 2L << 30;

constexpr uint8_t kStartOfImage[2] = {0xFF, 0xD8};
constexpr int kExifMarker = JPEG_APP0 + 1;
constexpr uint16_t kOrientationTag = 0x0112;
constexpr uint16_t kTypeShort = 3;

// libjpeg's fatal errors end here. The message is formatted, as the library
// expects, and dropped; the jump returns to the operation that armed it.
extern "C" [[noreturn]] void JpegErrorExit(j_common_ptr object) {
    auto* manager = reinterpret_cast<JpegErrorManager*>(object->err);
    (*object->err->format_message)(object, manager->message);
    longjmp(manager->recovery, 1);
}

// The orientation tag of an APP1 payload "Exif\0\0" + TIFF header + IFD0, or
// 1 when the block has none or is damaged anywhere the search has to read.
int ExifOrientation(const uint8_t* data, size_t length) {
    constexpr size_t kExifHeader = 6;
    if (length < kExifHeader + 8 || std::memcmp(data, "Exif\0\0", kExifHeader) != 0) {
        return 1;
    }
    const uint8_t* tiff = data + kExifHeader;
    const size_t tiffLength = length - kExifHeader;
    bool bigEndian = false;
    if (std::memcmp(tiff, "MM", 2) == 0) {
        bigEndian = true;
    } else if (std::memcmp(tiff, "II", 2) != 0) {
        return 1;
    }
    if (Read16(tiff + 2, bigEndian) != 42) {
        return 1;
    }
    const uint32_t ifd = Read32(tiff + 4, bigEndian);
    if (ifd > tiffLength || tiffLength - ifd < 2) {
        return 1;
    }
    const uint32_t entries = Read16(tiff + ifd, bigEndian);
    constexpr size_t kEntrySize = 12;
    if ((tiffLength - ifd - 2) / kEntrySize < entries) {
        return 1;
    }
    for (uint32_t i = 0; i < entries; ++i) {
        const uint8_t* entry = tiff + ifd + 2 + i * kEntrySize;
        if (Read16(entry, bigEndian) != kOrientationTag) {
            continue;
        }
        if (Read16(entry + 2, bigEndian) != kTypeShort || Read32(entry + 4, bigEndian) != 1) {
            return 1;
        }
        const uint16_t value = Read16(entry + 8, bigEndian);
        return value >= 1 && value <= 8 ? value : 1;
    }
    return 1;
}

int SavedOrientation(const jpeg_decompress_struct& decompressor) {
    for (jpeg_saved_marker_ptr marker = decompressor.marker_list; marker != nullptr;
         marker = marker->next) {
        if (marker->marker == kExifMarker) {
            const int orientation = ExifOrientation(marker->data, marker->data_length);
            if (orientation != 1) {
                return orientation;
            }
        }
    }
    return 1;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows a chain of links to the file an ordinary write would reach, even
// when that file does not exist yet, so that the link itself stays a link.
bool ResolveLinks(std::string& path) {
    constexpr int kMaxLinks = 40;  // the kernel's own limit on a chain
    for (int depth = 0; depth < kMaxLinks; ++depth) {
        struct stat st;
        if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
            return true;
        }
        std::string target(PATH_MAX, '\0');
        const ssize_t length = readlink(path.c_str(), target.data(), target.size());
        if (length <= 0 || static_cast<size_t>(length) >= target.size()) {
            return false;
        }
        target.resize(static_cast<size_t>(length));
        path = target.front() == '/' ? target : FolderOf(path) + "/" + target;
    }
    return false;
}

// A name beside the destination that no one else holds: claimed by the
// exclusive creation, a new number tried when another writer got there
// first. The visible part of the name is cut so the whole stays within the
// file system's 255 bytes. The file is never more open than the one it
// replaces: a replacement gets the old file's mode before any byte is
// written, a new file the mode a plain create gives it.
int CreatePartialFile(const std::string& target, int targetMode, std::string& partialPath) {
    constexpr size_t kMaxNameBytes = 200;
    const std::string name = NameOf(target).substr(0, kMaxNameBytes);
    const std::string stem = FolderOf(target) + "/." + name + ".";
    const mode_t createMode = targetMode >= 0 ? 0600 : 0666;
    const unsigned start = static_cast<unsigned>(getpid()) * 7919u;
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        std::string candidate = stem + std::to_string(start + attempt) + ".part";
        const int fd = open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, createMode);
        if (fd >= 0) {
            if (targetMode >= 0 && fchmod(fd, static_cast<mode_t>(targetMode)) != 0) {
                close(fd);
                unlink(candidate.c_str());
                return -1;
            }
            partialPath = std::move(candidate);
            return fd;
        }
        if (errno != EEXIST) {
            return -1;
        }
    }
    return -1;
}

}  // namespace

JpegCodec::JpegCodec() {
    std::memset(&m_decompressor, 0, sizeof m_decompressor);
    std::memset(&m_compressor, 0, sizeof m_compressor);
    std::memset(&m_error, 0, sizeof m_error);
}

JpegCodec::~JpegCodec() {
    Close();
}

// Only fatal errors are taken over; warnings (corrupt entropy data, a
// premature end) keep libjpeg's own message output and decoding goes on.
void JpegCodec::InstallErrorManager(jpeg_common_struct& object) {
    object.err = jpeg_std_error(&m_error.base);
    m_error.base.error_exit = JpegErrorExit;
}

int32_t JpegCodec::Open(const char* path, ImageBuffer* image, ProgressCallback callback) {
    Close();
    if (path == nullptr || image == nullptr) {
        return 0;
    }
    m_stream = std::fopen(path, "rb");
    if (m_stream == nullptr) {
        return 0;
    }
    uint8_t magic[2] = {};
    if (std::fread(magic, 1, 2, m_stream) != 2 || std::memcmp(magic, kStartOfImage, 2) != 0 ||
        std::fseek(m_stream, 0, SEEK_SET) != 0) {
        Close();
        return 0;
    }
    if (!StartDecompress()) {
        Close();
        return 0;
    }
    const jpeg_decompress_struct& d = m_decompressor;
    // Four-component (CMYK, YCCK) files have no RGB form here; the chain
    // moves on. The buffer's sizes are signed 32-bit.
    if (d.output_width < 1 || d.output_height < 1 || d.output_width > INT32_MAX ||
        d.output_height > INT32_MAX ||
        (d.out_color_components != 1 && d.out_color_components != 3)) {
        Close();
        return 0;
    }
    m_width = d.output_width;
    m_height = d.output_height;
    m_pixelForm = d.out_color_components == 3 ? PixelForm::kColour24 : PixelForm::kGray8;
    m_orientation = SavedOrientation(d);
    m_callback = callback;
    m_image = image;
    return 1;
}

// Only trivially destructible state between the setjmp and the calls that
// may jump back to it; everything lives in the codec object.
bool JpegCodec::StartDecompress() {
    InstallErrorManager(*reinterpret_cast<jpeg_common_struct*>(&m_decompressor));
    if (setjmp(m_error.recovery) != 0) {
        return false;
    }
    m_decompressorActive = 1;
    jpeg_create_decompress(&m_decompressor);
    m_decompressor.mem->max_memory_to_use = kDecoderMemoryBudget;
    jpeg_stdio_src(&m_decompressor, m_stream);
    jpeg_save_markers(&m_decompressor, kExifMarker, 0xFFFF);
    jpeg_read_header(&m_decompressor, TRUE);
    jpeg_start_decompress(&m_decompressor);
    return true;
}

int32_t JpegCodec::Decode() {
    bool ok = m_decompressorActive != 0 && m_image != nullptr;
    if (ok) {
        const uint32_t depth = m_pixelForm == PixelForm::kColour24 ? 24 : 8;
        ok = m_image->Create(static_cast<int32_t>(m_width), static_cast<int32_t>(m_height), depth,
                             0) &&
             ReadRows();
    }
    // libjpeg is done with the image; turning it upright only moves pixels.
    if (ok && m_orientation != 1) {
        ok = MakeUpright(*m_image, m_orientation);
    }
    ReportEnd(kDecoding);
    Close();
    return ok ? 1 : 0;
}

bool JpegCodec::ReadRows() {
    if (setjmp(m_error.recovery) != 0) {
        return false;
    }
    while (m_decompressor.output_scanline < m_decompressor.output_height) {
        JSAMPROW row = m_image->Row(static_cast<int32_t>(m_decompressor.output_scanline));
        jpeg_read_scanlines(&m_decompressor, &row, 1);
        ReportProgress(m_callback, kDecoding, m_decompressor.output_scanline - 1, m_height);
    }
    return true;
}

void JpegCodec::ReportEnd(int32_t direction) {
    if (m_height > 0) {
        ReportProgress(m_callback, direction, m_height - 1, m_height);
    }
}

int32_t JpegCodec::Save(const char* destination, ImageBuffer& image, int32_t quality,
                        int32_t colour, int32_t optimize, int32_t smoothing,
                        ProgressCallback callback) {
    Close();
    if (destination == nullptr || quality < 1 || quality > 100 || image.Width() < 1 ||
        image.Height() < 1 || smoothing < 0 || smoothing > 100) {
        return 0;
    }
    m_width = static_cast<uint32_t>(image.Width());
    m_height = static_cast<uint32_t>(image.Height());
    m_pixelForm = colour == 1 ? PixelForm::kColour24 : PixelForm::kGray8;
    m_callback = callback;
    m_image = &image;
    m_quality = quality;

    // Rows go to libjpeg straight from the image when it has the depth the
    // output needs; otherwise from one converted copy.
    const bool direct = m_pixelForm == PixelForm::kColour24
                            ? image.BitsPerPixel() == 24
                            : image.BitsPerPixel() == 8 && image.PaletteSize() == 0;
    ImageBuffer converted;
    bool ok = direct || image.ConvertTo(converted, m_pixelForm == PixelForm::kColour24 ? 24 : 8);
    ok = ok && OpenDestination(destination);
    ok = ok && Compress(direct ? image : converted, optimize, smoothing);
    converted.Reset();
    ok = ok && CommitDestination();
    ReportEnd(kEncoding);
    Close();
    return ok ? 1 : 0;
}

// Works out where the JPEG goes and opens the file it is written into. An
// existing file is never opened for writing: the new one is made beside it
// and only renamed over it once it is complete, so a failure, a full disk or
// a kill leaves the old bytes (and a source converted onto itself) intact.
// When no new file can be made there, the conversion fails rather than
// write into the old one.
bool JpegCodec::OpenDestination(const char* destination) {
    try {
        m_targetPath = destination;
        if (m_targetPath.empty() || m_targetPath.back() == '/' || !ResolveLinks(m_targetPath)) {
            return false;
        }
        int fd = -1;
        struct stat st;
        if (stat(m_targetPath.c_str(), &st) != 0) {
            fd = CreatePartialFile(m_targetPath, -1, m_partialPath);
        } else if (S_ISDIR(st.st_mode)) {
            return false;
        } else {
            // The old file must be one we could have written: a read-only
            // destination stays read-only and untouched.
            const int probe = open(m_targetPath.c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
            if (probe < 0) {
                return false;
            }
            close(probe);
            if (S_ISREG(st.st_mode)) {
                m_replacesFile = true;
                fd = CreatePartialFile(m_targetPath, static_cast<int>(st.st_mode & 07777),
                                       m_partialPath);
            } else {
                // A device or a pipe holds no bytes to lose and cannot be
                // replaced by renaming: it is written as it is.
                fd = open(m_targetPath.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
            }
        }
        if (fd < 0) {
            return false;
        }
        m_stream = fdopen(fd, "wb");
        if (m_stream == nullptr) {
            close(fd);
            return false;
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool JpegCodec::Compress(const ImageBuffer& rows, int32_t optimize, int32_t smoothing) {
    jpeg_compress_struct& c = m_compressor;
    InstallErrorManager(*reinterpret_cast<jpeg_common_struct*>(&c));
    if (setjmp(m_error.recovery) != 0) {
        return false;
    }
    m_compressorActive = 1;
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, m_stream);
    c.image_width = m_width;
    c.image_height = m_height;
    if (m_pixelForm == PixelForm::kColour24) {
        c.input_components = 3;
        c.in_color_space = JCS_RGB;
    } else {
        c.input_components = 1;
        c.in_color_space = JCS_GRAYSCALE;
    }
    jpeg_set_defaults(&c);
    // Only these two differ from the library's defaults.
    c.optimize_coding = optimize != 0 ? TRUE : FALSE;
    c.smoothing_factor = smoothing;
    // Baseline-limited tables, so every decoder reads the file.
    jpeg_set_quality(&c, m_quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = rows.Row(static_cast<int32_t>(c.next_scanline));
        jpeg_write_scanlines(&c, &row, 1);
        ReportProgress(m_callback, kEncoding, c.next_scanline - 1, m_height);
    }
    // Writes the last data and the end marker and flushes libjpeg's buffer;
    // a failed write on a full disk jumps back above.
    jpeg_finish_compress(&c);
    return true;
}

// Closes the written file, checking that the last bytes reached it, and puts
// it in the destination's place.
bool JpegCodec::CommitDestination() {
    std::FILE* stream = m_stream;
    m_stream = nullptr;
    // The rename makes the old bytes unreachable; the new ones must be on
    // the disk by then, or a power cut could leave an empty file behind.
    const bool synced =
        !m_replacesFile || (std::fflush(stream) == 0 && fdatasync(fileno(stream)) == 0);
    if (std::fclose(stream) != 0 || !synced) {
        return false;
    }
    if (m_partialPath.empty()) {
        return true;
    }
    if (std::rename(m_partialPath.c_str(), m_targetPath.c_str()) != 0) {
        return false;
    }
    m_partialPath.clear();
    return true;
}

int32_t JpegCodec::Close() {
    if (m_stream != nullptr) {
        std::fclose(m_stream);
        m_stream = nullptr;
    }
    if (m_decompressorActive) {
        jpeg_destroy_decompress(&m_decompressor);
    } else if (m_compressorActive) {
        jpeg_destroy_compress(&m_compressor);
    }
    // A file that never became the destination does not stay behind.
    if (!m_partialPath.empty()) {
        unlink(m_partialPath.c_str());
        m_partialPath.clear();
    }
    m_targetPath.clear();
    m_replacesFile = false;
    m_callback = nullptr;
    m_image = nullptr;
    m_decompressorActive = 0;
    m_compressorActive = 0;
    m_pixelForm = PixelForm::kNone;
    m_width = 0;
    m_height = 0;
    m_quality = 0;
    m_orientation = 1;
    std::memset(&m_decompressor, 0, sizeof m_decompressor);
    std::memset(&m_compressor, 0, sizeof m_compressor);
    return 1;
}

}  // namespace tolvane
