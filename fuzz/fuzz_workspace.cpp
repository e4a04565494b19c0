#include "fuzz/fuzz_workspace.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace tolvane::fuzz {

void Fail(const char* what) {
    std::fprintf(stderr, "fuzz: %s\n", what);
    std::abort();
}

FuzzWorkspace& FuzzWorkspace::Get() {
    static FuzzWorkspace workspace;
    return workspace;
}

FuzzWorkspace::FuzzWorkspace() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tolvane-fuzz-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        Fail("cannot make the workspace folder");
    }
    m_folder = name.data();
    m_scratch = m_folder + "/scratch";
    m_input = m_folder + "/input";
    if (mkdir(m_scratch.c_str(), 0700) != 0) {
        Fail("cannot make the scratch folder");
    }
    setenv("TMPDIR", m_scratch.c_str(), 1);

    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{kFileSizeLimit, kFileSizeLimit};
    setrlimit(RLIMIT_FSIZE, &limit);
}

const std::string& FuzzWorkspace::WriteInput(const uint8_t* data, std::size_t size,
                                             std::size_t padTo) {
    std::FILE* file = std::fopen(m_input.c_str(), "wb");
    if (file == nullptr || (size > 0 && std::fwrite(data, 1, size, file) != size)) {
        Fail("cannot write the input file");
    }
    if (padTo > size && (std::fseek(file, static_cast<long>(padTo - 1), SEEK_SET) != 0 ||
                         std::fputc(0, file) == EOF)) {
        Fail("cannot pad the input file");
    }
    if (std::fclose(file) != 0) {
        Fail("cannot close the input file");
    }
    return m_input;
}

void FuzzWorkspace::ExpectNoScratchLeft() const {
    DIR* folder = opendir(m_scratch.c_str());
    if (folder == nullptr) {
        Fail("scratch folder is gone");
    }
    bool empty = true;
    while (const dirent* entry = readdir(folder)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
            empty = false;
        }
    }
    closedir(folder);
    if (!empty) {
        Fail("a scratch file was left behind");
    }
}

void CheckProgress(int32_t direction, int32_t percent, int32_t row, int32_t reserved) {
    if ((direction != 0 && direction != 1) || percent < 0 || percent > 100 || row < 0 ||
        reserved != 0) {
        Fail("progress callback got values out of range");
    }
}

}  // namespace tolvane::fuzz
