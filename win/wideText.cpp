#include "wideText.h"

#include "platform/utf16.h"

#include <windows.h>

std::wstring messageBoxText(std::string_view utf8) {
    const std::wstring text = twinframe::utf16FromUtf8(utf8);
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
