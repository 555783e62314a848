#include "frmMain.h"
#include "singleInstance.h"

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <vector>

// Files named on the command line, as Explorer's "Open with" passes them.
static std::vector<std::wstring> fileArguments() {
    std::vector<std::wstring> files;
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i)
        files.emplace_back(arguments[i]);
    LocalFree(arguments);
    return files;
}

static int runWindow(HINSTANCE instance, int show, const std::vector<std::wstring>& files) {
    frmMain window;
    if (!window.create(instance, show))
        return 1;
    window.openFiles(files);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // A Return held down repeats (bit 30: the key was down already): only its first press
        // counts, so that the Return that answered a box, still down once the focus is back on
        // the window, does not press GO! again, nor does a held Return run batch after batch.
        constexpr LPARAM kWasDown = LPARAM(1) << 30;
        if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN &&
            (message.lParam & kWasDown) != 0)
            continue;
        // Tab, Shift+Tab, Return and Escape move between and press the controls, as in a dialog.
        if (IsDialogMessageW(window.handle(), &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return static_cast<int>(message.wParam);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    // A window of the program already open takes these files, and this process ends.
    const std::vector<std::wstring> files = fileArguments();
    SingleInstance session;
    if (!session.claim(frmMain::windowClass, files))
        return 0;
    const INITCOMMONCONTROLSEX controls = {sizeof controls,
                                           ICC_STANDARD_CLASSES | ICC_TREEVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    // The taskbar button's progress is a COM object of the shell.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const int status = runWindow(instance, show, files);
    if (SUCCEEDED(com))
        CoUninitialize();
    return status;
}
