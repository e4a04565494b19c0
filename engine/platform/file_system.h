#pragma once

// The engine's only contact with the operating system's file and memory
// functions. A port to another system replaces this header's implementation.

#include <cstddef>
#include <cstdint>
#include <string>

namespace tolvane::platform {

inline constexpr char kSeparator = '/';

// True when an entry (file, folder, link, anything) exists at `path`. A path
// with wildcard characters (*, ? or [) is true when the pattern matches any
// entry. An empty path never exists.
bool EntryExists(const std::string& path);

// True when `path` names an existing folder (links followed).
bool FolderExists(const std::string& path);

// Removes the file; true on success.
bool RemoveFile(const std::string& path);

// The folder for temporary files: $TMPDIR when set and not empty, else /tmp.
// Read afresh at every call.
std::string TempFolder();

// Exclusive creation of a new file for reading and writing, mode 0600.
// Returns the descriptor, or -1; `alreadyExists` tells apart a name that was
// taken in the meantime from any other failure.
int CreateExclusive(const std::string& path, bool& alreadyExists);

// Gives the open file `size` bytes, reading as zero.
bool ResizeFile(int fd, uint64_t size);

// Maps `size` bytes of the file shared, for reading and writing; null on
// failure.
void* MapReadWrite(int fd, std::size_t size);

// Schedules the mapped pages to be written to the file without waiting for it.
void FlushMapping(void* view, std::size_t size);

void Unmap(void* view, std::size_t size);
void CloseFile(int fd);

}  // namespace tolvane::platform
