#include "split/runBatch.h"
#include "MpoBuilder.h"

#include <gtest/gtest.h>

using namespace twinframe;
using namespace twinframe::test;

namespace {

using Names = std::vector<std::string>;

auto always(bool value) {
    return [value] { return value; };
}

} // namespace

TEST(RunBatch, NothingSelectedSaysSoAndCountsNothing) {
    TempDir dir;
    writeBytes(dir / "a.mpo", mpoWithImagesAt(10'000, {0, 5'000}));
    RecordingReporter reporter;
    const std::vector<FileEntry> list = {{"a.mpo", false}};
    const BatchResult result = runBatch(list, dir.path(), always(false), reporter);
    EXPECT_EQ(result.selectedCount, 0);
    EXPECT_EQ(result.totalImages, 0);
    EXPECT_EQ(reporter.messages, Names{"No files selected"});
    EXPECT_TRUE(reporter.statuses.empty());
    EXPECT_EQ(dir.names(), Names{"a.mpo"});
}

TEST(RunBatch, SplitsOnlySelectedEntriesInListOrder) {
    TempDir dir;
    writeBytes(dir / "a.mpo", mpoWithImagesAt(10'000, {0, 5'000}));
    writeBytes(dir / "b.mpo", jpegLike(3'000));
    writeBytes(dir / "c.mpo", mpoWithImagesAt(10'000, {0, 5'000}));
    RecordingReporter reporter;
    const std::vector<FileEntry> list = {{"a.mpo", false}, {"b.mpo", true}, {"c.mpo", true}};
    const BatchResult result = runBatch(list, dir.path(), always(false), reporter);
    EXPECT_EQ(result.selectedCount, 2);
    EXPECT_EQ(result.totalImages, 3);
    EXPECT_EQ(reporter.statuses, (Names{"File: 1", "File: 1, Image: 1", "File: 2",
                                        "File: 2, Image: 1", "File: 2, Image: 2"}));
    EXPECT_EQ(dir.names(), (Names{"a.mpo", "b.jpg", "b.mpo", "c-L.jpg", "c-R.jpg", "c.mpo"}));
}

TEST(RunBatch, MissingFileInTheMiddleIsCountedButSilent) {
    TempDir dir;
    writeBytes(dir / "a.mpo", mpoWithImagesAt(10'000, {0, 5'000}));
    writeBytes(dir / "c.mpo", jpegLike(3'000));
    RecordingReporter reporter;
    const BatchResult result =
        runBatch(allSelected({"a.mpo", "b.mpo", "c.mpo"}), dir.path(), always(false), reporter);
    EXPECT_EQ(result.selectedCount, 3);
    EXPECT_EQ(result.totalImages, 3);
    EXPECT_TRUE(reporter.messages.empty());
    EXPECT_EQ(reporter.statuses, (Names{"File: 1", "File: 1, Image: 1", "File: 1, Image: 2",
                                        "File: 2", "File: 3", "File: 3, Image: 1"}));
    EXPECT_EQ(summaryText(result), "Files processed: 3\rTotal images: 3");
}

TEST(RunBatch, SpeedHackCarriesTheSearchStartToTheNextFile) {
    TempDir dir;
    // a.mpo: left image 3,000 bytes long, so the next file is searched from 2,000 + 1.
    writeBytes(dir / "a.mpo", mpoWithImagesAt(6'000, {0, 3'000}));
    Bytes b = mpoWithImagesAt(6'000, {0, 3'000});
    placeSignature(b, 2'000, 0xE0); // a thumbnail the carried start steps over
    writeBytes(dir / "b.mpo", b);
    writeBytes(dir / "c.mpo", jpegLike(2'100)); // small, yet valid alone
    RecordingReporter reporter;

    const BatchResult result =
        runBatch(allSelected({"a.mpo", "b.mpo", "c.mpo"}), dir.path(), always(true), reporter);
    EXPECT_EQ(readBytes(dir / "b-L.jpg"), slice(b, 0, 2'999));
    EXPECT_EQ(reporter.messages, Names{"c.mpo too small to be a valid file"});
    EXPECT_EQ(result.totalImages, 4);
}

TEST(RunBatch, WithoutSpeedHackEachFileIsSplitAsIfAlone) {
    TempDir dir;
    writeBytes(dir / "a.mpo", mpoWithImagesAt(6'000, {0, 3'000}));
    Bytes b = mpoWithImagesAt(6'000, {0, 3'000});
    placeSignature(b, 2'000, 0xE0);
    writeBytes(dir / "b.mpo", b);
    writeBytes(dir / "c.mpo", jpegLike(2'100));
    RecordingReporter reporter;

    const BatchResult result =
        runBatch(allSelected({"a.mpo", "b.mpo", "c.mpo"}), dir.path(), always(false), reporter);
    // Alone, b.mpo's first start is the thumbnail at 2,000: far from the middle, so multi-image.
    EXPECT_EQ(readBytes(dir / "b-1.jpg"), slice(b, 0, 1'999));
    EXPECT_EQ(readBytes(dir / "c.jpg"), jpegLike(2'100));
    EXPECT_TRUE(reporter.messages.empty());
    EXPECT_EQ(result.totalImages, 2 + 2 + 1);
}

TEST(RunBatch, SpeedHackIsAskedBeforeEachFile) {
    TempDir dir;
    writeBytes(dir / "a.mpo", mpoWithImagesAt(6'000, {0, 3'000}));
    writeBytes(dir / "b.mpo", jpegLike(2'100));
    writeBytes(dir / "c.mpo", jpegLike(2'100));
    RecordingReporter reporter;
    int asked = 0;
    // Off for a.mpo, on for b.mpo (carried start 2,000: too small), off again for c.mpo.
    const auto toggled = [&asked] { return ++asked == 2; };
    runBatch(allSelected({"a.mpo", "b.mpo", "c.mpo"}), dir.path(), toggled, reporter);
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(reporter.messages, Names{"b.mpo too small to be a valid file"});
    EXPECT_EQ(readBytes(dir / "c.jpg"), jpegLike(2'100));
}

// Asks to stop as soon as it sees the status naming stopAt, as a user pressing Escape during
// that file would; counts how often the batch asks.
struct StopDuring : RecordingReporter {
    explicit StopDuring(std::string stopAt) : stopAt(std::move(stopAt)) {}
    void setStatus(const std::string& text) override {
        RecordingReporter::setStatus(text);
        requested = requested || text == stopAt;
    }
    std::function<bool()> asker() {
        return [this] {
            ++asked;
            return requested;
        };
    }
    std::string stopAt;
    bool requested = false;
    int asked = 0;
};

TEST(RunBatch, StopIsAskedBetweenFilesAndFinishesTheCurrentOne) {
    TempDir dir;
    for (const char* name : {"a.mpo", "b.mpo", "c.mpo"})
        writeBytes(dir / name, mpoWithImagesAt(10'000, {0, 5'000}));
    StopDuring reporter("File: 2, Image: 1");
    const BatchResult result = runBatch(allSelected({"a.mpo", "b.mpo", "c.mpo"}), dir.path(),
                                        always(false), reporter, reporter.asker());
    EXPECT_EQ(reporter.asked, 2); // before b.mpo and before c.mpo, never before the first
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(result.selectedCount, 3);
    EXPECT_EQ(result.filesDealtWith, 2);
    EXPECT_EQ(result.totalImages, 4);
    EXPECT_EQ(dir.names(),
              (Names{"a-L.jpg", "a-R.jpg", "a.mpo", "b-L.jpg", "b-R.jpg", "b.mpo", "c.mpo"}));
    EXPECT_EQ(summaryText(result),
              "Files processed: 2\rTotal images: 4\rStopped after file 2 of 3");
}

TEST(RunBatch, StopDuringTheLastFileLeavesNothingUndone) {
    TempDir dir;
    writeBytes(dir / "a.mpo", jpegLike(3'000));
    StopDuring reporter("File: 1");
    const BatchResult result =
        runBatch(allSelected({"a.mpo"}), dir.path(), always(false), reporter, reporter.asker());
    EXPECT_FALSE(result.stopped);
    EXPECT_EQ(result.filesDealtWith, 1);
    EXPECT_EQ(summaryText(result), "Files processed: 1\rTotal images: 1");
}

TEST(RunBatch, LeavesTheCurrentDirectoryAlone) {
    TempDir dir;
    writeBytes(dir / "a.mpo", mpoWithImagesAt(6'000, {0, 3'000}));
    const auto before = std::filesystem::current_path();
    RecordingReporter reporter;
    runBatch(allSelected({"a.mpo"}), dir.path(), always(false), reporter);
    EXPECT_EQ(std::filesystem::current_path(), before);
    EXPECT_TRUE(std::filesystem::exists(dir / "a-L.jpg"));
}

TEST(RunBatch, FolderThatIsGoneIsToldOnce) {
    TempDir dir;
    RecordingReporter reporter;
    const auto gone = dir / "gone";
    const BatchResult result =
        runBatch(allSelected({"a.mpo", "b.mpo"}), gone, always(false), reporter);
    EXPECT_EQ(result.selectedCount, 2);
    EXPECT_EQ(result.totalImages, 0);
    EXPECT_EQ(reporter.messages,
              Names{"Cannot open folder " + gone.string() + ": No such file or directory"});
}

TEST(RunBatch, FailedFileDoesNotStopTheBatch) {
    TempDir dir;
    writeBytes(dir / "a.mpo", mpoWithImagesAt(6'000, {0, 3'000}));
    std::filesystem::create_directory(dir / "a-L.jpg");
    writeBytes(dir / "b.mpo", mpoWithImagesAt(6'000, {0, 3'000}));
    RecordingReporter reporter;
    const BatchResult result =
        runBatch(allSelected({"a.mpo", "b.mpo"}), dir.path(), always(false), reporter);
    EXPECT_EQ(reporter.messages, Names{"Cannot write a-L.jpg: Is a directory"});
    EXPECT_EQ(result.totalImages, 2);
    EXPECT_EQ(dir.names(), (Names{"a-L.jpg", "a.mpo", "b-L.jpg", "b-R.jpg", "b.mpo"}));
}

// What a power cut may take: an output's name must never reach the disk before its bytes, and
// every output the summary counts is on the disk by the time the batch returns. The sink tells
// each step before it takes it: a file's outputs are all flushed before the first is named.
TEST(RunBatch, NoOutputIsNamedBeforeItsBytesAreOnTheDisk) {
    TempDir dir;
    writeBytes(dir / "a.mpo", mpoWithImagesAt(10'000, {0, 5'000}));
    writeBytes(dir / "b.mpo", mpoWithImagesAt(12'000, {0, 6'000}));
    FileChunkSink sink;
    Names steps;
    sink.setWatcher([&](PublishStep step, const std::filesystem::path& path) {
        static const char* const kSteps[] = {"write-back ", "flush ", "name ", "flush folder "};
        std::string seen = kSteps[static_cast<int>(step)] + utf8Text(path.filename());
        if (step == PublishStep::name)
            for (const char* output : {"a-L.jpg", "a-R.jpg", "b-L.jpg", "b-R.jpg"})
                if (std::filesystem::exists(dir / output))
                    seen += std::string(" ") + output;
        steps.push_back(seen);
    });
    RecordingReporter reporter;
    const BatchResult result =
        runBatch(allSelected({"a.mpo", "b.mpo"}), dir.path(), always(false), reporter, {}, sink);
    EXPECT_TRUE(reporter.messages.empty());
    EXPECT_EQ(result.totalImages, 4);
    // Which outputs already have their names at each name step follows the step.
    const Names named{"", " a-L.jpg", " a-L.jpg a-R.jpg", " a-L.jpg a-R.jpg b-L.jpg"};
    Names expected;
    for (const std::string base : {"a", "b"}) {
        const std::size_t first = base == "a" ? 0 : 2;
#ifndef _WIN32 // Windows has no call that only starts the write-back
        expected.insert(expected.end(),
                        {"write-back " + base + "-L.jpg", "write-back " + base + "-R.jpg"});
#endif
        expected.insert(expected.end(), {"flush " + base + "-L.jpg", "flush " + base + "-R.jpg",
                                         "name " + base + "-L.jpg" + named[first],
                                         "name " + base + "-R.jpg" + named[first + 1]});
    }
    expected.push_back("flush folder " + utf8Text(dir.path().filename()));
    EXPECT_EQ(steps, expected);
}
