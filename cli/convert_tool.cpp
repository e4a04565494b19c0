#include "cli/convert_tool.h"

#include <CLI/CLI.hpp>

#include <limits>
#include <ostream>
#include <thread>

#include "engine/convert.h"

namespace tolvane::cli {

namespace {

constexpr const char* kModes =
    "Modes:\n"
    "  tolvane-convert [OPTIONS] --to DEST SOURCE\n"
    "      convert SOURCE into the JPEG file DEST\n"
    "  tolvane-convert [OPTIONS] FILE...\n"
    "      write each FILE as JPEG under its own name into the output folder\n"
    "\n"
    "Exit status: 0 when everything converted, 2 on a usage error;\n"
    "with --to: 1 source missing, 3 not readable, 4 writing failed, 7 invalid settings;\n"
    "batch: 1 when any file failed.\n";

std::string UsageMessage(const std::string& what) {
    return std::string(kProgramName) + ": " + what + "\nRun with --help for more information.\n";
}

unsigned DefaultJobs() {
    unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

}  // namespace

ParseResult ParseCommandLine(int argc, const char* const* argv, std::ostream& out,
                             std::ostream& err) {
    Options options;
    options.jobs = DefaultJobs();
    std::string destination;
    std::string outputFolder;
    bool gray = false;

    CLI::App app{"Decodes picture files and writes them again as JPEG.", kProgramName};
    app.footer(kModes);
    app.set_version_flag("--version", TOLVANE_VERSION);
    app.failure_message(
        [](const CLI::App*, const CLI::Error& e) { return UsageMessage(e.what()); });

    // Validators' own descriptions are left out of the help: the texts say it.
    app.add_option("FILE", options.files, "pictures to convert (the one SOURCE with --to)")
        ->type_name("");
    CLI::Option* to = app.add_option("--to", destination, "convert one SOURCE into this JPEG file")
                          ->type_name("DEST");
    CLI::Option* output = app.add_option("-o,--output", outputFolder,
                                         "batch output folder, created if missing\n"
                                         "(default: the first FILE's folder + 缩小后图/)")
                              ->type_name("DIR")
                              ->excludes(to);
    app.add_option("-j,--jobs", options.jobs, "conversions at once (default: number of cores)")
        ->type_name("N")
        ->check(CLI::Range(1u, std::numeric_limits<unsigned>::max()).description(""))
        ->excludes(to);
    app.add_option("-q,--quality", options.settings.quality, "JPEG quality, 1 to 100")
        ->type_name("N")
        ->capture_default_str();
    app.add_flag("--gray", gray, "write grey JPEG files");
    app.add_option("--optimize", options.settings.optimize, "optimized Huffman tables")
        ->type_name("0|1")
        ->capture_default_str()
        ->check(CLI::Range(0, 1).description(""));
    app.add_option("--smoothing", options.settings.smoothing, "smoothing factor, 0 to 100")
        ->type_name("N")
        ->capture_default_str();

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version answer with 0; every refusal is a usage error.
        int status = app.exit(e, out, err);
        return {std::nullopt, status == 0 ? 0 : kExitUsage};
    }

    if (to->count() > 0) {
        if (options.files.size() != 1) {
            err << UsageMessage("--to takes exactly one SOURCE");
            return {std::nullopt, kExitUsage};
        }
        options.destination = destination;
    } else if (options.files.empty()) {
        err << UsageMessage("nothing to do: give FILE... or --to DEST SOURCE");
        return {std::nullopt, kExitUsage};
    }
    options.settings.grayscale = gray ? 1 : 0;
    if (output->count() > 0) {
        options.outputFolder = outputFolder;
    }
    return {std::move(options), 0};
}

std::string FileName(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string AutomaticOutputFolder(const std::string& firstFile) {
    size_t slash = firstFile.rfind('/');
    std::string folder = slash == std::string::npos ? "" : firstFile.substr(0, slash + 1);
    return folder + kAutomaticFolderName;
}

std::string DestinationIn(const std::string& folder, const std::string& name) {
    if (folder.empty() || folder.back() == '/') {
        return folder + name;
    }
    return folder + "/" + name;
}

std::string DescribeResult(int32_t code) {
    switch (code) {
        case kConvertOk:
            return "converted";
        case kConvertSourceMissing:
            return "source file not found";
        case kConvertNotReadable:
            return "not a readable picture (unknown format or damaged file)";
        case kConvertWriteFailed:
            return "could not write the JPEG file";
        case kConvertInvalidArguments:
            return "invalid settings (quality must be 1 to 100, smoothing 0 to 100)";
        default:
            return "unexpected result code " + std::to_string(code);
    }
}

std::string FailureLine(int32_t code, const std::string& source, const std::string& destination) {
    std::string line = std::string(kProgramName) + ": '" + source + "': " + DescribeResult(code);
    if (code == kConvertWriteFailed) {
        line += " '" + destination + "'";
    }
    return line;
}

int ExitStatusFor(int32_t code) {
    if (code == kConvertOk) {
        return 0;
    }
    // Exit statuses above 125 mean something else to the shell.
    return code < 0 && code >= -125 ? -code : 1;
}

}  // namespace tolvane::cli
