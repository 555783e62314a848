#pragma once

#include <windows.h>

#include <string>
#include <thread>

// Tells a window, by posting it a message, whenever a file or subfolder of one folder appears,
// vanishes, is renamed or changes its attributes. The waiting is done on a thread of its own, so
// the window's thread never blocks on the file system.
class FolderWatch {
  public:
    FolderWatch();
    ~FolderWatch();
    FolderWatch(const FolderWatch&) = delete;
    FolderWatch& operator=(const FolderWatch&) = delete;

    // Watches folder from now on (none when empty), posting message to window on each change.
    void watch(const std::wstring& folder, HWND window, UINT message);

  private:
    void stop();

    HANDLE stopEvent_;
    std::thread waiter_;
};
