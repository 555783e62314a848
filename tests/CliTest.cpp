#include "CliRun.h"
#include "MpoBuilder.h"

#include <gtest/gtest.h>

using namespace twinframe::test;

TEST(Cli, SplitsFilesInDifferentFoldersAsOneBatch) {
    TempDir dir;
    std::filesystem::create_directory(dir / "x");
    const Bytes pair = mpoWithImagesAt(10'000, {0, 5'000});
    writeBytes(dir / "x" / "a.MPO", pair);
    writeBytes(dir / "b.mpo", jpegLike(2'000));

    const CliRun run = runCli(dir, "x/a.MPO b.mpo");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "File: 1\nFile: 1, Image: 1\nFile: 1, Image: 2\nFile: 2\n"
                       "File: 2, Image: 1\nFiles processed: 2\nTotal images: 3\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(readBytes(dir / "x" / "a-R.jpg"), slice(pair, 5'000, 9'999));
    EXPECT_EQ(readBytes(dir / "b.jpg"), jpegLike(2'000));
}

TEST(Cli, MessagesGoToStderrAndSetTheExitStatus) {
    TempDir dir;
    writeBytes(dir / "bad.mpo", jpegLike(2'000, 0xE0));
    writeBytes(dir / "good.mpo", jpegLike(2'000));
    const CliRun run = runCli(dir, "--quiet bad.mpo missing.mpo good.mpo");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "Files processed: 3\nTotal images: 1\n");
    EXPECT_EQ(run.err, "twinframe-cli: Cannot open missing.mpo: No such file or directory\n"
                       "twinframe-cli: bad.mpo is not a valid MPO file\n");
    EXPECT_TRUE(std::filesystem::exists(dir / "good.jpg"));
}

TEST(Cli, SpeedHackOptionCarriesTheSearchStart) {
    TempDir dir;
    writeBytes(dir / "a.mpo", mpoWithImagesAt(6'000, {0, 3'000}));
    writeBytes(dir / "b.mpo", jpegLike(2'100));
    EXPECT_EQ(runCli(dir, "--quiet a.mpo b.mpo").exitCode, 0);
    const CliRun run = runCli(dir, "--speed-hack --quiet a.mpo b.mpo");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "twinframe-cli: b.mpo too small to be a valid file\n");
}

TEST(Cli, NamesArgumentsTheBatchWouldPassOver) {
    TempDir dir;
    std::filesystem::create_directory(dir / "folder.mpo");
    writeBytes(dir / ".hidden.mpo", mpoWithImagesAt(6'000, {0, 3'000}));
    const CliRun run = runCli(dir, "folder.mpo .hidden.mpo");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "twinframe-cli: Cannot open folder.mpo: Not a regular file\n"
                       "twinframe-cli: Cannot open .hidden.mpo: hidden files are passed over\n");
    EXPECT_EQ(run.out, "File: 1\nFile: 2\nFiles processed: 2\nTotal images: 0\n");
}

TEST(Cli, UsageErrorsHelpAndVersion) {
    TempDir dir;
    EXPECT_EQ(runCli(dir, "").exitCode, 2);
    const CliRun unknown = runCli(dir, "--fast a.mpo");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("unknown option '--fast'"), std::string::npos);

    const CliRun help = runCli(dir, "--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("Usage: twinframe-cli [--speed-hack] [--quiet] FILE..."),
              std::string::npos);
    EXPECT_EQ(runCli(dir, "--version").out, "twinframe-cli 1.00\n");

    // After "--", a name that looks like an option is a file.
    writeBytes(dir / "--quiet", jpegLike(2'000));
    const CliRun dashed = runCli(dir, "-- --quiet");
    EXPECT_EQ(dashed.exitCode, 0);
    EXPECT_TRUE(std::filesystem::exists(dir / "--q.jpg"));
}
