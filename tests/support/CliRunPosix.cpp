#include "CliRun.h"

#include <cstdlib>
#include <sys/wait.h>

namespace twinframe::test {

CliRun runProgram(const std::string& program, const TempDir& folder, const std::string& arguments,
                  const std::string& before) {
    const auto out = folder / ".out";
    const auto err = folder / ".err";
    const std::string command = "cd '" + folder.path().string() + "' && " + before + " exec '" +
                                program + "' " + arguments + " >'" + out.string() + "' 2>'" +
                                err.string() + "'";
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
