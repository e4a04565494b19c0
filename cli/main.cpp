#include <exception>
#include <iostream>

#include "cli/convert_tool.h"
#include "cli/run.h"

int main(int argc, char** argv) {
    using namespace tolvane::cli;
    try {
        ParseResult parsed = ParseCommandLine(argc, argv, std::cout, std::cerr);
        if (!parsed.options) {
            return parsed.exitStatus;
        }
        return parsed.options->destination ? RunSingle(*parsed.options) : RunBatch(*parsed.options);
    } catch (const std::exception& e) {
        std::cerr << kProgramName << ": " << e.what() << '\n';
    } catch (...) {
        std::cerr << kProgramName << ": unexpected failure\n";
    }
    return 1;
}
