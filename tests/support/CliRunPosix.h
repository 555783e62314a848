#pragma once

// Runs twinframe-cli under POSIX signals and limits: a signal already waiting, a closed output,
// a limit set in the child. POSIX systems only.
#include "CliRun.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace twinframe::test {

#ifdef TWINFRAME_CLI
// Runs the tool with signal already waiting for it, as if it arrived during the first file (or
// pair): the shell sends it to itself while it is blocked, and it stays pending across the exec.
inline CliRun runCliSignalled(const TempDir& folder, int signal, const std::string& arguments) {
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, signal);
    sigset_t before;
    pthread_sigmask(SIG_BLOCK, &blocked, &before);
    const std::string name = signal == SIGINT ? "INT" : "TERM";
    CliRun run = runCli(folder, arguments, "kill -" + name + " $$ &&");
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    return run;
}

// In a forked child: becomes the tool, run in folder with arguments (not quoted: no shell);
// inChild runs just before the exec. Never returns: a failure ends the child with 127.
[[noreturn]] inline void execCliIn(const TempDir& folder, const std::vector<std::string>& arguments,
                                   const std::function<void()>& inChild = {}) {
    if (::chdir(folder.path().c_str()) != 0)
        ::_exit(127);
    if (inChild)
        inChild();
    std::vector<char*> argv{const_cast<char*>(TWINFRAME_CLI)};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(TWINFRAME_CLI, argv.data());
    ::_exit(127);
}

struct ChildEnd {
    bool exited = false; // ended by exit, not by a signal
    int exitCode = -1;
    int signal = 0; // the signal that ended it, if one did
    std::string err;
};

enum class Output { file, closedPipe };

// Runs the tool in folder with arguments (not quoted: no shell) and standard error to a file.
// Its standard output goes to a file too, or to a pipe whose reading end is already closed, so
// that its first write meets a closed output. inChild runs in the child just before the exec
// (to set a limit, say).
inline ChildEnd runCliDirect(const TempDir& folder, const std::vector<std::string>& arguments,
                             Output output, const std::function<void()>& inChild = {}) {
    const auto err = folder / ".err";
    int ends[2];
    if (::pipe(ends) != 0)
        return {};
    ::close(ends[0]); // before the fork, so that no process ever reads it
    const pid_t child = ::fork();
    if (child == 0) {
        if (output == Output::file)
            ends[1] = ::open((folder / ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(ends[1], STDOUT_FILENO);
        const int errFile = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(errFile, STDERR_FILENO);
        execCliIn(folder, arguments, inChild);
    }
    ::close(ends[1]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ChildEnd end;
    end.exited = WIFEXITED(status);
    end.exitCode = end.exited ? WEXITSTATUS(status) : -1;
    end.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    end.err = fileText(err);
    std::filesystem::remove(err);
    std::filesystem::remove(folder / ".out");
    return end;
}

#endif

} // namespace twinframe::test
