#include "ConsoleReporter.h"

#include <cstdint>

namespace twinframe {

namespace {

void appendHex(std::string& out, unsigned char byte) {
    static constexpr char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
}

} // namespace

std::string consoleText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const unsigned char next =
            i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : std::uint8_t{0};
        if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\r') {
            out += "\\r";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            appendHex(out, byte);
        } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
            // U+0080 to U+009F: C1 controls, which some terminals obey like escape sequences.
            appendHex(out, byte);
            appendHex(out, next);
            ++i;
        } else {
            out += static_cast<char>(byte);
        }
    }
    return out;
}

ConsoleReporter::ConsoleReporter(std::ostream& progress, std::ostream& messages, bool quiet)
    : progress_(progress), messages_(messages), quiet_(quiet) {}

void ConsoleReporter::setStatus(const std::string& text) {
    // Each line leaves at once, so that a reader that closes the pipe early (head -3) is noticed
    // while the batch is still on the file after it, not a buffer's worth of files later.
    if (!quiet_)
        progress_ << consoleText(text) << std::endl;
}

void ConsoleReporter::showMessage(const std::string& text) {
    ++messageCount_;
    progress_.flush(); // keep the message after the progress line it belongs to
    messages_ << "twinframe-cli: " << consoleText(text) << std::endl;
}

} // namespace twinframe
