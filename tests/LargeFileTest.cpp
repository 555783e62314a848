#include "MpoBuilder.h"
#include "split/runBatch.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

using namespace twinframe;
using namespace twinframe::test;

namespace {

// Compares a whole file with bytes first.. of another, a block at a time.
bool sameBytes(const std::filesystem::path& output, const std::filesystem::path& input,
               std::int64_t first) {
    const int a = ::open(output.c_str(), O_RDONLY);
    const int b = ::open(input.c_str(), O_RDONLY);
    std::vector<char> x(1 << 20), y(1 << 20);
    std::int64_t offset = 0;
    bool same = a >= 0 && b >= 0;
    while (same) {
        const ssize_t n = ::pread(a, x.data(), x.size(), offset);
        if (n <= 0)
            break;
        same = ::pread(b, y.data(), static_cast<std::size_t>(n), first + offset) == n &&
               std::equal(x.begin(), x.begin() + n, y.begin());
        offset += n;
    }
    ::close(a);
    ::close(b);
    return same;
}

} // namespace

// Offsets past 2 GiB do not fit the 32 bits the format's own tools often use; the split must
// still cut exactly where the second image starts.
TEST(LargeFile, SplitsAStereoFileOfTwoGibPlusOneByte) {
    TempDir dir;
    struct statvfs space {};
    ASSERT_EQ(::statvfs(dir.path().c_str(), &space), 0);
    if (static_cast<double>(space.f_bavail) * static_cast<double>(space.f_frsize) < 5e9)
        GTEST_SKIP() << "needs 5 GB of free disk for the outputs";

    constexpr std::int64_t length = (std::int64_t{1} << 31) + 1;
    constexpr std::int64_t second = (std::int64_t{1} << 30) + 5;
    const auto input = dir / "huge.mpo";
    {
        Bytes head = jpegLike(4096);
        Bytes start = jpegLike(4096, 0xE0, 2);
        const int fd = ::open(input.c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, length), 0); // the rest stays a hole: zeros on disk for free
        ASSERT_EQ(::pwrite(fd, head.data(), head.size(), 0), 4096);
        ASSERT_EQ(::pwrite(fd, start.data(), start.size(), second), 4096);
        ASSERT_EQ(::close(fd), 0);
    }

    RecordingReporter reporter;
    const std::vector<FileEntry> list = {{"huge.mpo", true}};
    const BatchResult result = runBatch(
        list, dir.path(), [] { return false; }, reporter);

    EXPECT_TRUE(reporter.messages.empty()) << reporter.messages.front();
    EXPECT_EQ(result.totalImages, 2);
    EXPECT_EQ(std::filesystem::file_size(dir / "huge-L.jpg"), static_cast<std::uintmax_t>(second));
    EXPECT_EQ(std::filesystem::file_size(dir / "huge-R.jpg"),
              static_cast<std::uintmax_t>(length - second));
    EXPECT_TRUE(sameBytes(dir / "huge-L.jpg", input, 0));
    EXPECT_TRUE(sameBytes(dir / "huge-R.jpg", input, second));
}
