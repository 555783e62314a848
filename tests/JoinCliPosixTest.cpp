// A join stopped by a signal, and the joined file's mode bits: POSIX systems only.
#include "CliRun.h"
#include "CliRunPosix.h"
#include "JpegBuilder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

using namespace twinframe::test;

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

// The joined file holds both pictures: it gets only the permission bits both have, so neither
// picture can be read through it by anyone who could not read that picture, less the umask.
TEST(JoinCli, OutputGetsThePermissionsBothPicturesShare) {
    TempDir dir;
    const auto modeOf = [&](const std::string& name) {
        struct stat status {};
        return ::stat((dir / name).c_str(), &status) == 0 ? status.st_mode & 0777 : ~0u;
    };
    const auto joinWithModes = [&](const std::string& name, mode_t left, mode_t right,
                                   const std::string& umask) {
        writePair(dir, name + "-L.jpg", name + "-R.jpg");
        ::chmod((dir / (name + "-L.jpg")).c_str(), left);
        ::chmod((dir / (name + "-R.jpg")).c_str(), right);
        return runCli(dir, "--join " + name + "-L.jpg", "umask " + umask + " &&").exitCode;
    };
    EXPECT_EQ(joinWithModes("p", 0600, 0644, "022"), 0);
    EXPECT_EQ(modeOf("p.mpo"), 0600u);
    EXPECT_EQ(joinWithModes("q", 0644, 0600, "022"), 0); // the right's privacy counts as much
    EXPECT_EQ(modeOf("q.mpo"), 0600u);
    EXPECT_EQ(joinWithModes("r", 0664, 0646, "002"), 0);
    EXPECT_EQ(modeOf("r.mpo"), 0644u);
    EXPECT_EQ(joinWithModes("s", 0666, 0666, "027"), 0);
    EXPECT_EQ(modeOf("s.mpo"), 0640u);
}
