#include "MpoBuilder.h"
#include "platform/failure.h"
#include "split/saveChunkCode.h"

#include <gtest/gtest.h>

using namespace twinframe;
using namespace twinframe::test;

namespace {

class SaveChunk : public ::testing::Test {
  protected:
    void SetUp() override {
        input = jpegLike(5000);
        writeBytes(dir / "in.mpo", input);
        ASSERT_FALSE(fileBuffer.fill(dir / "in.mpo"));
    }

    TempDir dir;
    Bytes input;
};

} // namespace

TEST_F(SaveChunk, WholeRangeCopiesTheFile) {
    ASSERT_FALSE(saveChunk(0, 4999, dir / "out.jpg"));
    EXPECT_EQ(readBytes(dir / "out.jpg"), input);
}

TEST_F(SaveChunk, InnerRangeIsExactAndInclusive) {
    ASSERT_FALSE(saveChunk(10, 20, dir / "out.jpg"));
    EXPECT_EQ(readBytes(dir / "out.jpg"), slice(input, 10, 20));
}

TEST_F(SaveChunk, EmptyOrReversedRangeCreatesNoFile) {
    EXPECT_FALSE(saveChunk(7, 7, dir / "a.jpg"));
    EXPECT_FALSE(saveChunk(9, 3, dir / "b.jpg"));
    EXPECT_EQ(dir.names(), std::vector<std::string>{"in.mpo"});
}

TEST_F(SaveChunk, ReplacesAnExistingFileWhole) {
    writeBytes(dir / "out.jpg", jpegLike(20'000, 0xE0, 9));
    ASSERT_FALSE(saveChunk(100, 199, dir / "out.jpg"));
    EXPECT_EQ(readBytes(dir / "out.jpg"), slice(input, 100, 199));
}

TEST_F(SaveChunk, FolderInTheWayFailsAndLeavesNothingBehind) {
    std::filesystem::create_directory(dir / "out.jpg");
    writeBytes(dir / "out.jpg" / "keep.txt", Bytes{1, 2, 3});
    const std::error_code error = saveChunk(0, 4999, dir / "out.jpg");
    EXPECT_EQ(error, std::errc::is_a_directory);
    EXPECT_EQ(describeFailure("Cannot write", "out.jpg", error),
              "Cannot write out.jpg: Is a directory");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"in.mpo", "out.jpg"}));
    EXPECT_EQ(readBytes(dir / "out.jpg" / "keep.txt"), (Bytes{1, 2, 3}));
}

TEST_F(SaveChunk, MissingFolderFails) {
    EXPECT_EQ(saveChunk(0, 10, dir / "gone" / "out.jpg"), std::errc::no_such_file_or_directory);
}

TEST_F(SaveChunk, RangeOutsideTheBufferIsRefused) {
    EXPECT_TRUE(saveChunk(0, 5000, dir / "out.jpg"));
    EXPECT_TRUE(saveChunk(-1, 10, dir / "out.jpg"));
    EXPECT_EQ(dir.names(), std::vector<std::string>{"in.mpo"});
}

TEST(FileBuffer, RefillTakesTheNewFileWhole) {
    TempDir dir;
    Bytes big = jpegLike(600'000, 0xE1, 1);
    placeSignature(big, 400'000);
    writeBytes(dir / "big", big);
    writeBytes(dir / "small", jpegLike(300, 0xE0, 2));
    ASSERT_FALSE(fileBuffer.fill(dir / "big"));
    EXPECT_EQ(fileBuffer.findImageStart(1), 400'000);
    ASSERT_FALSE(fileBuffer.fill(dir / "small"));
    EXPECT_EQ(fileBuffer.length(), 300);
    EXPECT_EQ(Bytes(fileBuffer.header().begin(), fileBuffer.header().end()),
              (Bytes{0xFF, 0xD8, 0xFF, 0xE0}));
    EXPECT_EQ(fileBuffer.findImageStart(1), 0);
}

// The file is read in blocks of 256 KiB: signatures across and beside every block boundary
// must be found exactly where they are.
TEST(FileBuffer, FindsSignaturesAcrossBlockBoundaries) {
    constexpr std::int64_t block = 256 * 1024;
    for (const std::int64_t at :
         {block - 4, block - 3, block - 2, block - 1, block, 3 * block - 2}) {
        TempDir dir;
        Bytes bytes = jpegLike(4 * block + 17);
        placeSignature(bytes, static_cast<std::size_t>(at), 0xE0);
        writeBytes(dir / "f", bytes);
        ASSERT_FALSE(fileBuffer.fill(dir / "f"));
        EXPECT_EQ(fileBuffer.findImageStart(1), at) << at;
        EXPECT_EQ(fileBuffer.findImageStart(at + 1), 0) << at;
        EXPECT_EQ(fileBuffer.findImageStart(1), at) << "searching back again, " << at;
        EXPECT_FALSE(fileBuffer.readError());
    }
}

TEST(FileBuffer, FileCutShortAfterOpeningIsAReadError) {
    TempDir dir;
    writeBytes(dir / "f", jpegLike(1'000'000));
    ASSERT_FALSE(fileBuffer.fill(dir / "f"));
    std::filesystem::resize_file(dir / "f", 300'000);
    EXPECT_EQ(fileBuffer.findImageStart(1), 0);
    EXPECT_EQ(fileBuffer.readError(), make_error_code(Refusal::inputChanged));
    EXPECT_EQ(saveChunk(0, 999'999, dir / "out.jpg"), make_error_code(Refusal::inputChanged));
    EXPECT_EQ(dir.names(), std::vector<std::string>{"f"});
}
