#include "singleInstance.h"

#include "wideText.h"

namespace {

// "Local\": one per logon session, which is one user's.
constexpr const wchar_t* kMutexName = L"Local\\Twinframe.Window";
// Marks a WM_COPYDATA as a hand-off of files, "TWF1".
constexpr ULONG_PTR kHandOffTag = 0x54574631;
// How long a later process waits for the first one's window, and for it to take the files.
constexpr ULONGLONG kWaitForWindowMs = 60000;
constexpr UINT kSendTimeoutMs = 10000;

std::wstring fullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    full.resize(GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
    return full;
}

// Hands the files to window, or brings it forward when there are none; false when it would not
// take them (it is closing, or hung).
bool handOff(HWND window, const std::vector<std::wstring>& files) {
    // The running window has another current folder: names go as full paths.
    std::wstring text;
    for (const std::wstring& file : files)
        text += fullPath(file) + L'\0';
    COPYDATASTRUCT data{};
    data.dwData = kHandOffTag;
    data.cbData = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    data.lpData = text.data();
    // This process was started by the user's action and may bring a window forward; the window
    // does so itself once it has the files.
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    AllowSetForegroundWindow(owner);
    DWORD_PTR taken = FALSE;
    return SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                               SMTO_ABORTIFHUNG, kSendTimeoutMs, &taken) != 0 &&
           taken == TRUE;
}

} // namespace

SingleInstance::~SingleInstance() {
    if (mutex_ != nullptr) {
        ReleaseMutex(mutex_);
        CloseHandle(mutex_);
    }
}

bool SingleInstance::claim(const wchar_t* windowClass, const std::vector<std::wstring>& files) {
    mutex_ = CreateMutexW(nullptr, TRUE, kMutexName);
    if (mutex_ == nullptr)
        return true; // no mutex to be had: a window of its own, as before
    if (GetLastError() != ERROR_ALREADY_EXISTS)
        return true;
    // Another process holds it: its window takes the files once it shows. Should that process
    // end first (or end without a window), the mutex comes to this one, which then shows its own.
    const ULONGLONG deadline = GetTickCount64() + kWaitForWindowMs;
    while (GetTickCount64() < deadline) {
        if (const HWND window = FindWindowW(windowClass, nullptr);
            window != nullptr && handOff(window, files))
            return false;
        const DWORD waited = WaitForSingleObject(mutex_, 100);
        if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED)
            return true;
    }
    // Held all this while with no window taking files: the first process is stuck, this one
    // shows a window of its own (the mutex stays the other's).
    CloseHandle(mutex_);
    mutex_ = nullptr;
    return true;
}

std::optional<std::vector<std::wstring>> handedOffFiles(const COPYDATASTRUCT& data) {
    if (data.dwData != kHandOffTag || data.cbData % sizeof(wchar_t) != 0)
        return std::nullopt;
    std::vector<std::wstring> files;
    if (data.lpData == nullptr || data.cbData == 0)
        return files;
    const std::wstring_view text(static_cast<const wchar_t*>(data.lpData),
                                 data.cbData / sizeof(wchar_t));
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(L'\0', start);
        if (end == std::wstring_view::npos)
            end = text.size();
        if (end > start)
            files.emplace_back(text.substr(start, end - start));
        start = end + 1;
    }
    return files;
}

void HandOffs::opened(const std::wstring& folder) {
    lastFolder_ = folder;
    lastOpened_ = GetTickCount64();
    openedAny_ = true;
}

bool HandOffs::joinsSelection(const std::wstring& folder) const {
    return openedAny_ && GetTickCount64() - lastOpened_ < kBurstMs && sameName(folder, lastFolder_);
}
