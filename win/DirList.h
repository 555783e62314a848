#pragma once

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

// Dir1: the folders of one drive as a tree, opened down to the current folder. Each folder's
// subfolders are read when it is expanded; selecting a folder opens it (its subfolders show and
// the window is told, so that the file list follows).
class DirList {
  public:
    void attach(HWND tree) { tree_ = tree; }
    HWND handle() const { return tree_; }

    std::wstring path() const { return path_; }
    // Shows root's tree opened down to path and selects path, without telling the window.
    void setPath(const std::wstring& root, const std::wstring& path);

    // The tree's notifications; true from onNotify when the open folder changed to path().
    bool onNotify(const NMHDR& header);

    // Reads the open folder's subfolders again, for folders made, removed or renamed meanwhile.
    void refreshOpenFolder();

  private:
    HTREEITEM addFolder(HTREEITEM parent, const std::wstring& shown, const std::wstring& path);
    void fillChildren(HTREEITEM item);
    HTREEITEM childNamed(HTREEITEM parent, const std::wstring& name);
    std::vector<std::wstring> childNames(HTREEITEM parent) const;
    void setHasChildren(HTREEITEM item, bool hasChildren);
    const std::wstring& pathOf(HTREEITEM item) const;

    HWND tree_ = nullptr;
    std::wstring root_;
    std::wstring path_;
    // Each item's full path, indexed by the item's lParam; refilled with the tree.
    std::vector<std::wstring> paths_;
    bool quiet_ = false; // selections made by the program are not the user's
};
