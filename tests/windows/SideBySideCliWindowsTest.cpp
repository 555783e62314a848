// twinframe-cli.exe's side-by-side pictures with the names Windows gives: outside ASCII (run
// again under the ANSI code pages 1252 and 932, see tests/CMakeLists.txt) and past 260
// characters. Each name reaches the files the pictures are read from and written to whole.
#include "CliRun.h"
#include "StereoViews.h"

#include <gtest/gtest.h>

using namespace twinframe;
using namespace twinframe::test;

namespace {

// Makes the side-by-side picture of the pair NAME-L.jpg, NAME-R.jpg (NAME may hold folders, as
// given on the command line) and cuts it back into NAME.mpo, checking the pixels each way.
void sideBySideAndBack(const TempDir& dir, const std::string& name) {
    const StereoViews views;
    views.writePictures(dir, name);
    const CliRun run = runCli(dir, "--side-by-side '" + name + "-L.jpg'");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    // Named as given: the folder part with its own separator, the rest in UTF-8.
    EXPECT_EQ(run.out, "Pair: 1, " + name + ".jps\nPictures made side by side: 1\n");
    const auto [first, second] = halvesOf(dir / (name + ".jps"));
    EXPECT_TRUE(first == views.rightPixels); // cross-eyed: the right eye's picture first
    EXPECT_TRUE(second == views.leftPixels);

    const CliRun back = runCli(dir, "--from-side-by-side '" + name + ".jps'");
    EXPECT_EQ(back.exitCode, 0);
    EXPECT_EQ(back.err, "");
    EXPECT_EQ(back.out,
              "Picture: 1, " + name + ".mpo\nSide-by-side pictures joined into MPO files: 1\n");
    const auto [left, right] = viewsOf(dir / (name + ".mpo"));
    EXPECT_TRUE(left == views.leftPixels);
    EXPECT_TRUE(right == views.rightPixels);
}

} // namespace

TEST(SideBySideCliWindows, NonAsciiLatinNamesBothWays) {
    TempDir dir;
    sideBySideAndBack(dir, "Café 3D");
    std::filesystem::create_directory(dir / "Ærø");
    sideBySideAndBack(dir, "Ærø/Ødegård");
}

TEST(SideBySideCliWindows, UnicodeNamesBothWays) {
    TempDir dir;
    sideBySideAndBack(dir, "日本語");
    sideBySideAndBack(dir, "Ελλάδα 3D");
}

// Under Wine, which has no limit of its own, this shows that every file call of the side-by-side
// commands takes the whole path (see CliWindows.SplitsAFileWhosePathIsLongerThan260Characters).
TEST(SideBySideCliWindows, PathLongerThan260CharactersBothWays) {
    TempDir dir;
    std::string folder;
    for (char part = 'a'; part <= 'e'; ++part)
        folder += std::string(60, part) + "/";
    std::filesystem::create_directories(dir / folder);
    ASSERT_GT(utf8Text(dir / (folder + "long.jps")).size(), 300u);
    sideBySideAndBack(dir, folder + "long");
}
