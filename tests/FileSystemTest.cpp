#include "platform/fileSystem.h"
#include "MpoBuilder.h"
#include "WriteNoting.h"
#include "split/saveChunkCode.h"

#include <gtest/gtest.h>

#include <functional>
#include <string_view>

using namespace twinframe;
using namespace twinframe::test;

namespace {

namespace fs = std::filesystem;

const TemporaryKind bothKinds[] = {TemporaryKind::unnamedWherePossible, TemporaryKind::named};

} // namespace

TEST(WriteFileAtomically, WritesANewFileAndReplacesAnOldOneWithEitherTemporary) {
    // The folder's names while a file is written, less our temporaries'.
    const auto withoutTemporaries = [](const Names& names) {
        Names kept;
        for (const auto& name : names)
            if (!writerOfTemporary(name))
                kept.push_back(name);
        return kept;
    };
    for (const TemporaryKind kind : bothKinds) {
        TempDir dir;
        Names seen;
        ASSERT_FALSE(writeNoting(dir / "new.jpg", jpegLike(500, 0xE1, 1), kind, dir, seen));
        // A file gets its name only once its bytes are written.
        EXPECT_EQ(withoutTemporaries(seen), Names{});
        if (kind == TemporaryKind::named) {
            EXPECT_EQ(seen.size(), 1u); // the temporary, under a name of its own
        }
        writeBytes(dir / "old.jpg", jpegLike(900, 0xE1, 2));
        ASSERT_FALSE(writeNoting(dir / "old.jpg", jpegLike(300, 0xE1, 3), kind, dir, seen));
        // The old file keeps its name until the new one is whole.
        EXPECT_EQ(withoutTemporaries(seen), (Names{"new.jpg", "old.jpg"}));
        if (kind == TemporaryKind::named) {
            EXPECT_EQ(seen.size(), 3u);
        }
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
