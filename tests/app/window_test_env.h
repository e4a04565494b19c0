#pragma once

#include <string>

namespace tolvane::test {

// The desktop folder that the window tests' environment points Qt at.
const std::string& TestDesktop();

}  // namespace tolvane::test
