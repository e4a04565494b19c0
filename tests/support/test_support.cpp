#include "support/test_support.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <grp.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tolvane::test {

ScopedTempDir::ScopedTempDir() {
    const char* base = std::getenv("TOLVANE_TEST_TMP");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tolvane-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    m_path = buffer.data();
}

ScopedTempDir::~ScopedTempDir() {
    std::error_code ignored;
    // Tests take write permission away from folders; give it back first.
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ignored);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
        if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
    std::filesystem::remove_all(m_path, ignored);
}

PrivateTempFolder::PrivateTempFolder() {
    if (const char* saved = std::getenv("TMPDIR")) {
        m_saved = saved;
        m_hadSaved = true;
    }
    setenv("TMPDIR", m_dir.Path().c_str(), 1);
    m_watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_watch < 0 || inotify_add_watch(m_watch, m_dir.Path().c_str(), IN_CREATE) < 0) {
        throw std::runtime_error("cannot watch the temporary folder");
    }
}

int PrivateTempFolder::StoresMade() {
    int made = 0;
    alignas(inotify_event) char events[4096];
    ssize_t got;
    while ((got = read(m_watch, events, sizeof events)) > 0) {
        for (char* at = events; at < events + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            made += (event->mask & IN_CREATE) != 0 ? 1 : 0;
            at += sizeof(inotify_event) + event->len;
        }
    }
    return made;
}

PrivateTempFolder::~PrivateTempFolder() {
    close(m_watch);
    if (m_hadSaved) {
        setenv("TMPDIR", m_saved.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
}

std::vector<std::string> PrivateTempFolder::Leftovers() const {
    std::vector<std::string> found;
    for (const std::string& name : ListFolder(Path())) {
        if (name.rfind("KORVIMAP", 0) == 0 && name.size() > 4 &&
            name.compare(name.size() - 4, 4, ".tmp") == 0) {
            found.push_back(name);
        }
    }
    return found;
}

int32_t ConvertInChild(const ChildSetup& setup, const std::function<int32_t()>& conversion) {
    // Exit statuses of the child: 0 for success, the result's magnitude for a
    // failure, and this for a child that could not be set up.
    constexpr int kSetupFailed = 100;
    const bool dropRoot = setup.unprivileged && geteuid() == 0;
    if (dropRoot) {
        for (const std::string& folder : setup.sharedFolders) {
            chmod(folder.c_str(), 0777);
        }
    }
    const pid_t child = fork();
    if (child == 0) {
        if (setup.fileSizeLimit > 0) {
            const rlimit limit{setup.fileSizeLimit, setup.fileSizeLimit};
            if (signal(SIGXFSZ, SIG_IGN) == SIG_ERR || setrlimit(RLIMIT_FSIZE, &limit) != 0) {
                _exit(kSetupFailed);
            }
        }
        if (dropRoot) {
            constexpr uid_t kNobody = 65534;
            if (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0) {
                _exit(kSetupFailed);
            }
        }
        const int32_t result = conversion();
        _exit(result == 1 ? 0 : -result);
    }
    int status = 0;
    const bool waited = child > 0 && waitpid(child, &status, 0) == child;
    if (dropRoot) {
        for (const std::string& folder : setup.sharedFolders) {
            chmod(folder.c_str(), 0700);
        }
    }
    if (!waited || !WIFEXITED(status) || WEXITSTATUS(status) == kSetupFailed) {
        ADD_FAILURE() << "the child did not run its conversion to the end";
        return INT32_MIN;
    }
    return WEXITSTATUS(status) == 0 ? 1 : -WEXITSTATUS(status);
}

std::vector<std::string> ListFolder(const std::string& path) {
    std::vector<std::string> names;
    DIR* dir = opendir(path.c_str());
    if (dir == nullptr) {
        return names;
    }
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") {
            names.push_back(name);
        }
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

bool PathExists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

std::string CorpusRoot() {
    std::string root = std::string(TOLVANE_SOURCE_DIR) + "/../shared/corpus";
    struct stat st;
    if (stat((root + "/MANIFEST.tsv").c_str(), &st) != 0) {
        return "";
    }
    return root;
}

std::string CorpusPath(const std::string& relative) {
    std::string root = CorpusRoot();
    return root.empty() ? "" : root + "/" + relative;
}

std::vector<CorpusEntry> CorpusManifest(const std::string& prefix) {
    std::vector<CorpusEntry> entries;
    std::string root = CorpusRoot();
    if (root.empty()) {
        return entries;
    }
    std::ifstream in(root + "/MANIFEST.tsv");
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#' || line.rfind(prefix, 0) != 0) {
            continue;
        }
        std::vector<std::string> fields;
        std::stringstream split(line);
        std::string field;
        while (std::getline(split, field, '\t')) {
            fields.push_back(field);
        }
        // A line whose notes are empty ends in a tab, which getline drops.
        fields.resize(std::max<size_t>(fields.size(), 7));
        if (fields[0].empty()) {
            continue;
        }
        CorpusEntry entry;
        entry.path = fields[0];
        entry.format = fields[2];
        entry.width = std::atoi(fields[3].c_str());
        entry.height = std::atoi(fields[4].c_str());
        entry.depthColour = fields[5];
        entry.notes = fields[6];
        entries.push_back(entry);
    }
    return entries;
}

#if defined(__SANITIZE_ADDRESS__)
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*,
                                                                             std::size_t),
                                                         void (*free_hook)(const volatile void*));

namespace {
std::atomic<bool> g_watchingHeap{false};
std::atomic<std::size_t> g_largestAllocation{0};

void NoteAllocation(const volatile void*, std::size_t size) {
    if (!g_watchingHeap.load(std::memory_order_relaxed)) {
        return;
    }
    std::size_t seen = g_largestAllocation.load(std::memory_order_relaxed);
    while (size > seen && !g_largestAllocation.compare_exchange_weak(seen, size)) {
    }
}

void NoteFree(const volatile void*) {}
}  // namespace

std::optional<std::size_t> LargestAllocationDuring(const std::function<void()>& run) {
    // The sanitizer keeps hooks for the life of the process; one is enough.
    static const bool installed =
        __sanitizer_install_malloc_and_free_hooks(NoteAllocation, NoteFree) != 0;
    g_largestAllocation = 0;
    g_watchingHeap = installed;
    run();
    g_watchingHeap = false;
    if (!installed) {
        return std::nullopt;
    }
    return g_largestAllocation.load();
}
#else
std::optional<std::size_t> LargestAllocationDuring(const std::function<void()>& run) {
    run();
    return std::nullopt;
}
#endif

void ExpectNothingLargeMade(PrivateTempFolder& temp, const std::function<void()>& read) {
    temp.StoresMade();
    const std::optional<std::size_t> largest = LargestAllocationDuring(read);
    EXPECT_EQ(temp.StoresMade(), 0) << "a pixel store was made";
    if (largest) {
        EXPECT_LT(*largest, kLargeAllocation) << "a heap block of " << *largest << " bytes";
    }
}

}  // namespace tolvane::test
