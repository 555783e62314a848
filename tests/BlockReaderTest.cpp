#include "platform/blockReader.h"
#include "MpoBuilder.h"
#include "platform/failure.h"
#include "platform/fileSystem.h"

#include <gtest/gtest.h>

#include <algorithm>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace twinframe;
using namespace twinframe::test;

namespace {

namespace fs = std::filesystem;

// A file opened for reading for one test, closed when it ends.
struct Opened {
    explicit Opened(const fs::path& path) { error = openForReading(path, file, length); }
    ~Opened() { closeFile(file); }
    NativeFile file = kNoFile;
    std::int64_t length = 0;
    std::error_code error;
};

Bytes held(const BlockReader& reader) {
    return Bytes(reader.bytes().begin(), reader.bytes().end());
}

std::vector<std::string> sortedTexts(const std::vector<fs::path>& names) {
    std::vector<std::string> texts;
    for (const fs::path& name : names)
        texts.push_back(utf8Text(name));
    std::sort(texts.begin(), texts.end());
    return texts;
}

} // namespace

TEST(BlockReader, ReadsABlockOrWhatIsWantedAndTellsAFileThatShrank) {
    TempDir dir;
    const Bytes bytes = jpegLike(1'000);
    writeBytes(dir / "in.jpg", bytes);
    const Opened in(dir / "in.jpg");
    ASSERT_FALSE(in.error);
    BlockReader reader(64);
    ASSERT_FALSE(reader.load(in.file, 100, in.length));
    EXPECT_EQ(reader.start(), 100);
    EXPECT_EQ(held(reader), slice(bytes, 100, 163));
    EXPECT_TRUE(reader.holds(150, 14));
    EXPECT_FALSE(reader.holds(150, 15));
    ASSERT_FALSE(reader.load(in.file, 990, in.length)); // the end of the file
    EXPECT_EQ(held(reader), slice(bytes, 990, 999));
    ASSERT_FALSE(reader.load(in.file, 0, in.length, 300)); // more than a block at once
    EXPECT_EQ(held(reader), slice(bytes, 0, 299));
    // A file shorter than it was when opened.
    EXPECT_EQ(reader.load(in.file, 960, 1'100), make_error_code(Refusal::inputChanged));
    EXPECT_TRUE(reader.bytes().empty());
    const auto failing = [](std::int64_t, std::uint8_t*, std::size_t, std::size_t& got) {
        got = 0;
        return std::make_error_code(std::errc::io_error);
    };
    EXPECT_EQ(reader.load(failing, 0, 100), std::errc::io_error);
}

TEST(BlockReader, CopiesARangeInTheKernelOrThroughItsBlock) {
    TempDir dir;
    const Bytes bytes = jpegLike(5'000);
    writeBytes(dir / "in.jpg", bytes);
    const Opened in(dir / "in.jpg");
    ASSERT_FALSE(in.error);
    BlockReader reader(64); // a copy through the block takes many rounds
    const auto copied = [&](std::int64_t first, std::int64_t count) {
        const std::error_code error = writeFileAtomically(dir / "out.jpg", [&](NativeFile output) {
            return reader.copy(in.file, first, count, output);
        });
        return error ? Bytes{} : readBytes(dir / "out.jpg");
    };
    EXPECT_EQ(copied(1'000, 3'000), slice(bytes, 1'000, 3'999));
    EXPECT_EQ(copied(4'990, 10), slice(bytes, 4'990, 4'999));
    const std::error_code error = writeFileAtomically(dir / "out.jpg", [&](NativeFile output) {
        return reader.copy(in.file, 4'000, 2'000, output); // past the end: it shrank
    });
    EXPECT_EQ(error, make_error_code(Refusal::inputChanged));
#ifndef _WIN32
    // The kernel copies into no pipe: the block carries the bytes.
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    EXPECT_FALSE(reader.copy(in.file, 100, 1'000, ends[1]));
    ::close(ends[1]);
    Bytes got(2'000);
    std::size_t total = 0;
    for (ssize_t n; (n = ::read(ends[0], got.data() + total, got.size() - total)) > 0;)
        total += static_cast<std::size_t>(n);
    ::close(ends[0]);
    got.resize(total);
    EXPECT_EQ(got, slice(bytes, 100, 1'099));
#endif
}

TEST(FileKindOf, TellsWhatANameLeadsToAndWhenNothingIsThere) {
    TempDir dir;
    writeBytes(dir / "a.jpg", jpegLike(100));
    fs::create_directory(dir / "sub");
    FileKind kind = FileKind::unknown;
    EXPECT_FALSE(fileKindOf(dir / "a.jpg", kind));
    EXPECT_EQ(kind, FileKind::regular);
    EXPECT_FALSE(fileKindOf(dir / "sub", kind));
    EXPECT_EQ(kind, FileKind::directory);
    EXPECT_EQ(fileKindOf(dir / "gone.jpg", kind), std::errc::no_such_file_or_directory);
    EXPECT_EQ(kind, FileKind::notFound);
    EXPECT_TRUE(fileKindOf(dir / "a.jpg" / "x.jpg", kind)); // a path through a file
    EXPECT_EQ(kind, FileKind::notFound);
    EXPECT_FALSE(isSymbolicLink(dir / "a.jpg"));
#ifndef _WIN32
    ASSERT_EQ(::mkfifo((dir / "fifo.mpo").c_str(), 0600), 0);
    EXPECT_FALSE(fileKindOf(dir / "fifo.mpo", kind));
    EXPECT_EQ(kind, FileKind::other);
    fs::create_symlink("a.jpg", dir / "link.jpg");
    fs::create_symlink("gone.jpg", dir / "dangling.jpg");
    EXPECT_FALSE(fileKindOf(dir / "link.jpg", kind));
    EXPECT_EQ(kind, FileKind::regular);
    EXPECT_TRUE(isSymbolicLink(dir / "link.jpg"));
    EXPECT_TRUE(isSymbolicLink(dir / "dangling.jpg"));
    EXPECT_TRUE(fileKindOf(dir / "dangling.jpg", kind));
    EXPECT_EQ(kind, FileKind::notFound);
#endif
}

TEST(FolderEntries, ListsEveryNameButTheFolderAndItsParent) {
    TempDir dir;
    writeBytes(dir / "Café.jpg", jpegLike(100));
    writeBytes(dir / ".hidden", jpegLike(100));
    fs::create_directory(dir / "sub");
    EXPECT_EQ(sortedTexts(folderEntries(dir.path())),
              (std::vector<std::string>{".hidden", "Café.jpg", "sub"}));
    EXPECT_TRUE(folderEntries(dir / "gone").empty());
    EXPECT_TRUE(folderEntries(dir / "Café.jpg").empty());
}
