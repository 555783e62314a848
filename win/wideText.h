#pragma once

#include <string>
#include <string_view>

// The core speaks UTF-8; Windows speaks UTF-16. Every text crosses between them here, never
// through the ANSI code page, so that any name shows and opens as it is.
std::wstring toWide(std::string_view utf8);
std::string toUtf8(std::wstring_view wide);

// The core separates a message's lines with a lone carriage return; a message box breaks lines
// at carriage return and line feed.
std::wstring messageBoxText(std::string_view utf8);

// Whether two names are the same to the file system, which ignores letter case.
bool sameName(std::wstring_view a, std::wstring_view b);
// Sorts as the file list shows names: letter case ignored, then exactly.
bool nameBefore(std::wstring_view a, std::wstring_view b);
