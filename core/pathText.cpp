#include "pathText.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace twinframe {

#ifdef _WIN32

std::wstring utf16Of(std::string_view text) {
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int wide = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    std::wstring result(static_cast<std::size_t>(wide), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), length, result.data(), wide);
    return result;
}

std::string utf8Of(std::wstring_view text) {
    if (text.empty())
        return {};
    const int length = static_cast<int>(text.size());
    const int narrow =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(narrow), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), length, result.data(), narrow, nullptr, nullptr);
    return result;
}

std::filesystem::path pathFromUtf8(std::string_view text) {
    return std::filesystem::path(utf16Of(text));
}

std::string utf8Of(const std::filesystem::path& path) {
    return utf8Of(std::wstring_view(path.native()));
}

#else

// The bytes of a POSIX name are the name, whatever their encoding: they go through unchanged.
std::filesystem::path pathFromUtf8(std::string_view text) {
    return std::filesystem::path(std::string(text));
}

std::string utf8Of(const std::filesystem::path& path) {
    return path.native();
}

#endif

} // namespace twinframe
