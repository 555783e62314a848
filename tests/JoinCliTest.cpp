#include "CliRun.h"
#include "JpegBuilder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

using namespace twinframe::test;

namespace {

void writePair(const TempDir& dir, const std::string& left, const std::string& right) {
    writeBytes(dir / left, buildJpeg({.seed = 1}).bytes);
    writeBytes(dir / right, buildJpeg({.seed = 2}).bytes);
}

} // namespace

TEST(JoinCli, JoinsEachPairAndGoesOnAfterOneFails) {
    TempDir dir;
    std::filesystem::create_directory(dir / "x");
    writePair(dir, "x/a-L.jpg", "x/a-R.jpg");
    writePair(dir, "B-l.JPG", "B-r.JPG");
    writeBytes(dir / "c-L.jpg", buildJpeg({}).bytes);

    const CliRun run = runCli(dir, "--join x/a-L.jpg c-L.jpg B-l.JPG c-R.jpg");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "Pair: 1, x/a.mpo\nPair: 2, c.mpo\nPair: 3, B.mpo\nPairs joined: 2\n");
    EXPECT_EQ(run.err,
              "twinframe-cli: Cannot open c-R.jpg: No such file or directory\n"
              "twinframe-cli: c-R.jpg is not a left picture: its name must end in -L.jpg\n");
    EXPECT_EQ(dir.names(),
              (std::vector<std::string>{"B-l.JPG", "B-r.JPG", "B.mpo", "c-L.jpg", "x"}));
    EXPECT_TRUE(std::filesystem::exists(dir / "x" / "a.mpo"));

    const CliRun again = runCli(dir, "--join --quiet x/a-L.jpg");
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_EQ(again.out, "Pairs joined: 0\n");
    EXPECT_EQ(again.err, "twinframe-cli: Cannot write x/a.mpo: a file of that name exists\n");

    const CliRun named = runCli(dir, "--join --output 'my pair.MPO' x/a-L.jpg");
    EXPECT_EQ(named.exitCode, 0);
    EXPECT_EQ(named.out, "Pair: 1, my pair.MPO\nPairs joined: 1\n");
    EXPECT_EQ(readBytes(dir / "my pair.MPO"), readBytes(dir / "x" / "a.mpo"));
}

TEST(JoinCli, UsageErrorsExitWithTwo) {
    TempDir dir;
    writePair(dir, "a-L.jpg", "a-R.jpg");
    for (const char* arguments :
         {"--join --output o.mpo a-L.jpg a-L.jpg", "--output o.mpo a-L.jpg",
          "--join --speed-hack a-L.jpg", "--join", "--join a-L.jpg --output"}) {
        SCOPED_TRACE(arguments);
        const CliRun run = runCli(dir, arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("Try 'twinframe-cli --help'"), std::string::npos);
    }
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a-L.jpg", "a-R.jpg"}));
    EXPECT_NE(runCli(dir, "--help").out.find("--join"), std::string::npos);
}

// A stop signal ends a join after the pair being joined, with its own summary line.
TEST(JoinCli, StopSignalEndsTheJoinAfterTheCurrentPair) {
    for (const int signal : {SIGINT, SIGTERM}) {
        TempDir dir;
        for (const char* name : {"a", "b", "c"})
            writePair(dir, std::string(name) + "-L.jpg", std::string(name) + "-R.jpg");
        const CliRun run = runCliSignalled(dir, signal, "--join a-L.jpg b-L.jpg c-L.jpg");
        EXPECT_EQ(run.exitCode, 130);
        EXPECT_EQ(run.out, "Pair: 1, a.mpo\nPairs joined: 1\nStopped after pair 1 of 3\n");
        EXPECT_TRUE(std::filesystem::exists(dir / "a.mpo"));
        EXPECT_FALSE(std::filesystem::exists(dir / "b.mpo"));
    }
}

// The joined file is as private as its left picture.
TEST(JoinCli, OutputKeepsTheLeftPicturesPermissions) {
    TempDir dir;
    writePair(dir, "p-L.jpg", "p-R.jpg");
    ::chmod((dir / "p-L.jpg").c_str(), 0600);
    ::chmod((dir / "p-R.jpg").c_str(), 0644);
    EXPECT_EQ(runCli(dir, "--join p-L.jpg", "umask 022 &&").exitCode, 0);
    struct stat status {};
    ASSERT_EQ(::stat((dir / "p.mpo").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}
