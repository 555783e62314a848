#pragma once

#include "BatchCommand.h"
#include "DirList.h"
#include "DriveList.h"
#include "FileList.h"
#include "singleInstance.h"

#include <windows.h>

#include <shellapi.h>

#include <shobjidl.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// The program's only window: pick a drive, a folder and some of its ".mpo" files, press "GO!",
// follow the batch in the status line and read the summary. The batch command (its steps, its
// thread, stopping) is the one every window shares; this holds the Win32 calls it asks for.
class frmMain : public twinframe::BatchWindow {
  public:
    frmMain();
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // Creates and shows the window; false when the system would not.
    bool create(HINSTANCE instance, int show);
    HWND handle() const { return window_; }

    // What the batch command asks of the window, on the window's thread.
    void setControlsLocked(bool locked) override;
    void setWaitCursor(bool waiting) override;
    void showStatus(const std::string& text) override;
    void showIdleText() override;
    void refreshFileList() override;
    twinframe::BoxAnswer showMessageBox(const std::string& text) override;
    void showProgress(std::int64_t done, std::int64_t total) override;
    void batchEnded(bool closeNow) override;
    // From any thread.
    void postToWindow(std::function<void()> task) override;

    // Opens the folder of the first file with those of the files that are its ".mpo" files
    // selected; the others are named in one message. As for files given on the command line or
    // dropped on the window; files handed off by another process of the program may instead be
    // added to the selection (HandOffs says when).
    void openFiles(const std::vector<std::wstring>& paths, bool handedOff = false);

    static constexpr const wchar_t* idleText = L"twinframe.example.org";
    // The window's class, by which later processes find it to hand it their files.
    static constexpr const wchar_t* windowClass = L"TwinframeMainWindow";

  private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK fileListProcedure(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                              UINT_PTR, DWORD_PTR self);
    static LRESULT CALLBACK watchForBox(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK boxProcedure(HWND box, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR, DWORD_PTR self);
    void boxShown(HWND box);

    void createControls();
    void useFontFor(UINT dpi);
    void placeControls();
    void onCommand(WORD id, WORD code);
    void onDriveChosen();
    void onDriveListOpening();
    void openFolder(const std::wstring& path);
    void goBackToLastGoodPlace();
    void onDrop(HDROP drop);
    bool speedHackChecked() const;
    void takeHandOffs();

    HWND window_ = nullptr;
    HWND Drive1Handle_ = nullptr;
    HWND cmbGo = nullptr;
    HWND lblMain = nullptr;
    HWND chk1 = nullptr;
    DriveList Drive1;
    DirList Dir1;
    FileList File1;
    HFONT font_ = nullptr;
    UINT dpi_ = 96;
    HWND focusBeforeBatch_ = nullptr;
    HWND focusWhileInactive_ = nullptr;

    // The message box on show, how it was answered, and the controls it disabled: the window
    // itself stays enabled meanwhile, so that its close button works.
    HWND openBox_ = nullptr;
    bool boxAnsweredStop_ = false;
    std::vector<HWND> disabledForBox_;

    // The last drive and folder that could be read, to go back to after one that cannot.
    std::wstring goodDrive_;
    std::wstring goodPath_;

    HandOffs handOffs_;

    bool busy_ = false;
    bool waitCursor_ = false;
    UINT taskbarButtonCreated_ = RegisterWindowMessageW(L"TaskbarButtonCreated");
    ITaskbarList3* taskbar_ = nullptr; // the taskbar button's progress, where there is one
    std::unique_ptr<twinframe::BatchCommand> batch_;
};
