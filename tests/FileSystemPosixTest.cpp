// Unnamed temporaries (O_TMPFILE) and a process killed by a signal: POSIX systems only.
#include "MpoBuilder.h"
#include "WriteNoting.h"
#include "platform/fileSystem.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace twinframe;
using namespace twinframe::test;

namespace {

// Whether the folder's file system gives unnamed files at all (tmpfs and ext4 do, vfat does not).
bool hasUnnamedFiles(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace

TEST(WriteFileAtomically, UnnamedTemporaryIsNotInTheFolderWhileWritten) {
    TempDir dir;
    if (!hasUnnamedFiles(dir.path()))
        GTEST_SKIP() << "no O_TMPFILE on this file system";
    writeBytes(dir / "old.jpg", jpegLike(900));
    Names seen;
    ASSERT_FALSE(
        writeNoting(dir / "a.jpg", jpegLike(500), TemporaryKind::unnamedWherePossible, dir, seen));
    EXPECT_EQ(seen, Names{"old.jpg"});
}

TEST(WriteFileAtomically, ProcessKilledWhileWritingLeavesNothing) {
    TempDir dir;
    if (!hasUnnamedFiles(dir.path()))
        GTEST_SKIP() << "no O_TMPFILE on this file system";
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        (void)writeFileAtomically(dir / "a.jpg", [](NativeFile file) {
            (void)writeAll(file, reinterpret_cast<const std::uint8_t*>("half an image"), 13);
            ::raise(SIGKILL);
            return std::error_code{};
        });
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_TRUE(dir.names().empty());
}
