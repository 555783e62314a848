#pragma once

#include <string>
#include <vector>

namespace twinframe {

// twinframe-cli itself, whatever the platform: arguments (the program's name first) as UTF-8,
// output on std::cout and std::cerr as UTF-8. Returns the exit status.
int runCommandLine(const std::vector<std::string>& arguments);

} // namespace twinframe
