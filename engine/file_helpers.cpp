#include "engine/file_helpers.h"

#include <climits>
#include <string>

#include "engine/platform/file_system.h"

namespace tolvane {

bool FileExists(const std::string& path) {
    return platform::EntryExists(path);
}

bool DeleteFileIfExists(const std::string& path) {
    if (!platform::EntryExists(path)) {
        return true;
    }
    return platform::RemoveFile(path);
}

bool IsDirectory(const std::string& path) {
    std::string folder = path;
    // "/" itself stays "/" so the root still counts as a folder.
    if (folder.size() > 1) {
        StripTrailingSlash(folder);
    }
    return platform::FolderExists(folder);
}

void AddTrailingSlash(std::string& path) {
    if (path.empty() || path.back() != platform::kSeparator) {
        path.push_back(platform::kSeparator);
    }
}

void StripTrailingSlash(std::string& path) {
    if (!path.empty() && path.back() == platform::kSeparator) {
        path.pop_back();
    }
}

bool MakeTempFileName(const std::string& prefix, std::string& path, int64_t firstNumber,
                      int64_t& number) {
    std::string folder = platform::TempFolder();
    if (folder.empty() || !IsDirectory(folder)) {
        return false;
    }
    AddTrailingSlash(folder);
    for (int64_t n = firstNumber; n <= kLastTempNumber; ++n) {
        std::string candidate = folder + prefix + std::to_string(n) + ".tmp";
        if (!FileExists(candidate)) {
            path = std::move(candidate);
            number = n;
            return true;
        }
    }
    return false;
}

bool MakeTempFileName(const std::string& prefix, std::string& path) {
    int64_t number = 0;
    return MakeTempFileName(prefix, path, 0, number);
}

int32_t StreamSize(std::FILE* stream) {
    if (stream == nullptr || std::fseek(stream, 0, SEEK_END) != 0) {
        return 0;
    }
    const long size = std::ftell(stream);
    std::fseek(stream, 0, SEEK_SET);
    if (size < 0) {
        return 0;
    }
    // A file past 2 GiB cannot be a picture any reader takes; report the
    // largest size a reader can compare against instead of wrapping.
    return size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
}

}  // namespace tolvane
