#include "ConsoleReporter.h"

#include "stopSignals.h"

#include <cstdint>
#include <iostream>

namespace twinframe {

namespace {

void appendHex(std::string& out, unsigned char byte) {
    static constexpr char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[byte >> 4];
    out += digits[byte & 0x0F];
}

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence of two to four bytes that begins at text[i], with
// its code point; 0 when none begins there (a stray byte of another encoding, an overlong form,
// a surrogate, or a sequence cut short).
std::size_t utf8SequenceAt(const std::string& text, std::size_t i, char32_t& codePoint) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        smallest = 0x80;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        smallest = 0x800;
        codePoint = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        smallest = 0x10000;
        codePoint = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() - i < length)
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(text[i + k]);
        if (!isContinuation(byte))
            return 0;
        codePoint = codePoint << 6 | (byte & 0x3Fu);
    }
    if (codePoint < smallest || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

// Characters that act on the terminal or on the line rather than show: the C1 controls (CSI
// among them, which some terminals obey like ESC [), and the bidirectional embeddings, overrides
// and isolates, which reorder the rest of the line (a name could make "gpj.exe" read "exe.jpg").
bool actsOnTheLine(char32_t codePoint) {
    return (codePoint >= 0x80 && codePoint <= 0x9F) ||
           (codePoint >= 0x202A && codePoint <= 0x202E) ||
           (codePoint >= 0x2066 && codePoint <= 0x2069);
}

} // namespace

std::string consoleText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte == '\n') {
            out += "\\n";
        } else if (byte == '\r') {
            out += "\\r";
        } else if (byte == '\t') {
            out += "\\t";
        } else if (byte < 0x20 || byte == 0x7F) {
            appendHex(out, byte);
        } else if (byte < 0x80) {
            out += static_cast<char>(byte);
        } else if (char32_t codePoint = 0;
                   const std::size_t length = utf8SequenceAt(text, i, codePoint)) {
            for (std::size_t k = 0; k < length; ++k) {
                if (actsOnTheLine(codePoint))
                    appendHex(out, static_cast<unsigned char>(text[i + k]));
                else
                    out += text[i + k];
            }
            i += length - 1;
        } else if (byte <= 0x9F) {
            // Not UTF-8, so a terminal of eight-bit characters may take it for a C1 control.
            appendHex(out, byte);
        } else {
            out += static_cast<char>(byte); // a letter of another eight-bit encoding
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

int endBatch(const std::string& summary, const ConsoleReporter& reporter, int otherProblems) {
    if (!outputClosed())
        std::cout << summary << std::endl;
    if (outputClosed())
        return kExitOutputClosed;
    if (stopSignalled())
        return kExitStopped;
    return otherProblems + reporter.messageCount() > 0 ? 1 : 0;
}

} // namespace twinframe
