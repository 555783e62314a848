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

// A raw CSI byte (0x9B, a control on eight-bit terminals) and the bidirectional overrides and
// isolates, which would reorder the rest of the line, are escaped too; letters of other scripts,
// a right-to-left name and a stray Latin-1 letter stay as they are.
TEST(Cli, C1ControlsAndBidirectionalOverridesAreEscapedOnTheConsole) {
    TempDir dir;
    // U+202E RIGHT-TO-LEFT OVERRIDE, U+2066 LEFT-TO-RIGHT ISOLATE, U+2069 POP DIRECTIONAL
    // ISOLATE, U+202A LEFT-TO-RIGHT EMBEDDING; a raw 0x9B; U+0085 NEXT LINE; then text that
    // must pass: "é" (C3 A9), "Û" (C3 9B, whose second byte is 0x9B), Hebrew "shin", U+2070,
    // and a lone 0xE9 (Latin-1 "é").
    const std::string name = "a\xe2\x80\xaegpj\xe2\x81\xa6x\xe2\x81\xa9\xe2\x80\xaa\x9b[2J"
                             "\xc2\x85\xc3\xa9\xc3\x9b\xd7\xa9\xe2\x81\xb0\xe9.mpo";
    writeBytes(dir / name, jpegLike(2'000, 0xE0));
    const CliRun run = runCli(dir, std::string("--quiet ") +
                                       "\"$(printf 'a\\342\\200\\256gpj\\342\\201\\246x\\342\\201"
                                       "\\251\\342\\200\\252\\233[2J\\302\\205\\303\\251\\303\\233"
                                       "\\327\\251\\342\\201\\260\\351.mpo')\"");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "twinframe-cli: a\\xe2\\x80\\xaegpj\\xe2\\x81\\xa6x\\xe2\\x81\\xa9"
                       "\\xe2\\x80\\xaa\\x9b[2J\\xc2\\x85\xc3\xa9\xc3\x9b\xd7\xa9\xe2\x81\xb0"
                       "\xe9.mpo is not a valid MPO file\n");

    // The join's messages go through the same escaping.
    const std::string left = "\xe2\x80\xae-L.jpg";
    writeBytes(dir / left, jpegLike(2'000));
    const CliRun join = runCli(dir, "--join --quiet \"$(printf '\\342\\200\\256-L.jpg')\"");
    EXPECT_EQ(join.exitCode, 1);
    EXPECT_EQ(join.err, "twinframe-cli: \\xe2\\x80\\xae-L.jpg is not a valid JPEG file\n");
}
