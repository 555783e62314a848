#pragma once

#include <string>
#include <string_view>

// UTF-8, the program's text, to the UTF-16 of the wide Win32 calls and back: the one place they
// convert, so that no text passes through the ANSI code page. Bytes that are not UTF-8 (and lone
// surrogates the other way) become U+FFFD rather than an exception.

namespace twinframe {

std::wstring utf16FromUtf8(std::string_view text);
std::string utf8FromUtf16(std::wstring_view text);

} // namespace twinframe
