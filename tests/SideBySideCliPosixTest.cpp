// Side-by-side pictures stopped by a signal, and their outputs' mode bits: POSIX systems only.
#include "CliRun.h"
#include "CliRunPosix.h"
#include "StereoViews.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

using namespace twinframe::test;

// A stop signal ends either batch after the input being worked on, with its own summary line.
TEST(SideBySideCli, StopSignalEndsTheBatchAfterTheCurrentInput) {
    const StereoViews views;
    for (const int signal : {SIGINT, SIGTERM}) {
        TempDir dir;
        for (const char* name : {"a", "b", "c"})
            writeBytes(dir / (std::string(name) + ".mpo"), views.mpo());
        const CliRun made = runCliSignalled(dir, signal, "--side-by-side a.mpo b.mpo c.mpo");
        EXPECT_EQ(made.exitCode, 130);
        EXPECT_EQ(made.out,
                  "Pair: 1, a.jps\nPictures made side by side: 1\nStopped after pair 1 of 3\n");
        EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.jps", "a.mpo", "b.mpo", "c.mpo"}));

        std::filesystem::rename(dir / "a.mpo", dir / "a.bak");
        std::filesystem::copy_file(dir / "a.jps", dir / "b.jps");
        const CliRun back = runCliSignalled(dir, signal, "--from-side-by-side a.jps b.jps");
        EXPECT_EQ(back.exitCode, 130);
        EXPECT_EQ(back.out, "Picture: 1, a.mpo\nSide-by-side pictures joined into MPO files: 1\n"
                            "Stopped after picture 1 of 2\n");
        EXPECT_TRUE(viewsOf(dir / "a.mpo").first == views.leftPixels);
    }
}

// An output holds its inputs' pictures: it gets only the permission bits they all have, less
// the umask, so that no picture can be read through it by anyone who could not read the picture.
TEST(SideBySideCli, OutputsGetThePermissionsTheirInputsShare) {
    TempDir dir;
    const StereoViews views;
    const auto modeOf = [&](const std::string& name) {
        struct stat status {};
        return ::stat((dir / name).c_str(), &status) == 0 ? status.st_mode & 0777 : ~0u;
    };
    views.writePictures(dir, "p");
    ::chmod((dir / "p-L.jpg").c_str(), 0644);
    ::chmod((dir / "p-R.jpg").c_str(), 0600);
    writeBytes(dir / "q.mpo", views.mpo());
    ::chmod((dir / "q.mpo").c_str(), 0664);
    EXPECT_EQ(runCli(dir, "--side-by-side p-L.jpg q.mpo", "umask 022 &&").exitCode, 0);
    EXPECT_EQ(modeOf("p.jps"), 0600u);
    EXPECT_EQ(modeOf("q.jps"), 0644u);

    ::chmod((dir / "p.jps").c_str(), 0640);
    EXPECT_EQ(runCli(dir, "--from-side-by-side p.jps", "umask 002 &&").exitCode, 0);
    EXPECT_EQ(modeOf("p.mpo"), 0640u);
}
