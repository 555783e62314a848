#include "CliRun.h"
#include "JpegBuilder.h"
#include "SystemTexts.h"

#include <gtest/gtest.h>

using namespace twinframe::test;

TEST(JoinCli, JoinsEachPairAndGoesOnAfterOneFails) {
    TempDir dir;
    std::filesystem::create_directory(dir / "x");
    writePair(dir, "x/a-L.jpg", "x/a-R.jpg");
    writePair(dir, "B-l.JPG", "B-r.JPG");
    writeBytes(dir / "c-L.jpg", buildJpeg({}).bytes);

    const CliRun run = runCli(dir, "--join x/a-L.jpg c-L.jpg d-R.jpg B-l.JPG");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "Pair: 1, x/a.mpo\nPair: 2, c.mpo\nPair: 3, B.mpo\nPairs joined: 2\n");
    EXPECT_EQ(run.err,
              "twinframe-cli: Cannot open c-R.jpg: " + missingFileText() +
                  "\n"
                  "twinframe-cli: d-R.jpg is not a left picture: its name must end in -L.jpg\n");
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
          "--join --output o.mpo --output p.mpo a-L.jpg",
          "--join --output=o.mpo --output p a-L.jpg", "--join --speed-hack a-L.jpg", "--join",
          "--join a-L.jpg --output"}) {
        SCOPED_TRACE(arguments);
        const CliRun run = runCli(dir, arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("Try 'twinframe-cli --help'"), std::string::npos);
    }
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a-L.jpg", "a-R.jpg"}));
    EXPECT_NE(runCli(dir, "--help").out.find("--join"), std::string::npos);
}

// What a photographer types: a glob that names both pictures of each pair, .jpeg pictures, and
// a folder of pairs.
TEST(JoinCli, TakesAGlobOfBothPicturesJpegNamesAndFolders) {
    TempDir dir;
    writePair(dir, "a-L.jpg", "a-R.jpg");
    writePair(dir, "b-L.jpeg", "b-R.jpeg");
    writePair(dir, "C-l.JPEG", "C-r.JPEG");
    // Globs that name each picture once where names match in any case too (Windows).
    const CliRun glob = runCli(dir, "--join *.jpg b-*.jpeg C-*.JPEG");
    EXPECT_EQ(glob.exitCode, 0) << glob.err;
    EXPECT_EQ(glob.out, "Pair: 1, a.mpo\nPair: 2, b.mpo\nPair: 3, C.mpo\nPairs joined: 3\n");
    EXPECT_EQ(glob.err, "");
    for (const char* name : {"a.mpo", "b.mpo", "C.mpo"})
        EXPECT_TRUE(std::filesystem::exists(dir / name)) << name;

    // A right alone is still no left picture; its pair's number is not taken.
    writeBytes(dir / "lone-R.jpg", buildJpeg({}).bytes);
    writePair(dir, "d-L.jpg", "d-R.jpg");
    const CliRun lone = runCli(dir, "--join lone-R.jpg d-R.jpg d-L.jpg");
    EXPECT_EQ(lone.exitCode, 1);
    EXPECT_EQ(lone.out, "Pair: 1, d.mpo\nPairs joined: 1\n");
    EXPECT_EQ(lone.err,
              "twinframe-cli: lone-R.jpg is not a left picture: its name must end in -L.jpg\n");

    // One pair named by both its pictures may have its output named.
    writePair(dir, "e-L.jpg", "e-R.jpg");
    const CliRun named = runCli(dir, "--join --quiet --output pair.mpo e-*.jpg");
    EXPECT_EQ(named.exitCode, 0) << named.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "pair.mpo"));

    std::filesystem::create_directories(dir / "trip" / "empty");
    writePair(dir, "trip/z-L.jpg", "trip/z-R.jpg");
    writePair(dir, "trip/m-L.jpg", "trip/m-R.jpg");
    writePair(dir, "trip/.hidden-L.jpg", "trip/.hidden-R.jpg");
    const CliRun folder = runCli(dir, "--join trip trip/empty");
    EXPECT_EQ(folder.exitCode, 1);
    // Outputs found in a folder are named with the system's separator.
    const auto inTrip = [](const char* leaf) {
        return twinframe::utf8Text(std::filesystem::path("trip") / leaf);
    };
    EXPECT_EQ(folder.out, "Pair: 1, " + inTrip("m.mpo") + "\nPair: 2, " + inTrip("z.mpo") +
                              "\nPairs joined: 2\n");
    EXPECT_EQ(folder.err, "twinframe-cli: trip/empty holds no pictures to join: no name in it "
                          "ends in -L.jpg\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "trip" / ".hidden.mpo"));
}
