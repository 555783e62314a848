#pragma once

#include <string>
#include <string_view>

// Texts cross between the core's UTF-8 and Windows' UTF-16 through the core's utf16.h.

// The core separates a message's lines with a lone carriage return; a message box breaks lines
// at carriage return and line feed.
std::wstring messageBoxText(std::string_view utf8);

// Whether two names are the same to the file system, which ignores letter case.
bool sameName(std::wstring_view a, std::wstring_view b);
// Sorts as the folder tree shows names: letter case ignored, then exactly.
bool nameBefore(std::wstring_view a, std::wstring_view b);
