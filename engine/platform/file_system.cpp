#include "engine/platform/file_system.h"

#include <fcntl.h>
#include <glob.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace tolvane::platform {

bool EntryExists(const std::string& path) {
    if (path.empty()) {
        return false;
    }
    struct stat st;
    if (lstat(path.c_str(), &st) == 0) {
        return true;
    }
    if (path.find_first_of("*?[") == std::string::npos) {
        return false;
    }
    // A pattern exists when it matches any entry, as the directory search of
    // the original platform answered it.
    glob_t matches{};
    const int result = glob(path.c_str(), GLOB_NOSORT, nullptr, &matches);
    const bool found = result == 0 && matches.gl_pathc > 0;
    globfree(&matches);
    return found;
}

bool FolderExists(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool RemoveFile(const std::string& path) {
    return unlink(path.c_str()) == 0;
}

std::string TempFolder() {
    const char* folder = std::getenv("TMPDIR");
    if (folder != nullptr && *folder != '\0') {
        return folder;
    }
    return "/tmp";
}

int CreateExclusive(const std::string& path, bool& alreadyExists) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    alreadyExists = fd < 0 && errno == EEXIST;
    return fd;
}

bool ResizeFile(int fd, uint64_t size) {
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
        return false;
    }
    // Claim the blocks now: a sparse file would fail with SIGBUS at the first
    // write into a page the full disk cannot back, instead of failing here.
    const int result = posix_fallocate(fd, 0, static_cast<off_t>(size));
    return result == 0 || result == EOPNOTSUPP || result == EINVAL;
}

void* MapReadWrite(int fd, std::size_t size) {
    void* view = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return view == MAP_FAILED ? nullptr : view;
}

void FlushMapping(void* view, std::size_t size) {
    if (view != nullptr && size > 0) {
        msync(view, size, MS_ASYNC);
    }
}

void Unmap(void* view, std::size_t size) {
    if (view != nullptr) {
        munmap(view, size);
    }
}

void CloseFile(int fd) {
    if (fd >= 0) {
        close(fd);
    }
}

}  // namespace tolvane::platform
