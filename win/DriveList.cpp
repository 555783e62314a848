#include "DriveList.h"

#include "wideText.h"

#include <shellapi.h>

#include <cwctype>

namespace {

// The name Explorer shows for the drive, or none for a floppy drive, which is not asked: asking
// spins it up, or waits for a disk.
std::wstring explorerName(const std::wstring& root) {
    if ((root[0] == L'A' || root[0] == L'B') && GetDriveTypeW(root.c_str()) == DRIVE_REMOVABLE)
        return {};
    SHFILEINFOW info{};
    if (SHGetFileInfoW(root.c_str(), 0, &info, sizeof info, SHGFI_DISPLAYNAME) == 0)
        return {};
    return info.szDisplayName;
}

} // namespace

// Explorer names a drive "System (C:)", "Local Disk (D:)" or "share (\\server) (Z:)": the name
// without its letter is what the list shows in brackets.
std::wstring DriveList::shownName(const std::wstring& root, std::wstring explorerName) {
    std::wstring shown = {static_cast<wchar_t>(std::towlower(root[0])), L':'};
    const std::wstring letterSuffix = L"(" + root.substr(0, 2) + L")";
    if (explorerName.size() >= letterSuffix.size() &&
        sameName(std::wstring_view(explorerName).substr(explorerName.size() - letterSuffix.size()),
                 letterSuffix))
        explorerName.resize(explorerName.size() - letterSuffix.size());
    while (!explorerName.empty() && explorerName.back() == L' ')
        explorerName.pop_back();
    if (explorerName.empty() || sameName(explorerName, root) ||
        sameName(explorerName, root.substr(0, 2)))
        return shown;
    return shown + L" [" + explorerName + L"]";
}

std::vector<DriveList::Drive> DriveList::presentDrives() {
    std::vector<Drive> drives;
    const DWORD mask = GetLogicalDrives();
    for (int letter = 0; letter < 26; ++letter) {
        if ((mask & (1u << letter)) == 0)
            continue;
        const std::wstring root = {static_cast<wchar_t>(L'A' + letter), L':', L'\\'};
        drives.push_back({root, shownName(root, explorerName(root))});
    }
    return drives;
}

void DriveList::refresh() {
    const std::wstring current = drive();
    drives_ = presentDrives();
    SendMessageW(combo_, CB_RESETCONTENT, 0, 0);
    int currentIndex = drives_.empty() ? -1 : 0;
    for (std::size_t i = 0; i < drives_.size(); ++i) {
        SendMessageW(combo_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(drives_[i].shown.c_str()));
        if (sameName(drives_[i].root, current))
            currentIndex = static_cast<int>(i);
    }
    SendMessageW(combo_, CB_SETCURSEL, static_cast<WPARAM>(currentIndex), 0);
}

std::wstring DriveList::drive() const {
    const LRESULT index = SendMessageW(combo_, CB_GETCURSEL, 0, 0);
    if (index < 0 || static_cast<std::size_t>(index) >= drives_.size())
        return {};
    return drives_[static_cast<std::size_t>(index)].root;
}

bool DriveList::lists(const std::wstring& root) const {
    for (const Drive& drive : drives_)
        if (sameName(drive.root, root))
            return true;
    return false;
}

bool DriveList::setDriveHolding(const std::wstring& path) {
    for (std::size_t i = 0; i < drives_.size(); ++i) {
        if (path.size() >= 2 && sameName(std::wstring_view(path).substr(0, 2),
                                         std::wstring_view(drives_[i].root).substr(0, 2))) {
            SendMessageW(combo_, CB_SETCURSEL, i, 0);
            return true;
        }
    }
    return false;
}
