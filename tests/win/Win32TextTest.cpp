// The Win32 window's texts: UTF-8 from the core to UTF-16 and back, the message box's line
// breaks, the folder tree's order (nameBefore), and the drive list's captions from Explorer's
// names.
#include "DriveList.h"
#include "platform/utf16.h"
#include "wideText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

TEST(WideText, NamesInAnyScriptCrossUnchanged) {
    const std::string utf8 = "Caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\x9E.MPO";
    const std::wstring wide = twinframe::utf16FromUtf8(utf8);
    EXPECT_EQ(wide, L"Caf\u00E9 \u65E5\u672C \U0001F39E.MPO");
    EXPECT_EQ(twinframe::utf8FromUtf16(wide), utf8);
    EXPECT_EQ(twinframe::utf16FromUtf8(""), L"");
}

TEST(WideText, MessageBoxBreaksLinesAtTheCoresCarriageReturns) {
    EXPECT_EQ(messageBoxText("Files processed: 3\rTotal images: 5\rStopped after file 1 of 3"),
              L"Files processed: 3\r\nTotal images: 5\r\nStopped after file 1 of 3");
    EXPECT_EQ(messageBoxText("one\r\ntwo\r"), L"one\r\ntwo\r\n");
    EXPECT_EQ(messageBoxText("a.mpo is not a valid MPO file"), L"a.mpo is not a valid MPO file");
}

TEST(WideText, FileListSortsIgnoringCaseAndMatchesNamesAsTheFileSystemDoes) {
    std::vector<std::wstring> names = {L"c.mpo", L"B.MPO", L"a.MPO", L"\u00C9t\u00E9.mpo",
                                       L"b.mpo"};
    std::sort(names.begin(), names.end(), nameBefore);
    EXPECT_EQ(names, (std::vector<std::wstring>{L"a.MPO", L"B.MPO", L"b.mpo", L"c.mpo",
                                                L"\u00C9t\u00E9.mpo"}));
    EXPECT_TRUE(sameName(L"DSCF0001.MPO", L"dscf0001.mpo"));
    EXPECT_TRUE(sameName(L"\u00C9T\u00C9.MPO", L"\u00E9t\u00E9.mpo"));
    EXPECT_FALSE(sameName(L"a.mpo", L"a.mpo "));
}

TEST(DriveList, ShowsTheLetterAndExplorersNameOfTheDrive) {
    EXPECT_EQ(DriveList::shownName(L"C:\\", L"System (C:)"), L"c: [System]");
    EXPECT_EQ(DriveList::shownName(L"D:\\", L"Local Disk (D:)"), L"d: [Local Disk]");
    EXPECT_EQ(DriveList::shownName(L"Z:\\", L"share (\\\\server) (Z:)"),
              L"z: [share (\\\\server)]");
    EXPECT_EQ(DriveList::shownName(L"E:\\", L"(E:)"), L"e:");
    EXPECT_EQ(DriveList::shownName(L"E:\\", L""), L"e:");
    EXPECT_EQ(DriveList::shownName(L"F:\\", L"F:\\"), L"f:");
}
