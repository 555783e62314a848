// twinframe-cli.exe's Unicode arguments and output.
#include "CliRun.h"
#include "MpoBuilder.h"

#include <gtest/gtest.h>

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
