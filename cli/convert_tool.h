#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace tolvane::cli {

inline constexpr const char* kProgramName = "tolvane-convert";
inline constexpr int kExitUsage = 2;
// The folder the window puts beside the first file ("reduced pictures").
inline constexpr const char* kAutomaticFolderName = "缩小后图/";

// The engine's settings, as ConvertImage takes them.
struct Settings {
    int32_t grayscale = 0;
    int32_t quality = 60;
    int32_t optimize = 1;
    int32_t smoothing = 0;
};

struct Options {
    Settings settings;
    // The one SOURCE with --to, else the batch's FILEs in the order given.
    std::vector<std::string> files;
    std::optional<std::string> destination;   // --to: single mode
    std::optional<std::string> outputFolder;  // -o: batch mode
    unsigned jobs = 1;
};

// Options to run with, or the exit status when the command line was already
// answered (help, version) or refused (usage error).
struct ParseResult {
    std::optional<Options> options;
    int exitStatus = 0;
};

// Help and version go to `out`, usage errors to `err`.
ParseResult ParseCommandLine(int argc, const char* const* argv, std::ostream& out,
                             std::ostream& err);

// The part of the path after its last "/"; the whole path when it has none.
std::string FileName(const std::string& path);

// The window's rule: the folder of the first file, its trailing "/" kept (""
// when it has none), followed by the automatic folder's name.
std::string AutomaticOutputFolder(const std::string& firstFile);

// The folder, a "/" when it is not empty and lacks one, then the name.
std::string DestinationIn(const std::string& folder, const std::string& name);

// A result code of ConvertImage in words.
std::string DescribeResult(int32_t code);

// One line (no newline) on a failed conversion, naming the file at fault.
std::string FailureLine(int32_t code, const std::string& source, const std::string& destination);

// 0 for success, else the code's magnitude, so scripts can tell reasons apart.
int ExitStatusFor(int32_t code);

}  // namespace tolvane::cli
