#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tolvane::fuzz {

// The private folder of one fuzzing process. The readers take paths, so each
// input is written to a file here; the engine's scratch files go to a folder
// of their own (TMPDIR points at it), so a scratch file left behind shows.
class FuzzWorkspace {
  public:
    // Made on first use. Also caps file sizes at kFileSizeLimit, with
    // SIGXFSZ ignored, so that a header declaring a huge picture fails fast
    // at its pixel store instead of filling the disk.
    static FuzzWorkspace& Get();

    // Writes the input to the input file, `padTo` bytes long at least
    // (zeros after the data), and returns its path.
    const std::string& WriteInput(const uint8_t* data, std::size_t size, std::size_t padTo = 0);

    const std::string& Folder() const { return m_folder; }

    // Aborts when the scratch folder holds anything.
    void ExpectNoScratchLeft() const;

    static constexpr uint64_t kFileSizeLimit = 4ull << 20;

  private:
    FuzzWorkspace();

    std::string m_folder;
    std::string m_scratch;
    std::string m_input;
};

// A progress callback that aborts on a call no caller could make sense of.
void CheckProgress(int32_t direction, int32_t percent, int32_t row, int32_t reserved);

// Aborts with a message naming the broken expectation.
[[noreturn]] void Fail(const char* what);

}  // namespace tolvane::fuzz
