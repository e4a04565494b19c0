#include "cli/run.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <functional>
#include <iostream>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <vector>

#include "engine/convert.h"

namespace tolvane::cli {

namespace {

int32_t Convert(const std::string& source, const std::string& destination,
                const Settings& settings) {
    return ConvertImage(source.c_str(), destination.c_str(), settings.grayscale, settings.quality,
                        settings.optimize, settings.smoothing);
}

uint64_t FileSize(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<uint64_t>(st.st_size) : 0;
}

// One level only, as the window does; an existing folder is fine.
bool MakeOutputFolder(const std::string& folder, std::string& reason) {
    if (folder.empty()) {
        return true;  // the current folder
    }
    int error = mkdir(folder.c_str(), 0777) == 0 ? 0 : errno;
    struct stat st;
    if (stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        return true;
    }
    reason = error == EEXIST || error == 0 ? "exists and is not a folder"
                                           : std::generic_category().message(error);
    return false;
}

// A bar redrawn in place on stderr; only worth it when a person watches.
class ProgressBar {
  public:
    explicit ProgressBar(size_t total) : m_total(total), m_shown(isatty(STDERR_FILENO) == 1) {
        Draw();
    }

    void Advance() {
        std::lock_guard lock(m_mutex);
        ++m_done;
        Draw();
    }

    void Clear() {
        if (m_shown) {
            std::cerr << "\r\x1b[K" << std::flush;
        }
    }

  private:
    static constexpr size_t kWidth = 30;

    void Draw() {
        if (!m_shown || m_total == 0) {
            return;
        }
        size_t filled = m_done * kWidth / m_total;
        std::cerr << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, '-') << "] "
                  << m_done << '/' << m_total << std::flush;
    }

    std::mutex m_mutex;
    size_t m_total;
    size_t m_done = 0;
    bool m_shown;
};

// Runs work(0) .. work(count - 1) on up to `workers` threads, the calling one
// included; a worker takes the next index as soon as it is free.
void RunPool(size_t count, unsigned workers, const std::function<void(size_t)>& work) {
    std::atomic<size_t> next{0};
    auto loop = [&] {
        for (size_t i = next++; i < count; i = next++) {
            work(i);
        }
    };
    std::vector<std::jthread> threads;
    for (unsigned w = 1; w < workers && w < count; ++w) {
        try {
            threads.emplace_back(loop);
        } catch (const std::system_error&) {
            break;  // fewer threads still get through every index
        }
    }
    loop();
}

struct Item {
    std::string source;
    std::string destination;
    bool skipped = false;
    int32_t result = 0;
    uint64_t bytesBefore = 0;
    uint64_t bytesAfter = 0;
};

}  // namespace

int RunSingle(const Options& options) {
    const std::string& source = options.files.front();
    int32_t result = Convert(source, *options.destination, options.settings);
    if (result != kConvertOk) {
        std::cerr << FailureLine(result, source, *options.destination) << '\n';
    }
    return ExitStatusFor(result);
}

int RunBatch(const Options& options) {
    std::string folder =
        options.outputFolder.value_or(AutomaticOutputFolder(options.files.front()));
    std::string reason;
    if (!MakeOutputFolder(folder, reason)) {
        std::cerr << kProgramName << ": cannot create output folder '" << folder << "': " << reason
                  << '\n';
        return 1;
    }

    std::vector<Item> items(options.files.size());
    std::unordered_map<std::string, size_t> lastWriter;
    for (size_t i = 0; i < items.size(); ++i) {
        items[i].source = options.files[i];
        items[i].destination = DestinationIn(folder, FileName(options.files[i]));
        lastWriter[items[i].destination] = i;
    }
    // Files of the same name would overwrite each other in an order the
    // threads pick; the later one on the command line wins, as in the window.
    std::vector<size_t> work;
    for (size_t i = 0; i < items.size(); ++i) {
        size_t last = lastWriter[items[i].destination];
        if (last != i) {
            items[i].skipped = true;
            std::cerr << kProgramName << ": '" << items[i].source << "' skipped: '"
                      << items[last].source << "' is written to the same '" << items[i].destination
                      << "'\n";
        } else {
            work.push_back(i);
        }
    }

    ProgressBar progress(work.size());
    RunPool(work.size(), options.jobs, [&](size_t k) {
        Item& item = items[work[k]];
        item.bytesBefore = FileSize(item.source);
        item.result = Convert(item.source, item.destination, options.settings);
        if (item.result == kConvertOk) {
            item.bytesAfter = FileSize(item.destination);
        }
        progress.Advance();
    });
    progress.Clear();

    size_t converted = 0;
    size_t failed = 0;
    uint64_t before = 0;
    uint64_t after = 0;
    for (const Item& item : items) {
        if (item.skipped) {
            continue;
        }
        if (item.result == kConvertOk) {
            ++converted;
            before += item.bytesBefore;
            after += item.bytesAfter;
        } else {
            ++failed;
            std::cerr << FailureLine(item.result, item.source, item.destination) << '\n';
        }
    }
    std::cout << "files converted: " << converted << ", failed: " << failed
              << ", skipped: " << items.size() - converted - failed << "; bytes before: " << before
              << ", after: " << after << '\n';
    return failed == 0 ? 0 : 1;
}

}  // namespace tolvane::cli
