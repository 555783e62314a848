#pragma once

#include "split/runBatch.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace twinframe {

// How the user answered a message box: with OK, or with Escape or the box's own close button,
// which during a batch also asks it to stop once the file being split is done.
enum class BoxAnswer { ok, stop };

// What the batch command asks of a window, each in its toolkit's own calls. Every call comes on
// the window's thread.
class BatchWindow {
  public:
    virtual ~BatchWindow() = default;

    // Disables (or enables) cmbGo, File1, Dir1 and Drive1, in that order; chk1 stays enabled.
    virtual void setControlsLocked(bool locked) = 0;
    // The busy (or the default) mouse pointer over the window.
    virtual void setWaitCursor(bool waiting) = 0;
    // lblMain's text: a status text of the batch, shown and painted at once, or the idle text.
    virtual void showStatus(const std::string& text) = 0;
    virtual void showIdleText() = 0;
    // Lists File1's folder anew.
    virtual void refreshFileList() = 0;
    // A modal box with the text (lines separated by carriage returns), OK only, no icon, titled
    // "Twinframe"; returns once it is answered, with how it was.
    virtual BoxAnswer showMessageBox(const std::string& text) = 0;
    // Files dealt with so far of the batch's selected files, for a desktop's progress display.
    virtual void showProgress(std::int64_t /*done*/, std::int64_t /*total*/) {}
    // The batch is over and its summary answered; closeNow when the window was closed meanwhile
    // and should close now.
    virtual void batchEnded(bool closeNow) = 0;

    // Runs task on the window's thread, soon, from any thread; a window that is gone drops it.
    virtual void postToWindow(std::function<void()> task) = 0;
};

// The "GO!" command: locks the window, runs the batch on a thread of its own so that the window
// keeps answering, shows what the batch reports (each message holding the batch until it is
// answered), then unlocks the window, lists the files anew and shows the summary. Escape (on the
// window or on a box) or closing the window asks the batch to stop after the file being split.
class BatchCommand {
  public:
    explicit BatchCommand(BatchWindow& window);
    // Stops a running batch and waits for it, answering unshown whatever it still reports.
    ~BatchCommand();
    BatchCommand(const BatchCommand&) = delete;
    BatchCommand& operator=(const BatchCommand&) = delete;

    // Steps one and two: locks the window and starts the batch over entries of folder.
    void start(std::vector<FileEntry> entries, std::filesystem::path folder, bool speedHack);
    bool running() const { return worker_.joinable(); }

    // chk1's state, read by the batch before each file.
    void setSpeedHack(bool on);
    // Stops a running batch once the file being split is done.
    void stop();
    // Whether the window may close now. During a batch it may not: the batch stops, and the
    // window is told to close (batchEnded(true)) once it has.
    bool requestClose();

  private:
    struct Shared;
    class Relay;
    void finish();

    BatchWindow& window_;
    std::shared_ptr<Shared> shared_;
    std::thread worker_;
    BatchResult result_;
    bool closeWhenStopped_ = false;
};

} // namespace twinframe
