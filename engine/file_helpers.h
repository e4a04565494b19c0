#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace tolvane {

// The existence test of the reader chain: true for any entry at the path,
// folders and matching wildcard patterns included.
bool FileExists(const std::string& path);

// True when nothing is left at the path: it did not exist or was removed.
bool DeleteFileIfExists(const std::string& path);

// True when the path, without one trailing separator, names an existing
// folder.
bool IsDirectory(const std::string& path);

// Appends "/" unless the path already ends in one. UTF-8 never holds the byte
// '/' inside a multi-byte character, so looking at the last byte is exact.
void AddTrailingSlash(std::string& path);

// Removes one trailing "/".
void StripTrailingSlash(std::string& path);

// The largest number tried after the prefix of a temporary name.
inline constexpr int64_t kLastTempNumber = 2047483647;

// The first name "<temp folder>/<prefix><n>.tmp", n counting from
// `firstNumber`, for which nothing exists yet. Fails when there is no
// temporary folder or every number is taken. `number` receives n.
bool MakeTempFileName(const std::string& prefix, std::string& path, int64_t firstNumber,
                      int64_t& number);
bool MakeTempFileName(const std::string& prefix, std::string& path);

// True when `size` bytes were read into `buffer`; a short read is a file
// that ends early.
inline bool ReadExactly(std::FILE* stream, void* buffer, std::size_t size) {
    return std::fread(buffer, 1, size, stream) == size;
}

// The length of the open stream in bytes (0 for a null stream or a failed
// seek); leaves the stream at offset 0.
int32_t StreamSize(std::FILE* stream);

}  // namespace tolvane
