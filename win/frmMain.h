#pragma once

#include "BatchReporter.h"
#include "DirList.h"
#include "DriveList.h"
#include "FileList.h"
#include "runBatch.h"

#include <windows.h>

#include <shellapi.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The program's only window: pick a drive, a folder and some of its ".mpo" files, press "GO!",
// follow the batch in the status line and read the summary. The batch runs on a thread of its
// own, so the window keeps answering; what the batch reports is posted back to the window's
// thread, and each message holds the batch until it is answered.
class frmMain : public twinframe::BatchReporter {
  public:
    frmMain();
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // Creates and shows the window; false when the system would not.
    bool create(HINSTANCE instance, int show);
    HWND handle() const { return window_; }

    // Called on the window's thread.
    void setStatus(const std::string& text) override;
    void showMessage(const std::string& text) override;

    // Opens the folder of the first file with those of the files that are its ".mpo" files
    // selected; the others are named in one message. As for files given on the command line or
    // dropped on the window.
    void openFiles(const std::vector<std::wstring>& paths);

    static constexpr const wchar_t* idleText = L"twinframe.example.org";

  private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam);
    LRESULT onMessage(UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK fileListProcedure(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                              UINT_PTR, DWORD_PTR self);

    void createControls();
    void useFontFor(UINT dpi);
    void placeControls();
    void onCommand(WORD id, WORD code);
    void onDriveChosen();
    void onDriveListOpening();
    void openFolder(const std::wstring& path);
    void goBackToLastGoodPlace();
    void onGo();
    void onBatchDone();
    void setBusy(bool busy);
    void showStatusFromBatch();
    void onDrop(HDROP drop);

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

    // The last drive and folder that could be read, to go back to after one that cannot.
    std::wstring goodDrive_;
    std::wstring goodPath_;

    // The running batch and what it shares with the window.
    class Relay;
    std::unique_ptr<Relay> relay_;
    std::thread batchThread_;
    bool busy_ = false;
    twinframe::BatchResult batchResult_;
    std::atomic<bool> speedHack_ = false;
    std::atomic<bool> stopRequested_ = false;
    bool closeWhenStopped_ = false;
};
