#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::test {

// A fresh folder under the system's temporary folder, removed with all it
// holds at the end of the scope.
class ScopedTempDir {
  public:
    ScopedTempDir();
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

// Points $TMPDIR at a private folder for the life of the object, so a test
// sees exactly which pixel stores the engine left behind.
class PrivateTempFolder {
  public:
    PrivateTempFolder();
    ~PrivateTempFolder();
    PrivateTempFolder(const PrivateTempFolder&) = delete;
    PrivateTempFolder& operator=(const PrivateTempFolder&) = delete;

    const std::string& Path() const { return m_dir.Path(); }
    // Names of the KORVIMAP*.tmp entries in the folder.
    std::vector<std::string> Leftovers() const;
    // How many entries were created in the folder since the last call (or
    // since the folder was made), deleted ones included: a reader that
    // refuses a file early has made no pixel store at all.
    int StoresMade();

  private:
    ScopedTempDir m_dir;
    int m_watch = -1;
    std::string m_saved;
    bool m_hadSaved = false;
};

// Names a parameterised test after its case's `name` field, with the '-'
// of fixture names turned into the '_' that GoogleTest allows.
struct CaseName {
    template <typename Info>
    std::string operator()(const Info& info) const {
        std::string name = info.param.name;
        for (char& c : name) c = (c == '-') ? '_' : c;
        return name;
    }
};

// One call of a progress callback, as RecordProgress keeps it.
struct ProgressEvent {
    int32_t direction, percent, row, reserved;
    bool operator==(const ProgressEvent&) const = default;
};

// Every call of RecordProgress, in order; a test clears it first.
inline std::vector<ProgressEvent> g_progress;

// A progress callback that appends its call to g_progress.
inline void RecordProgress(int32_t direction, int32_t percent, int32_t row, int32_t reserved) {
    g_progress.push_back({direction, percent, row, reserved});
}

// How ConvertInChild sets up the child before the conversion runs.
struct ChildSetup {
    // Permission tests mean nothing to root, which writes anywhere: root's
    // child runs as 'nobody' instead, and these folders (the test's own,
    // made 0700) are opened to everyone for it and shut again afterwards.
    bool unprivileged = false;
    std::vector<std::string> sharedFolders = {};
    // Largest file the child may write, with SIGXFSZ ignored, so a write
    // past it fails with EFBIG as on a full disk; 0 for no limit.
    uint64_t fileSizeLimit = 0;
};

// Runs `conversion` in a forked child and returns the ConvertImage result
// it gave, or INT32_MIN when the child was not set up or did not exit.
int32_t ConvertInChild(const ChildSetup& setup, const std::function<int32_t()>& conversion);

// Entry names in a folder, sorted; "." and ".." left out.
std::vector<std::string> ListFolder(const std::string& path);

std::vector<uint8_t> ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool PathExists(const std::string& path);

// Path of a file of the shared picture corpus, or "" when the corpus is not
// beside this checkout (tests then skip themselves).
std::string CorpusPath(const std::string& relative);
std::string CorpusRoot();

// Paths of the corpus that the manifest lists under a folder prefix such as
// "png/", with the manifest's notes column.
struct CorpusEntry {
    std::string path;  // relative to the corpus root
    std::string format;
    int width = 0;
    int height = 0;
    std::string depthColour;
    std::string notes;
};
std::vector<CorpusEntry> CorpusManifest(const std::string& prefix);

// Largest single heap block asked for while `run` runs, on this thread or
// any other. Only builds with AddressSanitizer can watch the heap; in other
// builds the answer is empty and tests skip that check.
std::optional<std::size_t> LargestAllocationDuring(const std::function<void()>& run);

// What "a large allocation" means for refusing a crafted header early.
inline constexpr std::size_t kLargeAllocation = std::size_t{16} << 20;

// The rule for crafted headers, checked while `read` runs: no pixel store
// is made in `temp`, and no heap block reaches kLargeAllocation.
void ExpectNothingLargeMade(PrivateTempFolder& temp, const std::function<void()>& read);

}  // namespace tolvane::test
