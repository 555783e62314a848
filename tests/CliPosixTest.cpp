// SIGINT and SIGTERM: POSIX systems only.
#include "CliRun.h"
#include "MpoBuilder.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace twinframe::test;

namespace {

// Runs the tool with signal already waiting for it, as if it arrived during the first file: the
// shell sends it to itself while it is blocked, and it stays pending across the exec.
CliRun runCliSignalled(const TempDir& folder, int signal, const std::string& arguments) {
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

} // namespace

TEST(Cli, StopSignalEndsTheBatchAfterTheCurrentFile) {
    for (const int signal : {SIGINT, SIGTERM}) {
        TempDir dir;
        for (const char* name : {"a.mpo", "b.mpo", "c.mpo"})
            writeBytes(dir / name, mpoWithImagesAt(10'000, {0, 5'000}));
        const CliRun run = runCliSignalled(dir, signal, "--quiet a.mpo b.mpo c.mpo");
        EXPECT_EQ(run.exitCode, 130);
        EXPECT_EQ(run.out, "Files processed: 1\nTotal images: 2\nStopped after file 1 of 3\n");
        EXPECT_EQ(dir.names(),
                  (std::vector<std::string>{"a-L.jpg", "a-R.jpg", "a.mpo", "b.mpo", "c.mpo"}));
    }
}
