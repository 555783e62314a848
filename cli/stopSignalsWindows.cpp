// Ctrl+C, Ctrl+Break and closing the console window, the Windows ways of asking a console program
// to stop.
#include "stopSignals.h"

#include <windows.h>

#include <atomic>

namespace twinframe {

namespace {

std::atomic<bool> signalled{false};

BOOL WINAPI noteStopEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        signalled = true;
        return TRUE;
    case CTRL_CLOSE_EVENT:
        // The process ends as soon as this returns: waiting here lets the file being split be
        // finished (the batch then returns and the process exits), within the few seconds the
        // system allows before it ends the process anyway.
        signalled = true;
        ::Sleep(INFINITE);
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

void catchStopSignals() {
    // A process started with Ctrl+C ignored (as a background job is) keeps ignoring it: the handler
    // is still told of Ctrl+Break and of the console's closing.
    ::SetConsoleCtrlHandler(noteStopEvent, TRUE);
}

bool stopSignalled() {
    return signalled;
}

// Windows has no SIGPIPE to kill the process mid-file: a write to a closed pipe only fails, and
// the batch goes on to its end, each file whole.
bool outputClosed() {
    return false;
}

bool stopRequested() {
    return stopSignalled();
}

} // namespace twinframe
