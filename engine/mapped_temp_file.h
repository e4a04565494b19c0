#pragma once

#include <cstdint>
#include <string>

namespace tolvane {

// Scratch memory kept in a new file of the temporary folder and mapped into
// memory, so picture-sized buffers live in the file cache instead of the heap.
// Move-only; the file is deleted only by Release(true), so an owner that wants
// it gone says so before dropping the object.
class MappedTempFile {
  public:
    MappedTempFile() = default;
    ~MappedTempFile();
    MappedTempFile(const MappedTempFile&) = delete;
    MappedTempFile& operator=(const MappedTempFile&) = delete;
    MappedTempFile(MappedTempFile&& other) noexcept;
    MappedTempFile& operator=(MappedTempFile&& other) noexcept;

    // Releases what it held (keeping that file), then creates a new file of
    // `size` bytes, all zero, named "<prefix><n>.tmp", and maps it.
    bool Allocate(uint32_t size, const char* prefix);
    void Release(bool deleteFile);
    uint8_t* Data() const { return m_view; }
    uint32_t Size() const { return m_size; }
    const std::string& Path() const { return m_path; }
    void Flush();

  private:
    int m_fd = -1;
    uint8_t* m_view = nullptr;
    std::string m_path;
    uint32_t m_size = 0;
};

inline constexpr const char* kTempPrefix = "KORVIMAP";

}  // namespace tolvane
