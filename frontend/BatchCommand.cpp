#include "BatchCommand.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace twinframe {

// What the batch's thread and the window's thread share. Tasks posted to the window hold it, so
// that one running after the command is gone finds window null instead of a dangling pointer.
struct BatchCommand::Shared {
    std::mutex mutex;
    std::condition_variable answered;
    BatchWindow* window = nullptr; // null once the command is gone; changed on the window's thread
    bool abandoned = false;        // the window is going: report nothing more, answer everything
    std::string latestStatus;
    bool statusOnItsWay = false;
    // Both counts run for the command's whole life, across batches: a message waits for the
    // answer to itself, never for one a box of an earlier batch already gave.
    std::uint64_t messagesSent = 0;
    std::uint64_t messagesAnswered = 0;
    std::atomic<bool> speedHack = false;
    std::atomic<bool> stopRequested = false;
};

// Reports the batch from its own thread to the window. Status texts come far faster than a
// screen shows them: the window is sent the latest one, with at most one on its way, so texts
// show in order, the last one always, and the window's queue is never flooded. A message waits
// until the window's box is answered, as the batch expects.
class BatchCommand::Relay : public BatchReporter {
  public:
    Relay(std::shared_ptr<Shared> shared, BatchWindow& window)
        : shared_(std::move(shared)), window_(window) {}

    void setStatus(const std::string& text) override {
        const std::lock_guard lock(shared_->mutex);
        shared_->latestStatus = text;
        if (shared_->statusOnItsWay || shared_->abandoned)
            return;
        shared_->statusOnItsWay = true;
        window_.postToWindow([shared = shared_] {
            std::string latest;
            {
                const std::lock_guard lock(shared->mutex);
                latest.swap(shared->latestStatus);
                shared->statusOnItsWay = false;
            }
            if (shared->window != nullptr)
                shared->window->showStatus(latest);
        });
    }

    void showMessage(const std::string& text) override {
        std::unique_lock lock(shared_->mutex);
        if (shared_->abandoned)
            return;
        const std::uint64_t waitFor = ++shared_->messagesSent;
        window_.postToWindow([shared = shared_, text] {
            if (shared->window != nullptr &&
                shared->window->showMessageBox(text) == BoxAnswer::stop)
                shared->stopRequested = true; // before the batch goes on to the next file
            const std::lock_guard answeredLock(shared->mutex);
            ++shared->messagesAnswered;
            shared->answered.notify_all();
        });
        shared_->answered.wait(
            lock, [&] { return shared_->abandoned || shared_->messagesAnswered >= waitFor; });
    }

    void startFile(std::int64_t fileIndex, std::int64_t fileCount) override {
        const std::lock_guard lock(shared_->mutex);
        if (shared_->abandoned)
            return;
        window_.postToWindow([shared = shared_, fileIndex, fileCount] {
            if (shared->window != nullptr)
                shared->window->showProgress(fileIndex - 1, fileCount);
        });
    }

  private:
    std::shared_ptr<Shared> shared_;
    BatchWindow& window_;
};

BatchCommand::BatchCommand(BatchWindow& window)
    : window_(window), shared_(std::make_shared<Shared>()) {
    shared_->window = &window;
}

BatchCommand::~BatchCommand() {
    if (!worker_.joinable())
        return;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->abandoned = true;
        shared_->window = nullptr;
        shared_->stopRequested = true;
        shared_->answered.notify_all();
    }
    worker_.join();
}

void BatchCommand::start(std::vector<FileEntry> entries, std::filesystem::path folder,
                         bool speedHack) {
    if (running())
        return;
    window_.setControlsLocked(true);
    window_.setWaitCursor(true);
    shared_->stopRequested = false;
    shared_->speedHack = speedHack;
    closeWhenStopped_ = false;
    worker_ = std::thread(
        [this, shared = shared_, entries = std::move(entries), folder = std::move(folder)] {
            Relay relay(shared, window_);
            result_ = runBatch(
                entries, folder, [&shared] { return shared->speedHack.load(); }, relay,
                [&shared] { return shared->stopRequested.load(); });
            const std::lock_guard lock(shared->mutex);
            if (!shared->abandoned)
                window_.postToWindow([this, shared] {
                    if (shared->window != nullptr)
                        finish();
                });
        });
}

// Steps three to six, on the window's thread once the batch's thread is done.
void BatchCommand::finish() {
    worker_.join();
    window_.showIdleText();
    window_.setWaitCursor(false);
    window_.setControlsLocked(false);
    window_.refreshFileList();
    window_.showProgress(result_.filesDealtWith, result_.selectedCount);
    if (closeWhenStopped_) {
        window_.batchEnded(true);
        return;
    }
    // A batch that went through no file (nothing selected, or its folder gone, which it has
    // said) has nothing to sum up.
    if (result_.filesDealtWith > 0)
        window_.showMessageBox(summaryText(result_));
    window_.batchEnded(false);
}

void BatchCommand::setSpeedHack(bool on) {
    shared_->speedHack = on;
}

void BatchCommand::stop() {
    if (running())
        shared_->stopRequested = true;
}

bool BatchCommand::requestClose() {
    if (!running())
        return true;
    closeWhenStopped_ = true;
    stop();
    return false;
}

} // namespace twinframe
