// Permissions, fifos, symbolic links and /dev/shm: POSIX systems only.
#include "MpoBuilder.h"
#include "platform/failure.h"
#include "split/saveChunkCode.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace twinframe;
using namespace twinframe::test;

TEST(SaveChunkPosix, NewFileGetsTheUsualPermissions) {
    TempDir dir;
    writeBytes(dir / "in.mpo", jpegLike(5000));
    ASSERT_FALSE(fileBuffer.fill(dir / "in.mpo"));
    const mode_t previous = ::umask(022);
    ASSERT_FALSE(saveChunk(0, 99, dir / "out.jpg"));
    ::umask(previous);
    struct stat status {};
    ASSERT_EQ(::stat((dir / "out.jpg").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0644u);
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

// Between file systems the kernel will not copy; the bytes must arrive all the same.
TEST(FileBuffer, CopiesBetweenFileSystems) {
    const std::filesystem::path shm = "/dev/shm";
    TempDir dir;
    struct stat shmStatus {
    }, dirStatus{};
    if (::stat(shm.c_str(), &shmStatus) != 0 || ::stat(dir.path().c_str(), &dirStatus) != 0 ||
        shmStatus.st_dev == dirStatus.st_dev)
        GTEST_SKIP() << "needs /dev/shm on a file system of its own";
    const auto input = shm / ("twinframe-test-" + std::to_string(::getpid()));
    const Bytes bytes = jpegLike(700'000);
    writeBytes(input, bytes);
    ASSERT_FALSE(fileBuffer.fill(input));
    std::filesystem::remove(input); // the open file stays readable
    ASSERT_FALSE(saveChunk(1, 650'000, dir / "out.jpg"));
    EXPECT_EQ(readBytes(dir / "out.jpg"), slice(bytes, 1, 650'000));
}
