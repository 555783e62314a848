#include "MpoBuilder.h"
#include "WriteNoting.h"
#include "platform/fileSystem.h"
#include "split/saveChunkCode.h"

#include <gtest/gtest.h>

#include <functional>
#include <string_view>
#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace twinframe;
using namespace twinframe::test;

namespace {

namespace fs = std::filesystem;

const TemporaryKind bothKinds[] = {TemporaryKind::unnamedWherePossible, TemporaryKind::named};

} // namespace

TEST(WriteFileAtomically, WritesANewFileAndReplacesAnOldOneWithEitherTemporary) {
    for (const TemporaryKind kind : bothKinds) {
        TempDir dir;
        Names seen;
        ASSERT_FALSE(writeNoting(dir / "new.jpg", jpegLike(500, 0xE1, 1), kind, dir, seen));
        writeBytes(dir / "old.jpg", jpegLike(900, 0xE1, 2));
        ASSERT_FALSE(writeNoting(dir / "old.jpg", jpegLike(300, 0xE1, 3), kind, dir, seen));
        EXPECT_EQ(readBytes(dir / "new.jpg"), jpegLike(500, 0xE1, 1));
        EXPECT_EQ(readBytes(dir / "old.jpg"), jpegLike(300, 0xE1, 3));
        EXPECT_EQ(dir.names(), (Names{"new.jpg", "old.jpg"}));
    }
}

TEST(WriteFileAtomically, FailureLeavesTheOldFileAndNoTemporary) {
    for (const TemporaryKind kind : bothKinds) {
        TempDir dir;
        writeBytes(dir / "old.jpg", jpegLike(900));
        const std::error_code error = writeFileAtomically(
            dir / "old.jpg",
            [](NativeFile file) {
                (void)writeAll(file, reinterpret_cast<const std::uint8_t*>("partial"), 7);
                return std::make_error_code(std::errc::no_space_on_device);
            },
            nullptr, kind);
        EXPECT_EQ(error, std::errc::no_space_on_device);
        EXPECT_EQ(readBytes(dir / "old.jpg"), jpegLike(900));
        EXPECT_EQ(dir.names(), Names{"old.jpg"});
        // A folder where the file must go is told, and nothing is left either.
        std::filesystem::create_directory(dir / "in-the-way.jpg");
        Names seen;
        EXPECT_EQ(writeNoting(dir / "in-the-way.jpg", jpegLike(500), kind, dir, seen),
                  std::errc::is_a_directory);
        EXPECT_EQ(dir.names(), (Names{"in-the-way.jpg", "old.jpg"}));
    }
}

// Both ways: a file without a name, and the hidden temporary that FAT memory cards need.
TEST(WriteFileAtomically, KeepingAnExistingFileNeverReplacesOneThatAppearsWhileWriting) {
    for (const TemporaryKind kind : {TemporaryKind::unnamedWherePossible, TemporaryKind::named}) {
        const auto writeNew = [kind](const fs::path& target,
                                     const std::function<std::error_code(NativeFile)>& content,
                                     FileIdentity* written) {
            return writeFileAtomically(target, content, written, kind, ExistingFile::keep);
        };
        TempDir dir;
        const fs::path target = dir / "out.mpo";
        const auto write = [](std::string_view text) {
            return [text](NativeFile file) {
                return writeAll(file, reinterpret_cast<const std::uint8_t*>(text.data()),
                                text.size());
            };
        };
        const std::error_code error = writeNew(
            target,
            [&](NativeFile file) {
                writeBytes(target, {'o', 't', 'h', 'e', 'r'});
                return write("ours")(file);
            },
            nullptr);
        EXPECT_EQ(error, std::errc::file_exists);
        EXPECT_EQ(readBytes(target), (Bytes{'o', 't', 'h', 'e', 'r'}));
        EXPECT_EQ(dir.names(), (std::vector<std::string>{"out.mpo"})); // no temporary left

        const fs::path fresh = dir / "fresh.mpo";
        FileIdentity written;
        EXPECT_FALSE(writeNew(fresh, write("ours"), &written));
        EXPECT_EQ(readBytes(fresh), (Bytes{'o', 'u', 'r', 's'}));
        EXPECT_EQ(identityOf(fresh), written);
        EXPECT_EQ(writeNew(fresh, write("again"), nullptr), std::errc::file_exists);
        EXPECT_EQ(writeNew(
                      dir / "failed.mpo",
                      [](int) { return std::make_error_code(std::errc::no_space_on_device); },
                      nullptr),
                  std::errc::no_space_on_device);
        EXPECT_EQ(dir.names(), (std::vector<std::string>{"fresh.mpo", "out.mpo"}));
    }
}

TEST(AbandonedTemporaries, NamesSayWhichProcessWroteThem) {
    EXPECT_EQ(temporaryLeaf(4242, 0xABC), ".twinframe-4242-0000000000000abc.tmp");
    EXPECT_EQ(writerOfTemporary(temporaryLeaf(4242, 0xABC)), 4242u);
    EXPECT_EQ(writerOfTemporary(temporaryLeaf(1, ~std::uint64_t{0})), 1u);
    // Not ours, or not one our naming makes: never taken for a temporary to remove.
    for (const char* leaf :
         {".twinframe-00000000000000ab.tmp", ".twinframe-12-0000000000000abc.jpg",
          ".twinframe--0000000000000abc.tmp", ".twinframe-12-abc.tmp",
          ".twinframe-1x-0000000000000abc.tmp", "twinframe-12-0000000000000abc.tmp",
          ".twinframe-12-0000000000000ABC.tmp",
          ".twinframe-99999999999999999999-0000000000000abc.tmp"})
        EXPECT_EQ(writerOfTemporary(leaf), std::nullopt) << leaf;
}

#ifndef _WIN32 // fork, signals and the umask: POSIX systems only
namespace {

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
#endif
