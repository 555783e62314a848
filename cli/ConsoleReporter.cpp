#include "ConsoleReporter.h"

namespace twinframe {

ConsoleReporter::ConsoleReporter(std::ostream& progress, std::ostream& messages, bool quiet)
    : progress_(progress), messages_(messages), quiet_(quiet) {}

void ConsoleReporter::setStatus(const std::string& text) {
    if (!quiet_)
        progress_ << text << '\n';
}

void ConsoleReporter::showMessage(const std::string& text) {
    ++messageCount_;
    progress_.flush(); // keep the message after the progress line it belongs to
    messages_ << "twinframe-cli: " << text << std::endl;
}

} // namespace twinframe
