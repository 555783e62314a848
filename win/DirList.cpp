#include "DirList.h"

#include "wideText.h"

#include <algorithm>

namespace {

// The folder's visible subfolders, by name, sorted as Explorer's tree sorts them (case ignored).
std::vector<std::wstring> subfoldersOf(const std::wstring& folder) {
    std::vector<std::wstring> names;
    std::wstring pattern = folder;
    if (!pattern.empty() && pattern.back() != L'\\')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found,
                                     FindExSearchLimitToDirectories, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring_view name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (found.dwFileAttributes & FILE_ATTRIBUTE_HIDDEN) != 0 || name == L"." || name == L"..")
            continue;
        names.emplace_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end(), nameBefore);
    return names;
}

std::wstring joined(const std::wstring& folder, const std::wstring& name) {
    if (!folder.empty() && folder.back() == L'\\')
        return folder + name;
    return folder + L'\\' + name;
}

// The names between root and path: "C:\a\b" below "C:\" gives a and b.
std::vector<std::wstring> stepsBelow(const std::wstring& root, const std::wstring& path) {
    std::vector<std::wstring> steps;
    std::size_t start = root.size();
    while (start < path.size()) {
        if (path[start] == L'\\') {
            ++start;
            continue;
        }
        const std::size_t end = std::min(path.find(L'\\', start), path.size());
        steps.push_back(path.substr(start, end - start));
        start = end;
    }
    return steps;
}

} // namespace

HTREEITEM DirList::addFolder(HTREEITEM parent, const std::wstring& shown,
                             const std::wstring& path) {
    paths_.push_back(path);
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_CHILDREN;
    insert.item.pszText = const_cast<wchar_t*>(shown.c_str());
    insert.item.lParam = static_cast<LPARAM>(paths_.size() - 1);
    insert.item.cChildren = 1; // found out when it is expanded
    return TreeView_InsertItem(tree_, &insert);
}

const std::wstring& DirList::pathOf(HTREEITEM item) const {
    TVITEMW data{};
    data.mask = TVIF_PARAM;
    data.hItem = item;
    TreeView_GetItem(tree_, &data);
    return paths_.at(static_cast<std::size_t>(data.lParam));
}

void DirList::setHasChildren(HTREEITEM item, bool hasChildren) {
    TVITEMW data{};
    data.mask = TVIF_CHILDREN;
    data.hItem = item;
    data.cChildren = hasChildren ? 1 : 0;
    TreeView_SetItem(tree_, &data);
}

void DirList::fillChildren(HTREEITEM item) {
    if (TreeView_GetChild(tree_, item) != nullptr)
        return;
    const std::wstring folder = pathOf(item);
    const std::vector<std::wstring> names = subfoldersOf(folder);
    for (const std::wstring& name : names)
        addFolder(item, name, joined(folder, name));
    if (names.empty())
        setHasChildren(item, false);
}

std::vector<std::wstring> DirList::childNames(HTREEITEM parent) const {
    std::vector<std::wstring> names;
    for (HTREEITEM child = TreeView_GetChild(tree_, parent); child != nullptr;
         child = TreeView_GetNextSibling(tree_, child)) {
        wchar_t text[MAX_PATH];
        TVITEMW data{};
        data.mask = TVIF_TEXT;
        data.hItem = child;
        data.pszText = text;
        data.cchTextMax = MAX_PATH;
        TreeView_GetItem(tree_, &data);
        names.emplace_back(text);
    }
    return names;
}

HTREEITEM DirList::childNamed(HTREEITEM parent, const std::wstring& name) {
    fillChildren(parent);
    HTREEITEM child = TreeView_GetChild(tree_, parent);
    for (const std::wstring& shown : childNames(parent)) {
        if (sameName(shown, name))
            return child;
        child = TreeView_GetNextSibling(tree_, child);
    }
    return nullptr;
}

void DirList::refreshOpenFolder() {
    HTREEITEM open = TreeView_GetSelection(tree_);
    if (open == nullptr)
        return;
    const std::wstring folder = pathOf(open);
    const std::vector<std::wstring> names = subfoldersOf(folder);
    if (names == childNames(open))
        return; // a batch's outputs change the folder often, and never its subfolders
    quiet_ = true;
    while (HTREEITEM child = TreeView_GetChild(tree_, open))
        TreeView_DeleteItem(tree_, child);
    for (const std::wstring& name : names)
        addFolder(open, name, joined(folder, name));
    setHasChildren(open, !names.empty());
    TreeView_Expand(tree_, open, TVE_EXPAND);
    quiet_ = false;
}

void DirList::setPath(const std::wstring& root, const std::wstring& path) {
    quiet_ = true;
    SendMessageW(tree_, WM_SETREDRAW, FALSE, 0);
    TreeView_DeleteAllItems(tree_);
    paths_.clear();
    root_ = root;
    path_ = path;
    HTREEITEM item = addFolder(TVI_ROOT, root, root);
    for (const std::wstring& step : stepsBelow(root, path)) {
        HTREEITEM child = childNamed(item, step);
        TreeView_Expand(tree_, item, TVE_EXPAND);
        if (child == nullptr) // hidden, or gone meanwhile: shown all the same, as the open one
            child = addFolder(item, step, joined(pathOf(item), step));
        item = child;
    }
    fillChildren(item);
    TreeView_Expand(tree_, item, TVE_EXPAND);
    TreeView_SelectItem(tree_, item);
    SendMessageW(tree_, WM_SETREDRAW, TRUE, 0);
    TreeView_EnsureVisible(tree_, item);
    InvalidateRect(tree_, nullptr, TRUE);
    quiet_ = false;
}

bool DirList::onNotify(const NMHDR& header) {
    switch (header.code) {
    case TVN_ITEMEXPANDINGW: {
        const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
        if (change.action == TVE_EXPAND)
            fillChildren(change.itemNew.hItem);
        return false;
    }
    case TVN_SELCHANGEDW: {
        const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
        if (quiet_ || change.itemNew.hItem == nullptr)
            return false;
        fillChildren(change.itemNew.hItem);
        TreeView_Expand(tree_, change.itemNew.hItem, TVE_EXPAND);
        const std::wstring& picked = pathOf(change.itemNew.hItem);
        if (picked == path_)
            return false;
        path_ = picked;
        return true;
    }
    default:
        return false;
    }
}
