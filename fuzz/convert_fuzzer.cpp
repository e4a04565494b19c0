#include <dirent.h>
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "engine/convert.h"
#include "fuzz/fuzz_workspace.h"

namespace {

using tolvane::fuzz::Fail;
using tolvane::fuzz::FuzzWorkspace;

constexpr char kOldBytes[] = "the destination as it was";

void WriteOldDestination(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fputs(kOldBytes, file) == EOF || std::fclose(file) != 0) {
        Fail("cannot write the old destination");
    }
}

std::string ReadAll(const std::string& path) {
    std::string bytes;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char chunk[4096];
        std::size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
            bytes.append(chunk, got);
        }
        std::fclose(file);
    }
    return bytes;
}

// The output folder must hold the destination and nothing else: a part
// file left beside it is a fault.
void ExpectOnlyDestination(const std::string& folder) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        Fail("output folder is gone");
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && name != "out.jpg") {
            closedir(dir);
            Fail("a file was left beside the destination");
        }
    }
    closedir(dir);
}

}  // namespace

// The whole conversion over an existing destination. The options come from
// the input's length, so every input converts the same way each time.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzWorkspace& workspace = FuzzWorkspace::Get();
    const std::string source = workspace.WriteInput(data, size);
    static const std::string folder = [&] {
        const std::string path = workspace.Folder() + "/output";
        if (mkdir(path.c_str(), 0700) != 0) {
            Fail("cannot make the output folder");
        }
        return path;
    }();
    const std::string destination = folder + "/out.jpg";
    WriteOldDestination(destination);

    const int32_t grayscale = static_cast<int32_t>(size & 1);
    const int32_t quality = static_cast<int32_t>(1 + size % 100);
    const int32_t optimize = static_cast<int32_t>((size >> 1) & 1);
    const int32_t smoothing = static_cast<int32_t>((size >> 2) % 101);
    const int32_t result =
        ConvertImage(source.c_str(), destination.c_str(), grayscale, quality, optimize, smoothing);

    const std::string written = ReadAll(destination);
    if (result == kConvertOk) {
        if (written.size() < 4 || std::memcmp(written.data(), "\xFF\xD8", 2) != 0 ||
            std::memcmp(written.data() + written.size() - 2, "\xFF\xD9", 2) != 0) {
            Fail("success without a whole JPEG file");
        }
    } else if (result == kConvertNotReadable || result == kConvertWriteFailed) {
        if (written != kOldBytes) {
            Fail("a failed conversion changed the destination");
        }
    } else {
        Fail("unexpected result code");
    }
    ExpectOnlyDestination(folder);
    workspace.ExpectNoScratchLeft();
    return 0;
}
