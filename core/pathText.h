#pragma once

#include <filesystem>
#include <string>
#include <string_view>

// The core's texts are UTF-8 on every platform; paths are what the system takes (bytes on POSIX
// systems, UTF-16 on Windows). Every crossing between the two goes through here, so that a name
// such as "日本語.mpo" never passes through the ANSI code page of a Windows system.

namespace twinframe {

std::filesystem::path pathFromUtf8(std::string_view text);
std::string utf8Of(const std::filesystem::path& path);

#ifdef _WIN32
// UTF-8 to UTF-16 and back for the wide Win32 calls. Bytes that are not UTF-8 (and lone
// surrogates the other way) become U+FFFD rather than an exception.
std::wstring utf16Of(std::string_view text);
std::string utf8Of(std::wstring_view text);
#endif

} // namespace twinframe
