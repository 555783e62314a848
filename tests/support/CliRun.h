#pragma once

// Runs twinframe-cli as a user would. Each test target that includes this defines TWINFRAME_CLI,
// the path of the tool it tests.
#include "MpoBuilder.h"

#include <filesystem>
#include <string>

namespace twinframe::test {

struct CliRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline std::string fileText(const std::filesystem::path& path) {
    const Bytes bytes = readBytes(path);
    return {bytes.begin(), bytes.end()};
}

// Runs program in folder with the given arguments, quoted as for a POSIX shell ('my file.mpo'),
// its output caught in files. On POSIX systems a shell runs it, after the shell commands in
// before (each ending in "&&"); on Windows it is started directly, and before must be empty.
CliRun runProgram(const std::string& program, const TempDir& folder, const std::string& arguments,
                  const std::string& before = "");

#ifdef TWINFRAME_CLI
inline CliRun runCli(const TempDir& folder, const std::string& arguments,
                     const std::string& before = "") {
    return runProgram(TWINFRAME_CLI, folder, arguments, before);
}
#endif

} // namespace twinframe::test
