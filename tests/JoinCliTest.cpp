#include "CliRun.h"
#include "JpegBuilder.h"
#include "SystemTexts.h"

#include <gtest/gtest.h>

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
              "twinframe-cli: Cannot open c-R.jpg: " + missingFileText() +
                  "\n"
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
