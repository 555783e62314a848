#include "wideText.h"

#include <windows.h>

std::wstring toWide(std::string_view utf8) {
    if (utf8.empty())
        return {};
    const int size = static_cast<int>(utf8.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
    return wide;
}

std::string toUtf8(std::wstring_view wide) {
    if (wide.empty())
        return {};
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), length, nullptr, nullptr);
    return utf8;
}

std::wstring messageBoxText(std::string_view utf8) {
    const std::wstring text = toWide(utf8);
    std::wstring shown;
    shown.reserve(text.size() + 8);
    for (std::size_t i = 0; i < text.size(); ++i) {
        shown += text[i];
        if (text[i] == L'\r' && (i + 1 == text.size() || text[i + 1] != L'\n'))
            shown += L'\n';
    }
    return shown;
}

namespace {

int compareIgnoringCase(std::wstring_view a, std::wstring_view b) {
    return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                                static_cast<int>(b.size()), TRUE);
}

} // namespace

bool sameName(std::wstring_view a, std::wstring_view b) {
    return compareIgnoringCase(a, b) == CSTR_EQUAL;
}

bool nameBefore(std::wstring_view a, std::wstring_view b) {
    const int order = compareIgnoringCase(a, b);
    return order == CSTR_EQUAL ? a < b : order == CSTR_LESS_THAN;
}
