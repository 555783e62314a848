// Signals, limits, a closed output and names no Windows file can have: POSIX systems only.
#include "CliRunPosix.h"
#include "MpoBuilder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace twinframe::test;

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

// twinframe-cli ... | head -3: the closed pipe ends the batch after the file being split, never
// between a -L and its -R, and nothing more is written.
TEST(Cli, ClosedOutputStopsAfterTheCurrentFileWithExit141) {
    TempDir dir;
    for (const char* name : {"a.mpo", "b.mpo", "c.mpo"})
        writeBytes(dir / name, mpoWithImagesAt(10'000, {0, 5'000}));
    const ChildEnd end = runCliDirect(dir, {"a.mpo", "b.mpo", "c.mpo"}, Output::closedPipe);
    EXPECT_TRUE(end.exited) << "killed by signal " << end.signal;
    EXPECT_EQ(end.exitCode, 141);
    EXPECT_EQ(end.err, "");
    EXPECT_EQ(dir.names(),
              (std::vector<std::string>{"a-L.jpg", "a-R.jpg", "a.mpo", "b.mpo", "c.mpo"}));

    // With --quiet the summary is the first write.
    const ChildEnd quiet = runCliDirect(dir, {"--quiet", "b.mpo"}, Output::closedPipe);
    EXPECT_TRUE(quiet.exited);
    EXPECT_EQ(quiet.exitCode, 141);
    EXPECT_TRUE(std::filesystem::exists(dir / "b-R.jpg"));
}

// Under ulimit -f the write fails with "File too large" and is reported; nothing is killed.
TEST(Cli, FileSizeLimitIsAWriteFailureNamingTheFile) {
    TempDir dir;
    writeBytes(dir / "big.mpo", mpoWithImagesAt(1'400'000, {0, 700'000}));
    writeBytes(dir / "small.mpo", mpoWithImagesAt(10'000, {0, 5'000}));
    const ChildEnd end = runCliDirect(dir, {"--quiet", "big.mpo", "small.mpo"}, Output::file, [] {
        const struct rlimit limit { 600'000, 600'000 };
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    EXPECT_TRUE(end.exited) << "killed by signal " << end.signal;
    EXPECT_EQ(end.exitCode, 1);
    EXPECT_EQ(end.err, "twinframe-cli: Cannot write big-L.jpg: File too large\n");
    EXPECT_EQ(dir.names(),
              (std::vector<std::string>{"big.mpo", "small-L.jpg", "small-R.jpg", "small.mpo"}));
}

// A name can hold a newline or an escape sequence; on the console it cannot forge a line.
TEST(Cli, ControlCharactersInNamesAreEscapedOnTheConsoleOnly) {
    TempDir dir;
    const std::string evil = "evil\ntwinframe-cli: Files processed: 0\x1b[2K\x7f\xc2\x9b.mpo";
    writeBytes(dir / evil, jpegLike(2'000, 0xE0));
    writeBytes(dir / "tab\t.mpo", jpegLike(2'000));
    const std::string evilArgument = "\"$(printf 'evil\\ntwinframe-cli: Files processed: "
                                     "0\\033[2K\\177\\302\\233.mpo')\"";
    const CliRun run = runCli(dir, "--quiet " + evilArgument + " 'tab\t.mpo'");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "twinframe-cli: evil\\ntwinframe-cli: Files processed: "
                       "0\\x1b[2K\\x7f\\xc2\\x9b.mpo is not a valid MPO file\n");
    EXPECT_EQ(run.out, "Files processed: 2\nTotal images: 1\n");
    EXPECT_TRUE(std::filesystem::exists(dir / "tab\t.jpg")); // the file keeps its real name

    const CliRun missing = runCli(dir, "'gone\r.mpo'");
    EXPECT_EQ(missing.err, "twinframe-cli: Cannot open gone\\r.mpo: No such file or directory\n");
}
