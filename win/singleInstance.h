#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

// One window per user session. Explorer may start the program once for each file of one "Open
// with" (and nearly at once): the first process holds a named mutex and shows the window; each
// later one hands its files to that window with WM_COPYDATA and ends without a window of its own.
class SingleInstance {
  public:
    SingleInstance() = default;
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when this process is to show the window, and holds the mutex until it ends. False
    // when the running window took the files, or, given none, was brought forward: a second
    // window would be one the next "Open with" could not tell from the first, and a Windows user
    // who starts an open tool again expects it to come forward. A process that finds the mutex
    // held but no window yet waits for it (the first may still be starting), up to a limit after
    // which that first process is taken for hung and this one shows its own window.
    bool claim(const wchar_t* windowClass, const std::vector<std::wstring>& files);

  private:
    HANDLE mutex_ = nullptr;
};

// The files a WM_COPYDATA of ours carries (full paths, each ended by a null character; none from a
// process started without files), or nothing when the message is not a hand-off.
std::optional<std::vector<std::wstring>> handedOffFiles(const COPYDATASTRUCT& data);

// Files handed to the running window, kept while it cannot take them, and the rule that gathers
// one Explorer action's files into one selection.
//
// The rule: files handed off within kBurstMs of the last files the window opened, and in the
// same folder, are added to the selection; any others (later, or from another folder) open their
// folder with just them selected, as files given on the command line do. Files handed off while a
// batch runs or a message box shows are kept, and taken once the batch and its boxes are done
// (so they never change what the batch splits); a batch ends a burst, and files kept through it
// open as a burst of their own.
class HandOffs {
  public:
    static constexpr ULONGLONG kBurstMs = 5000;

    void push(std::vector<std::wstring> files) { pending_.push_back(std::move(files)); }
    bool empty() const { return pending_.empty(); }
    std::vector<std::vector<std::wstring>> takeAll() { return std::exchange(pending_, {}); }

    // The window opened files in folder now.
    void opened(const std::wstring& folder);
    // A batch started: files handed off from now on do not join the selection it split.
    void endBurst() { openedAny_ = false; }
    // Whether files of folder handed off now join the selection.
    bool joinsSelection(const std::wstring& folder) const;

  private:
    std::vector<std::vector<std::wstring>> pending_;
    std::wstring lastFolder_;
    ULONGLONG lastOpened_ = 0;
    bool openedAny_ = false;
};
