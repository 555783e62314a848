#pragma once

#include "split/BatchReporter.h"

#include <ostream>
#include <string>

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

// Ends a batch on the console, as every command does: its summary on standard output, unless a
// closed pipe took that, then the exit status: 141 when the output was closed, 130 when a
// signal stopped the batch, 1 when any file drew a message or otherProblems (arguments refused
// before the batch) is not 0, else 0.
int endBatch(const std::string& summary, const ConsoleReporter& reporter, int otherProblems = 0);

// text as it may go to a terminal: a file name can hold a newline or an escape sequence, which
// would forge lines of our own (evil\ntwinframe-cli: Files processed: 0.mpo) or drive the
// terminal, or reorder the line (U+202E). Such characters are written visibly instead: \n, \r
// and \t as such, any other control as \xHH, and the C1 controls (U+0080 to U+009F), the
// bidirectional embeddings, overrides (U+202A to U+202E) and isolates (U+2066 to U+2069) as \xHH
// of each of their UTF-8 bytes, as is a byte 0x80 to 0x9F that is not part of a UTF-8
// character. Only the console needs this: the files and the window keep the real names.
std::string consoleText(const std::string& text);

} // namespace twinframe
