#pragma once

#include "BatchReporter.h"

#include <ostream>

namespace twinframe {

// Reports a batch on a terminal: status texts as progress lines on one stream, each message a
// window would show in a box as one line on another. Counts the messages, since every message
// means a file the user has to look at again.
class ConsoleReporter : public BatchReporter {
  public:
    ConsoleReporter(std::ostream& progress, std::ostream& messages, bool quiet);

    void setStatus(const std::string& text) override;
    void showMessage(const std::string& text) override;

    int messageCount() const { return messageCount_; }

  private:
    std::ostream& progress_;
    std::ostream& messages_;
    bool quiet_;
    int messageCount_ = 0;
};

} // namespace twinframe
