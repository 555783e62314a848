#include "MpoBuilder.h"
#include "failure.h"
#include "saveChunkCode.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

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

TEST_F(SaveChunk, NewFileGetsTheUsualPermissions) {
    const mode_t previous = ::umask(022);
    ASSERT_FALSE(saveChunk(0, 99, dir / "out.jpg"));
    ::umask(previous);
    struct stat status {};
    ASSERT_EQ(::stat((dir / "out.jpg").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
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

TEST(FileBuffer, RefusesWhatIsNotARegularFile) {
    TempDir dir;
    std::filesystem::create_directory(dir / "folder.mpo");
    ASSERT_EQ(::mkfifo((dir / "pipe.mpo").c_str(), 0644), 0);
    std::filesystem::create_symlink(dir / "nowhere", dir / "dangling.mpo");

    EXPECT_EQ(fileBuffer.fill(dir / "folder.mpo"), std::errc::is_a_directory);
    // Must return at once rather than wait for a writer.
    EXPECT_EQ(fileBuffer.fill(dir / "pipe.mpo"), make_error_code(Refusal::notRegularFile));
    EXPECT_EQ(fileBuffer.fill(dir / "dangling.mpo"), std::errc::no_such_file_or_directory);
    EXPECT_EQ(fileBuffer.length(), 0);
}

TEST(FileBuffer, RefillWithASmallerFileHoldsOnlyItsBytes) {
    TempDir dir;
    writeBytes(dir / "big", jpegLike(10'000, 0xE1, 1));
    writeBytes(dir / "small", jpegLike(300, 0xE1, 2));
    ASSERT_FALSE(fileBuffer.fill(dir / "big"));
    ASSERT_FALSE(fileBuffer.fill(dir / "small"));
    const auto bytes = fileBuffer.bytes();
    EXPECT_EQ(Bytes(bytes.begin(), bytes.end()), jpegLike(300, 0xE1, 2));
}
