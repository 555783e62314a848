#pragma once

#include <algorithm>
#include <string>
#include <string_view>

// ASCII letter case, the one the program ignores: in the extensions it matches (".mpo", ".jpg"),
// and in names where FAT and exFAT ignore it for the names cameras give their pictures. Every
// other character, the bytes of UTF-8's multi-byte letters among them, stays as it is.

namespace twinframe {

// For char (UTF-8) and wchar_t (UTF-16) alike.
template <typename Char> constexpr Char asciiLower(Char c) {
    return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

inline std::string asciiLowered(std::string_view text) {
    std::string lowered(text);
    std::transform(lowered.begin(), lowered.end(), lowered.begin(), asciiLower<char>);
    return lowered;
}

inline bool sameIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return asciiLower(x) == asciiLower(y);
           });
}

} // namespace twinframe
