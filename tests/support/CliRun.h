#pragma once

// Runs twinframe-cli as a user would, from a shell. Header-only: each test target that includes
// it defines TWINFRAME_CLI, the path of the tool it tests.
#include "MpoBuilder.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/wait.h>

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

// Runs the command-line tool in folder with the given arguments (already shell-quoted), after
// the shell commands in before (each ending in "&&").
inline CliRun runCli(const TempDir& folder, const std::string& arguments,
                     const std::string& before = "") {
    const auto out = folder / ".out";
    const auto err = folder / ".err";
    const std::string command = "cd '" + folder.path().string() + "' && " + before +
                                " exec '" TWINFRAME_CLI "' " + arguments + " >'" + out.string() +
                                "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    CliRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = fileText(out);
    run.err = fileText(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return run;
}

} // namespace twinframe::test
