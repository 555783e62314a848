#include "frmMain.h"

#include "fileArguments.h"
#include "platform/failure.h"
#include "platform/utf16.h"
#include "twipsLayout.h"
#include "version.h"
#include "wideText.h"

#include <shellapi.h>

#include <algorithm>
#include <filesystem>
#include <utility>

namespace {

enum ControlId : WORD {
    kDrive1 = 101,
    kDir1,
    kFile1,
    kCmbGo,
    kLblMain,
    kChk1,
};

// What the batch's thread and the folder watch post to the window.
enum WindowMessage : UINT {
    kRunTask = WM_APP + 1, // lParam: a std::function<void()> to run and delete
    kFolderChanged,
    kFolderPicked, // the user picked a folder in Dir1
    kActivateBox,  // the window was activated while a box shows: the box goes to the front
    kTakeHandOffs, // files were handed off by another process, or may now be taken
};

// The window whose message box is about to be shown, for the hook that finds the box.
thread_local frmMain* boxOwner = nullptr;

constexpr const wchar_t* kWindowClass = frmMain::windowClass;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

std::error_code folderProblem(const std::wstring& folder) {
    return twinframe::folderProblem(std::filesystem::path(folder));
}

std::string cannotOpenFolder(const std::wstring& folder, std::error_code error) {
    return twinframe::describeFailure("Cannot open folder", twinframe::utf8FromUtf16(folder),
                                      error);
}

std::wstring fullPath(const std::wstring& path) {
    const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (size == 0)
        return path;
    std::wstring full(size, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
    full.resize(length);
    return full;
}

// "C:\" for "C:\a\b", "\\server\share\" for "\\server\share\a".
std::wstring rootOf(const std::wstring& path) {
    if (path.rfind(L"\\\\", 0) == 0) {
        const std::size_t share = path.find(L'\\', 2);
        const std::size_t end = share == std::wstring::npos ? share : path.find(L'\\', share + 1);
        return end == std::wstring::npos ? path + L'\\' : path.substr(0, end + 1);
    }
    return path.substr(0, std::min<std::size_t>(path.size(), 3));
}

} // namespace

frmMain::frmMain() : batch_(std::make_unique<twinframe::BatchCommand>(*this)) {}

frmMain::~frmMain() {
    batch_.reset(); // before the window it reports to
    if (taskbar_ != nullptr)
        taskbar_->Release();
    if (font_ != nullptr)
        DeleteObject(font_);
}

bool frmMain::create(HINSTANCE instance, int show) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = kWindowClass;
    windowClass.hIcon = static_cast<HICON>(
        LoadImageW(instance, L"IDI_ICON1", IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, L"IDI_ICON1", IMAGE_ICON,
                                                        GetSystemMetrics(SM_CXSMICON),
                                                        GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    if (RegisterClassExW(&windowClass) == 0)
        return false;
    const std::wstring caption = twinframe::utf16FromUtf8(twinframe::kProductName);
    window_ =
        CreateWindowExW(WS_EX_CONTROLPARENT, kWindowClass, caption.c_str(), kWindowStyle,
                        CW_USEDEFAULT, CW_USEDEFAULT, 400, 300, nullptr, nullptr, instance, this);
    if (window_ == nullptr)
        return false;
    DragAcceptFiles(window_, TRUE);
    ShowWindow(window_, show);
    UpdateWindow(window_);
    return true;
}

LRESULT CALLBACK frmMain::windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self =
            static_cast<frmMain*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<frmMain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->onMessage(message, wParam, lParam);
}

LRESULT frmMain::onMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        createControls();
        return 0;
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam));
        return 0;
    case WM_NOTIFY:
        if (reinterpret_cast<const NMHDR*>(lParam)->idFrom == kDir1 &&
            Dir1.onNotify(*reinterpret_cast<const NMHDR*>(lParam)))
            // Opened once the tree is done with its notice: a folder that cannot be opened
            // brings a message box and rebuilds the tree, neither of which it expects meanwhile.
            PostMessageW(window_, kFolderPicked, 0, 0);
        return 0;
    case DM_GETDEFID: // Return and Enter press "GO!" wherever the focus is
        return MAKELRESULT(kCmbGo, DC_HASDEFID);
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE && openBox_ != nullptr && IsWindowVisible(openBox_)) {
            PostMessageW(window_, kActivateBox, 0, 0);
            return 0;
        }
        // As a dialog does: the focus leaves with the window and comes back where it was.
        if (LOWORD(wParam) == WA_INACTIVE)
            focusWhileInactive_ = GetFocus();
        else if (focusWhileInactive_ != nullptr && IsWindowEnabled(focusWhileInactive_))
            SetFocus(focusWhileInactive_);
        else
            SetFocus(busy_ ? chk1 : Drive1Handle_);
        return 0;
    case WM_SETCURSOR:
        if (waitCursor_ && LOWORD(lParam) == HTCLIENT) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case WM_DROPFILES:
        onDrop(reinterpret_cast<HDROP>(wParam));
        return 0;
    case WM_COPYDATA: {
        // Another process of the program was started, with files or without: the window comes
        // forward and takes the files once it is free to (the sender waits for this reply only).
        auto files = handedOffFiles(*reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        if (!files)
            break;
        if (IsIconic(window_))
            ShowWindow(window_, SW_RESTORE);
        SetForegroundWindow(window_);
        if (!files->empty()) {
            handOffs_.push(std::move(*files));
            PostMessageW(window_, kTakeHandOffs, 0, 0);
        }
        return TRUE;
    }
    case WM_TIMER:
        // The open folder changed: both lists follow it.
        if (wParam == FileList::kRefreshTimer) {
            File1.onTimer();
            if (sameName(Dir1.path(), File1.path()))
                Dir1.refreshOpenFolder();
        }
        return 0;
    case WM_DPICHANGED: {
        useFontFor(HIWORD(wParam));
        const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
        SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
        placeControls();
        return 0;
    }
    case kRunTask: {
        const std::unique_ptr<std::function<void()>> task(
            reinterpret_cast<std::function<void()>*>(lParam));
        (*task)();
        return 0;
    }
    case kFolderChanged:
        File1.folderChanged();
        return 0;
    case kFolderPicked:
        openFolder(Dir1.path());
        return 0;
    case kActivateBox:
        if (openBox_ != nullptr)
            SetActiveWindow(openBox_);
        return 0;
    case kTakeHandOffs:
        takeHandOffs();
        return 0;
    case WM_CLOSE: {
        // Closing during a batch stops it after the file being split, and closes the window then.
        // A box on show is answered as Escape answers it, so that the batch can get there; the
        // window closes once the box is gone.
        const bool closeNow = batch_->requestClose();
        if (openBox_ != nullptr) {
            SendMessageW(openBox_, WM_COMMAND, IDCANCEL, 0);
            if (closeNow)
                PostMessageW(window_, WM_CLOSE, 0, 0);
        } else if (closeNow) {
            DestroyWindow(window_);
        }
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        // The shell tells each window when its taskbar button is there to show progress on.
        if (message == taskbarButtonCreated_ && taskbar_ == nullptr)
            CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                             IID_PPV_ARGS(&taskbar_));
        break;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

void frmMain::createControls() {
    const auto make = [this](const wchar_t* kind, const wchar_t* text, DWORD style, WORD id,
                             DWORD exStyle = 0) {
        return CreateWindowExW(exStyle, kind, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10,
                               window_, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), nullptr,
                               nullptr);
    };
    // Created in tab order, which is the order the dialog manager moves the focus in. The tree
    // does not scroll sideways: showing a deep folder would push the drive and the folders above
    // it, which tell the user where they are, out of view.
    Drive1Handle_ =
        make(WC_COMBOBOXW, L"", WS_TABSTOP | WS_GROUP | WS_VSCROLL | CBS_DROPDOWNLIST, kDrive1);
    HWND tree = make(WC_TREEVIEWW, L"",
                     WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_SHOWSELALWAYS |
                         TVS_DISABLEDRAGDROP | TVS_NOHSCROLL,
                     kDir1, WS_EX_CLIENTEDGE);
    HWND list = make(WC_LISTBOXW, L"",
                     WS_TABSTOP | WS_VSCROLL | LBS_EXTENDEDSEL | LBS_NOINTEGRALHEIGHT |
                         LBS_HASSTRINGS | LBS_NOTIFY,
                     kFile1, WS_EX_CLIENTEDGE);
    cmbGo = make(WC_BUTTONW, L"GO!", WS_TABSTOP | BS_DEFPUSHBUTTON, kCmbGo);
    lblMain = make(WC_STATICW, idleText, SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS, kLblMain);
    chk1 = make(WC_BUTTONW, L"Multi-file speed hack", WS_TABSTOP | BS_AUTOCHECKBOX, kChk1);
    focusWhileInactive_ = Drive1Handle_;
    Drive1.attach(Drive1Handle_);
    Dir1.attach(tree);
    File1.attach(list, window_, kFolderChanged);
    SetWindowSubclass(list, fileListProcedure, 0, reinterpret_cast<DWORD_PTR>(this));

    useFontFor(GetDpiForWindow(window_));
    placeControls();

    const std::wstring start = fullPath(L".");
    Drive1.refresh();
    Drive1.setDriveHolding(start);
    goodDrive_ = Drive1.drive();
    goodPath_ = start;
    Dir1.setPath(rootOf(start), start);
    File1.setPath(start);
}

// Ctrl+A selects every file, as in the file lists of Explorer; a list box has no such key.
LRESULT CALLBACK frmMain::fileListProcedure(HWND list, UINT message, WPARAM wParam, LPARAM lParam,
                                            UINT_PTR, DWORD_PTR self) {
    const bool control = GetKeyState(VK_CONTROL) < 0;
    if (message == WM_KEYDOWN && wParam == 'A' && control) {
        reinterpret_cast<frmMain*>(self)->File1.selectAll();
        return 0;
    }
    if (message == WM_CHAR && wParam == 1) // the Ctrl+A character would search for a name
        return 0;
    return DefSubclassProc(list, message, wParam, lParam);
}

void frmMain::useFontFor(UINT dpi) {
    dpi_ = dpi;
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi);
    HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);
    for (HWND control = GetWindow(window_, GW_CHILD); control != nullptr;
         control = GetWindow(control, GW_HWNDNEXT))
        SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    if (font_ != nullptr)
        DeleteObject(font_);
    font_ = font;
}

// The fixed layout the windows share, in twips, at the monitor's dpi and the system's message
// font.
void frmMain::placeControls() {
    HDC context = GetDC(window_);
    const HGDIOBJ previous = SelectObject(context, font_);
    TEXTMETRICW text{};
    GetTextMetricsW(context, &text);
    SIZE caption{};
    const wchar_t* chk1Caption = L"Multi-file speed hack";
    GetTextExtentPoint32W(context, chk1Caption, static_cast<int>(wcslen(chk1Caption)), &caption);
    SelectObject(context, previous);
    ReleaseDC(window_, context);

    const twinframe::TwipsScale scale(dpi_, dpi_, text.tmAveCharWidth, text.tmHeight);
    const int boxWidth =
        GetSystemMetricsForDpi(SM_CXMENUCHECK, dpi_) + MulDiv(6, static_cast<int>(dpi_), 96);
    const twinframe::WindowLayout layout =
        twinframe::windowLayout(scale, static_cast<int>(caption.cx) + boxWidth);
    const auto place = [](HWND control, const twinframe::PixelRect& rect) {
        MoveWindow(control, rect.left, rect.top, rect.width, rect.height, TRUE);
    };

    RECT frame = {0, 0, layout.width, layout.height};
    AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, WS_EX_CONTROLPARENT, dpi_);
    SetWindowPos(window_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // A drop-down list's height is that of its open list; the closed box takes the font's.
    twinframe::PixelRect drive = layout.Drive1;
    drive.height = scale.px(twinframe::twips::Drive1.height * 8);
    place(Drive1Handle_, drive);
    place(Dir1.handle(), layout.Dir1);
    // A narrow indent, so that a folder five levels down still shows most of its name.
    TreeView_SetIndent(Dir1.handle(), scale.px(120));
    place(File1.handle(), layout.File1);
    place(cmbGo, layout.cmbGo);
    place(lblMain, layout.lblMain);
    place(chk1, layout.chk1);
}

void frmMain::onCommand(WORD id, WORD code) {
    switch (id) {
    case kCmbGo:
        if (code == BN_CLICKED && !batch_->running())
            batch_->start(File1.entries(), std::filesystem::path(File1.path()), speedHackChecked());
        break;
    case kChk1:
        // The batch asks before each file; the box itself is only read on the window's thread.
        if (code == BN_CLICKED)
            batch_->setSpeedHack(speedHackChecked());
        break;
    case kDrive1:
        if (code == CBN_SELCHANGE)
            onDriveChosen();
        else if (code == CBN_DROPDOWN)
            onDriveListOpening();
        break;
    case IDCANCEL: // Escape
        batch_->stop();
        break;
    default:
        break;
    }
}

// The folder the system keeps current for that drive, its root unless a program changed it.
void frmMain::onDriveChosen() {
    const std::wstring drive = Drive1.drive();
    if (drive.empty() || sameName(drive, goodDrive_))
        return;
    openFolder(fullPath(drive.substr(0, 2)));
}

// A drive that went away while it was open is treated as one that cannot be read.
void frmMain::onDriveListOpening() {
    Drive1.refresh();
    if (Drive1.lists(goodDrive_) || goodDrive_.empty())
        return;
    if (const std::error_code error = folderProblem(goodPath_)) {
        showMessageBox(cannotOpenFolder(goodPath_, error));
        goBackToLastGoodPlace();
    }
}

void frmMain::openFolder(const std::wstring& path) {
    if (const std::error_code error = folderProblem(path)) {
        showMessageBox(cannotOpenFolder(path, error));
        goBackToLastGoodPlace();
        return;
    }
    Drive1.setDriveHolding(path);
    if (!sameName(rootOf(path), rootOf(Dir1.path())) || Dir1.path() != path)
        Dir1.setPath(rootOf(path), path);
    File1.setPath(path);
    goodDrive_ = Drive1.drive();
    goodPath_ = path;
}

// Back to the last folder that could be read, or, should it have gone meanwhile, the nearest
// folder above it that still can; when its whole drive has gone, the folder the program started
// in, or else the first drive that can be read, as picking that drive would.
void frmMain::goBackToLastGoodPlace() {
    std::wstring path = twinframe::nearestReadableFolder(goodPath_).wstring();
    if (folderProblem(path)) {
        Drive1.refresh();
        path = fullPath(L".");
        for (const DriveList::Drive& drive : DriveList::presentDrives()) {
            if (!folderProblem(path))
                break;
            path = drive.root;
        }
    }
    Drive1.setDriveHolding(path);
    Dir1.setPath(rootOf(path), path);
    File1.setPath(path);
    goodDrive_ = Drive1.drive();
    goodPath_ = path;
}

bool frmMain::speedHackChecked() const {
    return SendMessageW(chk1, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void frmMain::setControlsLocked(bool locked) {
    busy_ = locked;
    if (locked) {
        handOffs_.endBurst();
        // A disabled control keeps no focus: Escape must still reach the window.
        focusBeforeBatch_ = GetFocus();
        SetFocus(chk1);
    }
    for (HWND control : {cmbGo, File1.handle(), Dir1.handle(), Drive1Handle_})
        EnableWindow(control, !locked);
    if (!locked && focusBeforeBatch_ != nullptr && IsWindowEnabled(focusBeforeBatch_)) {
        SetFocus(focusBeforeBatch_);
        // A box of the batch left the window with the focus on chk1, where it was put for the
        // batch, to be given back when the window is next activated: that can come after this
        // (under Wine it does), and the next Space would tick the box.
        focusWhileInactive_ = focusBeforeBatch_;
    }
}

void frmMain::setWaitCursor(bool waiting) {
    // WM_SETCURSOR keeps it so while the mouse moves; show it now, where the mouse is.
    waitCursor_ = waiting;
    POINT mouse{};
    GetCursorPos(&mouse);
    const HWND under = WindowFromPoint(mouse);
    if (under == window_ || IsChild(window_, under))
        SetCursor(LoadCursorW(nullptr, waiting ? IDC_WAIT : IDC_ARROW));
}

void frmMain::showIdleText() {
    SetWindowTextW(lblMain, idleText);
}

// A folder that went during the batch (a card taken out), which the batch has said, is not said
// again: the lists move to the nearest folder that is there.
void frmMain::refreshFileList() {
    if (folderProblem(File1.path())) {
        goBackToLastGoodPlace();
        return;
    }
    File1.refresh();
}

void frmMain::showProgress(std::int64_t done, std::int64_t total) {
    if (taskbar_ == nullptr)
        return;
    if (!busy_ || total <= 0) {
        taskbar_->SetProgressState(window_, TBPF_NOPROGRESS);
        return;
    }
    taskbar_->SetProgressValue(window_, static_cast<ULONGLONG>(done),
                               static_cast<ULONGLONG>(total));
}

void frmMain::batchEnded(bool closeNow) {
    if (taskbar_ != nullptr)
        taskbar_->SetProgressState(window_, TBPF_NOPROGRESS);
    if (closeNow)
        DestroyWindow(window_);
    else if (!handOffs_.empty())
        PostMessageW(window_, kTakeHandOffs, 0, 0);
}

// Files handed off while a batch ran or a box showed were kept for now: the batch splits what was
// selected when GO! was pressed, and a box is answered before the lists change under it.
void frmMain::takeHandOffs() {
    if (batch_->running() || openBox_ != nullptr)
        return;
    for (const std::vector<std::wstring>& files : handOffs_.takeAll())
        openFiles(files, true);
}

void frmMain::postToWindow(std::function<void()> task) {
    auto* posted = new std::function<void()>(std::move(task));
    if (!PostMessageW(window_, kRunTask, 0, reinterpret_cast<LPARAM>(posted)))
        delete posted; // the window is gone
}

void frmMain::onDrop(HDROP drop) {
    std::vector<std::wstring> paths;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        paths.push_back(path);
    }
    DragFinish(drop);
    if (!batch_->running())
        openFiles(paths);
}

void frmMain::openFiles(const std::vector<std::wstring>& paths, bool handedOff) {
    if (paths.empty() || batch_->running())
        return;
    const std::vector<std::filesystem::path> given(paths.begin(), paths.end());
    const twinframe::FilesToOpen files = twinframe::filesToOpen(given);
    if (files.folder) {
        const std::wstring folder = files.folder->wstring();
        std::vector<std::wstring> selected;
        if (handedOff && handOffs_.joinsSelection(folder) && sameName(folder, File1.path()))
            selected = File1.selectedNames();
        else
            openFolder(folder);
        handOffs_.opened(folder);
        for (const std::string& name : files.selected)
            selected.push_back(twinframe::utf16FromUtf8(name));
        File1.selectNames(selected);
    }
    if (!files.message.empty())
        showMessageBox(files.message);
}

void frmMain::showStatus(const std::string& text) {
    SetWindowTextW(lblMain, twinframe::utf16FromUtf8(text).c_str());
    // Paint at once, so that each text that gets through from the batch's thread is seen.
    UpdateWindow(lblMain);
}

// The system's message box, watched: a hook finds it as it is shown, so that Escape on it (or its
// close button) can be told from OK, which the box itself answers alike.
twinframe::BoxAnswer frmMain::showMessageBox(const std::string& text) {
    const std::wstring title = twinframe::utf16FromUtf8(twinframe::kProductName);
    const HWND outerBox = openBox_;
    const bool outerStop = boxAnsweredStop_;
    openBox_ = nullptr;
    boxAnsweredStop_ = false;
    frmMain* const outerOwner = std::exchange(boxOwner, this);
    const HHOOK hook = SetWindowsHookExW(WH_CBT, watchForBox, nullptr, GetCurrentThreadId());
    MessageBoxW(window_, messageBoxText(text).c_str(), title.c_str(), MB_OK);
    if (hook != nullptr)
        UnhookWindowsHookEx(hook);
    boxOwner = outerOwner;
    for (HWND control : disabledForBox_)
        EnableWindow(control, TRUE);
    disabledForBox_.clear();
    const twinframe::BoxAnswer answer =
        boxAnsweredStop_ ? twinframe::BoxAnswer::stop : twinframe::BoxAnswer::ok;
    openBox_ = outerBox;
    boxAnsweredStop_ = outerStop;
    if (openBox_ == nullptr && !handOffs_.empty())
        PostMessageW(window_, kTakeHandOffs, 0, 0);
    return answer;
}

LRESULT CALLBACK frmMain::watchForBox(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && boxOwner != nullptr && boxOwner->openBox_ == nullptr) {
        const HWND activated = reinterpret_cast<HWND>(wParam);
        if (GetWindow(activated, GW_OWNER) == boxOwner->window_)
            boxOwner->boxShown(activated);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The box disabled the window, which would leave its close button dead until the box is
// answered: the window is enabled again with its controls disabled, so that it takes no input
// but its closing, which answers the box (WM_CLOSE).
void frmMain::boxShown(HWND box) {
    openBox_ = box;
    SetWindowSubclass(box, boxProcedure, 0, reinterpret_cast<DWORD_PTR>(this));
    for (HWND control = GetWindow(window_, GW_CHILD); control != nullptr;
         control = GetWindow(control, GW_HWNDNEXT))
        if (IsWindowEnabled(control)) {
            EnableWindow(control, FALSE);
            disabledForBox_.push_back(control);
        }
    EnableWindow(window_, TRUE);
}

// Escape, and the box's close button, come to the box as IDCANCEL, which a box with OK alone
// answers as OK.
LRESULT CALLBACK frmMain::boxProcedure(HWND box, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR self) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)
        reinterpret_cast<frmMain*>(self)->boxAnsweredStop_ = true;
    if (message == WM_NCDESTROY)
        RemoveWindowSubclass(box, boxProcedure, 0);
    return DefSubclassProc(box, message, wParam, lParam);
}
