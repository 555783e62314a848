// twinframe-cli.exe's Unicode arguments and output.
#include "CliRun.h"
#include "JpegBuilder.h"
#include "MpoBuilder.h"

#include <gtest/gtest.h>

using namespace twinframe;
using namespace twinframe::test;

TEST(CliWindows, UnicodeArgumentsAndOutputAsUtf8) {
    TempDir dir;
    writeBytes(dir / "Café 3D.MPO", mpoWithImagesAt(10'000, {0, 5'000}));
    writeBytes(dir / "日本語.mpo", jpegLike(2'000, 0xE0));
    const CliRun run = runCli(dir, "--quiet 'Café 3D.MPO' 日本語.mpo");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "Files processed: 2\nTotal images: 2\n");
    EXPECT_EQ(run.err, "twinframe-cli: 日本語.mpo is not a valid MPO file\n");
    EXPECT_EQ(readBytes(dir / "Café 3D-R.jpg"),
              slice(mpoWithImagesAt(10'000, {0, 5'000}), 5'000, 9'999));
}

// A folder named outside ASCII: its name reaches the file system as the user typed it.
TEST(CliWindows, NonAsciiFolderIsJoined) {
    TempDir dir;
    std::filesystem::create_directory(dir / "Café");
    writeBytes(dir / "Café/pic-L.jpg", buildJpeg({.seed = 1}).bytes);
    writeBytes(dir / "Café/pic-R.jpg", buildJpeg({.seed = 2}).bytes);
    const CliRun run = runCli(dir, "--join Café");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out, "Pair: 1, Café\\pic.mpo\nPairs joined: 1\n");
    EXPECT_TRUE(std::filesystem::exists(dir / "Café/pic.mpo"));
}

// A file of one image split twice: the second run finds its copy there, by its own name.
TEST(CliWindows, NonAsciiOneImageSplitTwice) {
    TempDir dir;
    const Bytes single = jpegLike(2'000);
    writeBytes(dir / "Café.mpo", single);
    for (int round = 1; round <= 2; ++round) {
        const CliRun run = runCli(dir, "--quiet Café.mpo");
        EXPECT_EQ(run.exitCode, 0) << "round " << round;
        EXPECT_EQ(run.err, "") << "round " << round;
        EXPECT_EQ(run.out, "Files processed: 1\nTotal images: 1\n") << "round " << round;
    }
    EXPECT_EQ(readBytes(dir / "Café.jpg"), single);
}

// A path past Windows' old limit of 260 characters: the manifest declares the program aware of
// long paths, and every file call it makes is a wide one. (Under Wine, which has no such limit,
// this shows the calls take the whole path; the system's setting is a real Windows' matter.)
TEST(CliWindows, SplitsAFileWhosePathIsLongerThan260Characters) {
    TempDir dir;
    std::string folder;
    for (char part = 'a'; part <= 'e'; ++part)
        folder += std::string(60, part) + "/";
    std::filesystem::create_directories(dir / folder);
    const Bytes pair = mpoWithImagesAt(10'000, {0, 5'000});
    writeBytes(dir / (folder + "long.mpo"), pair);
    ASSERT_GT(utf8Text(dir / (folder + "long.mpo")).size(), 300u);
    const CliRun run = runCli(dir, "--quiet " + folder + "long.mpo");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(readBytes(dir / (folder + "long-L.jpg")), slice(pair, 0, 4'999));
    EXPECT_EQ(readBytes(dir / (folder + "long-R.jpg")), slice(pair, 5'000, 9'999));
}
