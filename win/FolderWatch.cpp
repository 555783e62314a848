#include "FolderWatch.h"

FolderWatch::FolderWatch() : stopEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

FolderWatch::~FolderWatch() {
    stop();
    CloseHandle(stopEvent_);
}

void FolderWatch::stop() {
    if (!waiter_.joinable())
        return;
    SetEvent(stopEvent_);
    waiter_.join();
    ResetEvent(stopEvent_);
}

void FolderWatch::watch(const std::wstring& folder, HWND window, UINT message) {
    stop();
    if (folder.empty())
        return;
    HANDLE change = FindFirstChangeNotificationW(
        folder.c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES);
    if (change == INVALID_HANDLE_VALUE)
        return; // the list is then read again after each batch only
    waiter_ = std::thread([change, stop = stopEvent_, window, message] {
        const HANDLE waitFor[] = {stop, change};
        while (WaitForMultipleObjects(2, waitFor, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
            PostMessageW(window, message, 0, 0);
            if (!FindNextChangeNotification(change))
                break;
        }
        FindCloseChangeNotification(change);
    });
}
