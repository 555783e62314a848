#include "FileList.h"

#include "mpoFiles.h"
#include "platform/utf16.h"
#include "wideText.h"

#include <algorithm>
#include <filesystem>

namespace {

bool contains(const std::vector<std::wstring>& names, const std::wstring& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

} // namespace

void FileList::attach(HWND list, HWND window, UINT changeMessage) {
    list_ = list;
    window_ = window;
    changeMessage_ = changeMessage;
}

void FileList::setPath(const std::wstring& path) {
    path_ = path;
    show({}, {});
    watch_.watch(path_, window_, changeMessage_);
    refresh();
}

void FileList::refresh() {
    std::vector<std::wstring> names;
    for (const std::filesystem::path& name : twinframe::listMpoFiles(path_))
        names.push_back(name.wstring());
    if (names != names_)
        show(names, selectedNames());
}

void FileList::folderChanged() {
    if (refreshPending_)
        return;
    refreshPending_ = true;
    SetTimer(window_, kRefreshTimer, 100, nullptr);
}

void FileList::onTimer() {
    KillTimer(window_, kRefreshTimer);
    refreshPending_ = false;
    refresh();
}

void FileList::show(const std::vector<std::wstring>& names,
                    const std::vector<std::wstring>& selected) {
    const LRESULT top = SendMessageW(list_, LB_GETTOPINDEX, 0, 0);
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list_, LB_RESETCONTENT, 0, 0);
    SendMessageW(list_, LB_INITSTORAGE, names.size(),
                 static_cast<LPARAM>(names.size() * 32 * sizeof(wchar_t)));
    for (const std::wstring& name : names)
        SendMessageW(list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    names_ = names;
    for (std::size_t row = 0; row < names_.size(); ++row)
        if (contains(selected, names_[row]))
            SendMessageW(list_, LB_SETSEL, TRUE, static_cast<LPARAM>(row));
    SendMessageW(list_, LB_SETTOPINDEX, static_cast<WPARAM>(std::max<LRESULT>(top, 0)), 0);
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
}

std::vector<std::wstring> FileList::selectedNames() const {
    std::vector<std::wstring> selected;
    for (const twinframe::FileEntry& entry : entries())
        if (entry.selected)
            selected.push_back(twinframe::utf16FromUtf8(entry.name));
    return selected;
}

void FileList::selectNames(const std::vector<std::wstring>& names) {
    SendMessageW(list_, LB_SETSEL, FALSE, -1);
    bool first = true;
    for (std::size_t row = 0; row < names_.size(); ++row) {
        bool wanted = false;
        for (const std::wstring& name : names)
            wanted = wanted || sameName(name, names_[row]);
        if (!wanted)
            continue;
        SendMessageW(list_, LB_SETSEL, TRUE, static_cast<LPARAM>(row));
        if (first) {
            SendMessageW(list_, LB_SETCARETINDEX, row, FALSE);
            first = false;
        }
    }
}

void FileList::selectAll() {
    SendMessageW(list_, LB_SETSEL, TRUE, -1);
}

std::vector<twinframe::FileEntry> FileList::entries() const {
    std::vector<twinframe::FileEntry> list;
    list.reserve(names_.size());
    for (std::size_t row = 0; row < names_.size(); ++row)
        list.push_back(
            {twinframe::utf8FromUtf16(names_[row]), SendMessageW(list_, LB_GETSEL, row, 0) > 0});
    return list;
}
