#pragma once

#include "cli/convert_tool.h"

namespace tolvane::cli {

// One ConvertImage call; returns the exit status.
int RunSingle(const Options& options);

// Every FILE into the output folder, `options.jobs` at a time; returns 0 when
// all converted, 1 otherwise.
int RunBatch(const Options& options);

}  // namespace tolvane::cli
