#pragma once

#include <cstdint>

namespace tolvane {

// Integers as file formats store them, read byte by byte so that neither the
// host's byte order nor the field's alignment matters.

inline uint16_t ReadLe16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline uint32_t ReadLe32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

inline uint16_t ReadBe16(const uint8_t* bytes) {
    return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
}

inline uint32_t ReadBe32(const uint8_t* bytes) {
    return (static_cast<uint32_t>(ReadBe16(bytes)) << 16) | ReadBe16(bytes + 2);
}

// For formats (EXIF's TIFF header) that name their byte order in the file.
inline uint16_t Read16(const uint8_t* bytes, bool bigEndian) {
    return bigEndian ? ReadBe16(bytes) : ReadLe16(bytes);
}

inline uint32_t Read32(const uint8_t* bytes, bool bigEndian) {
    return bigEndian ? ReadBe32(bytes) : ReadLe32(bytes);
}

}  // namespace tolvane
