#include "engine/mapped_temp_file.h"

#include <utility>

#include "engine/file_helpers.h"
#include "engine/platform/file_system.h"

namespace tolvane {

MappedTempFile::~MappedTempFile() {
    Release(false);
}

MappedTempFile::MappedTempFile(MappedTempFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)),
      m_view(std::exchange(other.m_view, nullptr)),
      m_path(std::move(other.m_path)),
      m_size(std::exchange(other.m_size, 0)) {
    other.m_path.clear();
}

MappedTempFile& MappedTempFile::operator=(MappedTempFile&& other) noexcept {
    if (this != &other) {
        Release(false);
        m_fd = std::exchange(other.m_fd, -1);
        m_view = std::exchange(other.m_view, nullptr);
        m_path = std::move(other.m_path);
        other.m_path.clear();
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

bool MappedTempFile::Allocate(uint32_t size, const char* prefix) {
    Release(false);
    if (size == 0 || prefix == nullptr || *prefix == '\0') {
        return false;
    }
    try {
        // The name is claimed by the exclusive creation, not by the existence
        // test: another thread or process may take a free name in between,
        // and then the next number is tried.
        int64_t number = 0;
        for (;;) {
            std::string path;
            if (!MakeTempFileName(prefix, path, number, number)) {
                return false;
            }
            bool taken = false;
            m_fd = platform::CreateExclusive(path, taken);
            if (m_fd >= 0) {
                m_path = std::move(path);
                break;
            }
            if (!taken || number == kLastTempNumber) {
                return false;
            }
            ++number;
        }
    } catch (...) {
        // Only the name strings allocate; out of memory is a failed Allocate.
        Release(true);
        return false;
    }
    if (!platform::ResizeFile(m_fd, size)) {
        Release(true);
        return false;
    }
    m_view = static_cast<uint8_t*>(platform::MapReadWrite(m_fd, size));
    if (m_view == nullptr) {
        Release(true);
        return false;
    }
    m_size = size;
    return true;
}

void MappedTempFile::Release(bool deleteFile) {
    platform::Unmap(m_view, m_size);
    platform::CloseFile(m_fd);
    if (deleteFile && !m_path.empty()) {
        DeleteFileIfExists(m_path);
    }
    m_fd = -1;
    m_view = nullptr;
    m_size = 0;
    m_path.clear();
}

void MappedTempFile::Flush() {
    platform::FlushMapping(m_view, m_size);
}

}  // namespace tolvane
