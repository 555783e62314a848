#pragma once

#include "FolderWatch.h"
#include "split/runBatch.h"

#include <windows.h>

#include <string>
#include <vector>

// File1: the visible plain files of one folder whose names end in ".mpo" in any letter case,
// sorted, with extended selection (shift and control keys, and Ctrl+A for all). It follows its
// folder: files that appear, vanish or are renamed show up by themselves, and the selection stays
// on the names that are still there.
class FileList {
  public:
    // changeMessage is posted to window when the folder changes; the window then calls
    // folderChanged.
    void attach(HWND list, HWND window, UINT changeMessage);
    HWND handle() const { return list_; }

    std::wstring path() const { return path_; }
    void setPath(const std::wstring& path);
    // Lists the folder anew, keeping selected the names that are still there.
    void refresh();
    // The folder changed: list it again shortly, once for a burst of changes.
    void folderChanged();
    void onTimer();

    std::vector<std::wstring> names() const { return names_; }
    std::vector<std::wstring> selectedNames() const;
    // Selects exactly those of the names that are listed.
    void selectNames(const std::vector<std::wstring>& names);
    void selectAll();

    // Every entry in list order with its selection flag, as a batch takes them.
    std::vector<twinframe::FileEntry> entries() const;

    static constexpr UINT_PTR kRefreshTimer = 1;

  private:
    void show(const std::vector<std::wstring>& names, const std::vector<std::wstring>& selected);

    HWND list_ = nullptr;
    HWND window_ = nullptr;
    UINT changeMessage_ = 0;
    std::wstring path_;
    std::vector<std::wstring> names_;
    FolderWatch watch_;
    bool refreshPending_ = false;
};
