#include "BatchCommand.h"
#include "MpoBuilder.h"
#include "fileArguments.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

using namespace twinframe;
using namespace twinframe::test;

namespace {

using Calls = std::vector<std::string>;

// A window without a toolkit: its "window thread" is the test's own, which runs posted tasks
// as an event loop would, and it notes every call the command makes. Boxes are answered by
// answerBox, which may also act as a user would while the box is open.
class NotingWindow : public BatchWindow {
  public:
    void setControlsLocked(bool locked) override { note(locked ? "lock" : "unlock"); }
    void setWaitCursor(bool waiting) override { note(waiting ? "wait" : "arrow"); }
    void showStatus(const std::string& text) override { statuses.push_back(text); }
    void showIdleText() override { note("idle"); }
    void refreshFileList() override { note("refresh"); }
    BoxAnswer showMessageBox(const std::string& text) override {
        note("box: " + text);
        if (answerBox)
            answerBox(text);
        return text == escapeOn ? BoxAnswer::stop : BoxAnswer::ok;
    }
    void batchEnded(bool closeNow) override {
        note(closeNow ? "ended, close" : "ended");
        ended = true;
    }
    void postToWindow(std::function<void()> task) override {
        const std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        ++posts_;
        posted_.notify_one();
    }

    // Whether the batch posts anything to the window within a while: while a box is open, a
    // batch that waits for it posts nothing.
    bool postsWithin(std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex_);
        const std::uint64_t before = posts_;
        return posted_.wait_for(lock, wait, [&] { return posts_ != before; });
    }

    // Whether count tasks are waiting to be run within a while; none of them is run.
    bool waitUntilQueued(std::size_t count, std::chrono::milliseconds wait) {
        std::unique_lock lock(mutex_);
        return posted_.wait_for(lock, wait, [&] { return tasks_.size() >= count; });
    }

    // Runs the tasks posted so far, as a window's event loop would after a batch's command is
    // gone, and says how many there were.
    std::size_t runQueued() {
        std::deque<std::function<void()>> queued;
        {
            const std::lock_guard lock(mutex_);
            queued.swap(tasks_);
        }
        for (auto& task : queued)
            task();
        return queued.size();
    }

    // Runs posted tasks until the batch has ended (or a minute has passed, which fails).
    void runUntilEnded() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
        while (!ended && std::chrono::steady_clock::now() < deadline) {
            std::unique_lock lock(mutex_);
            posted_.wait_until(lock, deadline, [this] { return !tasks_.empty(); });
            if (tasks_.empty())
                continue;
            auto task = std::move(tasks_.front());
            tasks_.pop_front();
            lock.unlock();
            task();
        }
        ASSERT_TRUE(ended) << "the batch never ended";
    }

    Calls calls;
    std::vector<std::string> statuses;
    std::function<void(const std::string&)> answerBox;
    std::string escapeOn; // the box the user answers with Escape
    bool ended = false;

  private:
    void note(const std::string& call) { calls.push_back(call); }
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> tasks_;
    std::uint64_t posts_ = 0;
};

std::vector<FileEntry> selected(std::initializer_list<const char*> names) {
    std::vector<FileEntry> entries;
    for (const char* name : names)
        entries.push_back({name, true});
    return entries;
}

} // namespace

TEST(BatchCommand, LocksRunsReportsUnlocksAndSumsUpInThatOrder) {
    TempDir dir;
    writeBytes(dir / "a.mpo", mpoWithImagesAt(10'000, {0, 5'000}));
    writeBytes(dir / "bad.mpo", jpegLike(3'000, 0xE0));
    NotingWindow window;
    {
        BatchCommand command(window);
        command.start(selected({"bad.mpo", "a.mpo"}), dir.path(), false);
        EXPECT_TRUE(command.running());
        window.answerBox = [&](const std::string& text) {
            // While a message is open the batch waits for it: the next file has not begun.
            if (text.starts_with("bad.mpo")) {
                EXPECT_FALSE(std::filesystem::exists(dir / "a-L.jpg"));
            }
        };
        window.runUntilEnded();
        EXPECT_FALSE(command.running());
    }
    EXPECT_EQ(window.calls,
              (Calls{"lock", "wait", "box: bad.mpo is not a valid MPO file", "idle", "arrow",
                     "unlock", "refresh", "box: Files processed: 2\rTotal images: 2", "ended"}));
    EXPECT_EQ(window.statuses.back(), "File: 2, Image: 2");
    EXPECT_EQ(readBytes(dir / "a-R.jpg"), slice(readBytes(dir / "a.mpo"), 5'000, 9'999));
}

// A window's command runs batch after batch: each message of each of them holds its batch until
// it is answered, and the summary comes last, once the batch is over.
TEST(BatchCommand, EveryMessageOfEveryBatchHoldsItUntilAnswered) {
    TempDir dir;
    writeBytes(dir / "bad.mpo", jpegLike(3'000, 0xE0));
    writeBytes(dir / "a.mpo", mpoWithImagesAt(10'000, {0, 5'000}));
    writeBytes(dir / "worse.mpo", jpegLike(3'000, 0xE0));
    NotingWindow window;
    BatchCommand command(window);
    int heldBoxes = 0;
    window.answerBox = [&](const std::string& text) {
        if (!text.starts_with("Files processed"))
            heldBoxes += command.running() && !window.postsWithin(std::chrono::milliseconds(300));
    };
    const Calls batchOfThree{"lock",
                             "wait",
                             "box: bad.mpo is not a valid MPO file",
                             "box: worse.mpo is not a valid MPO file",
                             "idle",
                             "arrow",
                             "unlock",
                             "refresh",
                             "box: Files processed: 3\rTotal images: 2",
                             "ended"};
    const Calls nothingSelected{
        "lock", "wait", "box: No files selected", "idle", "arrow", "unlock", "refresh", "ended"};
    const std::vector<FileEntry> noneSelected{{"bad.mpo", false}, {"a.mpo", false}};
    for (const auto& entries : {selected({"bad.mpo", "a.mpo", "worse.mpo"}), noneSelected,
                                selected({"bad.mpo", "a.mpo", "worse.mpo"})}) {
        window.calls.clear();
        window.ended = false;
        command.start(entries, dir.path(), false);
        window.runUntilEnded();
        EXPECT_EQ(window.calls, entries[0].selected ? batchOfThree : nothingSelected);
    }
    EXPECT_EQ(heldBoxes, 5);
}

TEST(BatchCommand, ClosingDuringABatchStopsAfterTheFileAndClosesWithoutASummary) {
    TempDir dir;
    for (const char* name : {"a.mpo", "b.mpo", "c.mpo"})
        writeBytes(dir / name, jpegLike(3'000, 0xE0)); // each draws a message
    NotingWindow window;
    BatchCommand command(window);
    command.start(selected({"a.mpo", "b.mpo", "c.mpo"}), dir.path(), false);
    window.answerBox = [&](const std::string&) { EXPECT_FALSE(command.requestClose()); };
    window.runUntilEnded();
    EXPECT_EQ(window.calls, (Calls{"lock", "wait", "box: a.mpo is not a valid MPO file", "idle",
                                   "arrow", "unlock", "refresh", "ended, close"}));
    EXPECT_TRUE(command.requestClose());
}

TEST(BatchCommand, EscapeOnABoxAnswersItAndStopsTheBatchAfterThatFile) {
    TempDir dir;
    const Bytes pair = mpoWithImagesAt(10'000, {0, 5'000});
    writeBytes(dir / "a.mpo", pair);
    writeBytes(dir / "bad.mpo", jpegLike(3'000, 0xE0));
    writeBytes(dir / "c.mpo", pair);
    NotingWindow window;
    BatchCommand command(window);
    window.escapeOn = "bad.mpo is not a valid MPO file";
    command.start(selected({"a.mpo", "bad.mpo", "c.mpo"}), dir.path(), false);
    window.runUntilEnded();
    EXPECT_EQ(window.calls.at(2), "box: bad.mpo is not a valid MPO file");
    EXPECT_EQ(window.calls.at(7),
              "box: Files processed: 2\rTotal images: 2\rStopped after file 2 of 3");
    EXPECT_EQ(dir.names(),
              (std::vector<std::string>{"a-L.jpg", "a-R.jpg", "a.mpo", "bad.mpo", "c.mpo"}));

    // Escape on the last file's box has nothing left to stop; the next batch runs whole.
    window.calls.clear();
    window.ended = false;
    command.start(selected({"c.mpo", "bad.mpo"}), dir.path(), false);
    window.runUntilEnded();
    EXPECT_EQ(window.calls.at(7), "box: Files processed: 2\rTotal images: 2");
}

TEST(BatchCommand, AFolderThatIsGoneIsToldOnceAndNothingIsSummedUp) {
    TempDir dir;
    NotingWindow window;
    BatchCommand command(window);
    command.start(selected({"a.mpo", "b.mpo"}), dir / "gone", false);
    window.runUntilEnded();
    EXPECT_EQ(window.calls, (Calls{"lock", "wait",
                                   "box: Cannot open folder " + utf8Text(dir / "gone") +
                                       ": No such file or directory",
                                   "idle", "arrow", "unlock", "refresh", "ended"}));
}

TEST(BatchCommand, GoingAwayWhileAMessageWaitsEndsTheBatchWithoutHanging) {
    TempDir dir;
    writeBytes(dir / "a.mpo", jpegLike(3'000, 0xE0));
    writeBytes(dir / "b.mpo", mpoWithImagesAt(10'000, {0, 5'000}));
    NotingWindow window;
    {
        BatchCommand command(window);
        command.start(selected({"a.mpo", "b.mpo"}), dir.path(), false);
        // File 1's status and progress, then its message, which holds the batch until it is
        // answered.
        ASSERT_TRUE(window.waitUntilQueued(3, std::chrono::minutes(1)));
        // Leaves the message posted and never answered: the window is destroyed with it.
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "b-L.jpg"));
    // What the batch posted reaches no window once its command is gone: no box, no progress.
    EXPECT_EQ(window.runQueued(), 3u);
    EXPECT_EQ(window.calls, (Calls{"lock", "wait"}));
    EXPECT_TRUE(window.statuses.empty());
}

TEST(FileArguments, SelectsTheFirstFilesFolderAndNamesTheRestByReason) {
    TempDir dir;
    std::filesystem::create_directory(dir / "pics");
    for (const char* name : {"a.MPO", "b.mpo", "note.txt", ".hidden.mpo"})
        writeBytes(dir / "pics" / name, jpegLike(200));
    writeBytes(dir / "other.mpo", jpegLike(200));
    const std::vector<std::filesystem::path> given = {
        dir / "pics" / "a.MPO",       dir / "other.mpo",
        dir / "pics" / "note.txt",    dir / "pics" / "gone.mpo",
        dir / "pics" / ".hidden.mpo", dir / "pics" / "b.mpo"};
    const FileArguments arguments = sortFileArguments(given);
    EXPECT_EQ(arguments.folder, dir / "pics");
    EXPECT_EQ(arguments.selected, (std::vector<std::string>{"a.MPO", "b.mpo"}));
    // Each name as the system writes paths: "\\" between folders on Windows.
    const auto shown = [&dir](const char* name) { return utf8Text(dir / "pics" / name); };
    EXPECT_EQ(fileArgumentsMessage(arguments),
              "Not selected, not an .mpo file:\r" + shown("note.txt") + "\r" +
                  shown(".hidden.mpo") + "\rNot selected, not in " + utf8Text(dir / "pics") +
                  ":\r" + utf8Text(dir / "other.mpo") + "\rNot selected, not found:\r" +
                  shown("gone.mpo"));
    EXPECT_TRUE(sortFileArguments(std::vector<std::filesystem::path>{dir / "pics" / "b.mpo"})
                    .allSelected());
}
