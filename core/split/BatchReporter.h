#pragma once

#include <cstdint>
#include <string>

namespace twinframe {

// The window side of a batch. The core reports through this and never talks to a user directly,
// so the same batch runs under the window, the command line and the tests. Texts are UTF-8.
class BatchReporter {
  public:
    virtual ~BatchReporter() = default;

    // Shows a one-line progress text at once, even though the batch has not returned control.
    virtual void setStatus(const std::string& text) = 0;

    // Tells the user about one file; returns when the user has seen it.
    virtual void showMessage(const std::string& text) = 0;

    // The batch begins its file number fileIndex (from 1) of fileCount, for a front end that shows
    // progress in a bar or the desktop's task list.
    virtual void startFile(std::int64_t /*fileIndex*/, std::int64_t /*fileCount*/) {}
};

} // namespace twinframe
