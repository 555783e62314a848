// A file size limit (setrlimit) in a forked child, folder permissions and links: POSIX systems
// only.
#include "FileAccessAsUser.h"
#include "MpoBuilder.h"
#include "split/runBatch.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace twinframe;
using namespace twinframe::test;

namespace {

using Names = std::vector<std::string>;

auto always(bool value) {
    return [value] { return value; };
}

} // namespace

// The disk filling up mid-write, for real: a child process may write files of at most 64 KiB,
// so the right image of the large file fails with EFBIG while the small file still fits. The
// large file is then not split at all: no new left image, the earlier run's right one kept.
TEST(RunBatch, DiskFullIsToldAndLeavesEarlierFilesIntact) {
    TempDir dir;
    const Bytes big = mpoWithImagesAt(130'000, {0, 60'000});
    writeBytes(dir / "big.mpo", big);
    writeBytes(dir / "big-R.jpg", Bytes(10, 1)); // from an earlier run
    const Bytes small = mpoWithImagesAt(20'000, {0, 10'000});
    writeBytes(dir / "small.mpo", small);

    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(pipeFds[0]);
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        RecordingReporter reporter;
        const BatchResult result =
            runBatch(allSelected({"big.mpo", "small.mpo"}), dir.path(), always(false), reporter);
        std::string report = std::to_string(result.totalImages);
        for (const auto& message : reporter.messages)
            report += "\n" + message;
        [[maybe_unused]] auto written = ::write(pipeFds[1], report.data(), report.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string report;
    char chunk[256];
    for (ssize_t n; (n = ::read(pipeFds[0], chunk, sizeof chunk)) > 0;)
        report.append(chunk, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));

    EXPECT_EQ(report, "2\nCannot write big-R.jpg: File too large");
    EXPECT_EQ(readBytes(dir / "big-R.jpg"), Bytes(10, 1));
    EXPECT_EQ(readBytes(dir / "small-R.jpg"), slice(small, 10'000, 19'999));
    EXPECT_EQ(dir.names(),
              (Names{"big-R.jpg", "big.mpo", "small-L.jpg", "small-R.jpg", "small.mpo"}));
}

// A folder that can be listed but not searched, for real: each file in it is told with the
// system's reason and counted, and nothing is written. Elsewhere a name that is gone stays
// silent, and a loop of links is told.
TEST(RunBatch, AFileThatCannotBeLookedAtIsToldAndOneThatIsGoneIsNot) {
    TempDir dir;
    UnsearchableFolder card(dir, {"Q1.MPO", "Q2.MPO"});
    RecordingReporter reporter;
    BatchResult result;
    if (!card.withoutSearch([&] {
            result =
                runBatch(allSelected({"Q1.MPO", "Q2.MPO"}), card.path(), always(false), reporter);
        }))
        GTEST_SKIP() << "root here cannot give up its power over permissions (setfsuid)";
    EXPECT_EQ(reporter.messages, (Names{"Cannot read Q1.MPO: Permission denied",
                                        "Cannot read Q2.MPO: Permission denied"}));
    EXPECT_EQ(summaryText(result), "Files processed: 2\rTotal images: 0");
    EXPECT_EQ(dir.names(), Names{"card"});

    std::filesystem::create_symlink("loop.mpo", dir / "loop.mpo");
    RecordingReporter other;
    result = runBatch(allSelected({"gone.mpo", "loop.mpo"}), dir.path(), always(false), other);
    EXPECT_EQ(other.messages, Names{"Cannot read loop.mpo: Too many levels of symbolic links"});
    EXPECT_EQ(summaryText(result), "Files processed: 2\rTotal images: 0");
}

// The next file is opened and planned while the one before waits for the disk. One renamed onto
// its name in between (here as its turn begins) is the file split: the plan made ahead, and the
// bytes it was made from, belong to the file that had the name before. Windows refuses to rename
// onto a file that is open, so there the case cannot arise.
TEST(RunBatch, FileReplacedAfterBeingOpenedAheadIsSplitAsItIsInItsTurn) {
    TempDir dir;
    writeBytes(dir / "a.mpo", mpoWithImagesAt(10'000, {0, 5'000}));
    writeBytes(dir / "b.mpo", mpoWithImagesAt(12'000, {0, 6'000}));
    const Bytes replacement = mpoWithImagesAt(14'000, {0, 7'000});
    writeBytes(dir / "new.tmp", replacement);
    struct ReplaceOnSecond : RecordingReporter {
        void startFile(std::int64_t fileIndex, std::int64_t /*fileCount*/) override {
            if (fileIndex == 2)
                std::filesystem::rename(folder / "new.tmp", folder / "b.mpo");
        }
        std::filesystem::path folder;
    } reporter;
    reporter.folder = dir.path();
    FileChunkSink sink;
    const BatchResult result =
        runBatch(allSelected({"a.mpo", "b.mpo"}), dir.path(), always(false), reporter, {}, sink);
    EXPECT_TRUE(reporter.messages.empty());
    EXPECT_EQ(result.totalImages, 4);
    EXPECT_EQ(readBytes(dir / "b-L.jpg"), Bytes(replacement.begin(), replacement.begin() + 7'000));
    EXPECT_EQ(readBytes(dir / "b-R.jpg"), Bytes(replacement.begin() + 7'000, replacement.end()));
}
