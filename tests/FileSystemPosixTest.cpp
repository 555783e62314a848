// Unnamed temporaries (O_TMPFILE), processes killed by a signal and the umask: POSIX systems only.
#include "MpoBuilder.h"
#include "WriteNoting.h"
#include "fileSystem.h"
#include "saveChunkCode.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <sys/stat.h>
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

namespace {

namespace fs = std::filesystem;

const TemporaryKind bothKinds[] = {TemporaryKind::unnamedWherePossible, TemporaryKind::named};

// A process that writes target with a named temporary, as on a FAT card, and is held while
// writing until it is killed. Returns once the temporary is there.
pid_t startHeldWriter(const fs::path& target) {
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(ready[0]);
        (void)writeFileAtomically(
            target,
            [&](NativeFile file) {
                (void)writeAll(file, reinterpret_cast<const std::uint8_t*>("half"), 4);
                (void)::write(ready[1], "x", 1);
                ::pause();
                return std::error_code{};
            },
            nullptr, TemporaryKind::named);
        ::_exit(0);
    }
    ::close(ready[1]);
    char byte = 0;
    (void)::read(ready[0], &byte, 1);
    ::close(ready[0]);
    return child;
}

void killAndReap(pid_t child) {
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
}

} // namespace

// The next run writing to the folder removes a killed writer's temporary, and never one that a
// running Twinframe is still writing.
TEST(AbandonedTemporaries, KilledWritersAreRemovedLiveOnesKept) {
    TempDir dir;
    const pid_t killed = startHeldWriter(dir / "a-L.jpg");
    ASSERT_GT(killed, 0);
    killAndReap(killed);
    const Names left = dir.names();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(writerOfTemporary(left.front()), static_cast<std::uint64_t>(killed));

    TempDir other;
    const pid_t live = startHeldWriter(other / "b-L.jpg");
    ASSERT_GT(live, 0);
    const Names writing = other.names();
    writeBytes(other / ".twinframe-12-0000000000000abc.tmp.bak", {1}); // not a temporary's name

    // Writing an image into the folder is what looks for them.
    writeBytes(dir / "in.mpo", Bytes(200, 7));
    ASSERT_FALSE(fileBuffer.fill(dir / "in.mpo"));
    EXPECT_FALSE(saveChunk(0, 199, dir / "in.jpg"));
    fileBuffer.release();
    removeAbandonedTemporaries(other.path());
    EXPECT_EQ(dir.names(), (Names{"in.jpg", "in.mpo"}));
    EXPECT_EQ(other.names().size(), 2u);
    EXPECT_TRUE(fs::exists(other / writing.front()));
    killAndReap(live);
}

TEST(WriteFileAtomically, NewFileGetsTheGivenPermissionsLessTheUmask) {
    for (const TemporaryKind kind : bothKinds) {
        TempDir dir;
        const mode_t umask = ::umask(0022);
        const auto write = [&](const char* name, fs::perms permissions) {
            return writeFileAtomically(
                dir / name, [](NativeFile file) { return writeAll(file, {}, 0); }, nullptr, kind,
                ExistingFile::replace, permissions);
        };
        EXPECT_FALSE(write("private", fs::perms::owner_read | fs::perms::owner_write));
        EXPECT_FALSE(write("shared", fs::perms::all));
        EXPECT_FALSE(write("default", fs::perms::unknown));
        ::umask(umask);
        const auto modeOf = [&](const char* name) {
            return fs::status(dir / name).permissions() & fs::perms::all;
        };
        EXPECT_EQ(modeOf("private"), fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(modeOf("shared"),
                  fs::perms::all & ~(fs::perms::group_write | fs::perms::others_write));
        EXPECT_EQ(modeOf("default"),
                  modeOf("shared") &
                      ~(fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec));
    }
}
