// The program's entry on Windows: arguments arrive as UTF-16 and become the UTF-8 the rest of the
// program speaks; output goes to a console as UTF-16 (WriteConsoleW, so "é" and "日本" show
// whatever the console's code page), and to a pipe or a file as UTF-8. Lines end in CR LF, as
// Windows programs end them (Notepad of old and many tools that read a file or a pipe want it).
#include "commandLine.h"
#include "platform/utf16.h"

#include <windows.h>

#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

namespace {

using namespace twinframe;

// A stream buffer over a standard handle. Text is kept until a line ends (on a console) or the
// stream is flushed, so that a character is never cut in two between two writes.
class StandardHandleBuffer : public std::streambuf {
  public:
    explicit StandardHandleBuffer(DWORD which) : handle_(::GetStdHandle(which)) {
        DWORD mode = 0;
        console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE &&
                   ::GetConsoleMode(handle_, &mode) != 0;
    }
    ~StandardHandleBuffer() override { writePending(); }

  protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        pending_.push_back(traits_type::to_char_type(c));
        if (pending_.back() == '\n' && console_)
            writePending();
        return c;
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        pending_.append(text, static_cast<std::size_t>(count));
        if (console_ ? pending_.find('\n') != std::string::npos : pending_.size() >= 65536)
            writePending();
        return count;
    }
    int sync() override {
        writePending();
        return 0;
    }

  private:
    void writePending() {
        if (pending_.empty() || handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE) {
            pending_.clear();
            return;
        }
        withCarriageReturns();
        if (console_) {
            const std::wstring wide = utf16FromUtf8(pending_);
            DWORD written = 0;
            ::WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written,
                            nullptr);
        } else {
            const char* data = pending_.data();
            std::size_t left = pending_.size();
            DWORD written = 0;
            while (left > 0 &&
                   ::WriteFile(handle_, data, static_cast<DWORD>(left), &written, nullptr) &&
                   written > 0) {
                data += written;
                left -= written;
            }
        }
        pending_.clear();
    }

    // The program ends its lines with LF alone, as on POSIX systems: each gets its CR here, once.
    void withCarriageReturns() {
        std::string text;
        text.reserve(pending_.size() + pending_.size() / 32);
        for (const char c : pending_) {
            if (c == '\n' && !afterCarriageReturn_)
                text += '\r';
            text += c;
            afterCarriageReturn_ = c == '\r';
        }
        pending_.swap(text);
    }

    HANDLE handle_;
    bool console_ = false;
    bool afterCarriageReturn_ = false;
    std::string pending_;
};

} // namespace

// Windows leaves wildcards to the program: the C runtime expands "*.MPO" (not when quoted) into
// the names it matches, as a POSIX shell does before the program starts.
extern "C" {
int _dowildcard = -1;
}

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 0; i < argc; ++i)
        arguments.push_back(utf8FromUtf16(argv[i]));

    StandardHandleBuffer out(STD_OUTPUT_HANDLE);
    StandardHandleBuffer err(STD_ERROR_HANDLE);
    std::streambuf* const cout = std::cout.rdbuf(&out);
    std::streambuf* const cerr = std::cerr.rdbuf(&err);
    const int status = runCommandLine(arguments);
    std::cout.flush();
    std::cerr.flush();
    std::cout.rdbuf(cout);
    std::cerr.rdbuf(cerr);
    return status;
}
