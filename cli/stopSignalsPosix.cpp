#include "stopSignals.h"

#include <csignal>
#include <initializer_list>

namespace twinframe {

namespace {

volatile std::sig_atomic_t signalled = 0;
volatile std::sig_atomic_t pipeClosed = 0;

extern "C" void noteStopSignal(int) {
    signalled = 1;
}

extern "C" void noteClosedPipe(int) {
    pipeClosed = 1;
}

// Restarted calls: the file being split is finished as if nothing had happened.
void handle(int signal, void (*handler)(int), int flags) {
    struct sigaction action {};
    action.sa_handler = handler;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | flags;
    ::sigaction(signal, &action, nullptr);
}

} // namespace

void catchStopSignals() {
    sigset_t caught;
    ::sigemptyset(&caught);
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction previous {};
        ::sigaction(signal, nullptr, &previous);
        if (previous.sa_handler == SIG_IGN)
            continue;
        handle(signal, noteStopSignal, static_cast<int>(SA_RESETHAND));
        ::sigaddset(&caught, signal);
    }
    // Kept for every later write too: the rest of the file being finished may meet the closed
    // pipe again (a message on a closed standard error), and must not be killed by it.
    handle(SIGPIPE, noteClosedPipe, 0);
    ::signal(SIGXFSZ, SIG_IGN);
    ::sigaddset(&caught, SIGPIPE);
    ::sigaddset(&caught, SIGXFSZ);
    ::sigprocmask(SIG_UNBLOCK, &caught, nullptr);
}

bool stopSignalled() {
    return signalled != 0;
}

bool outputClosed() {
    return pipeClosed != 0;
}

bool stopRequested() {
    return stopSignalled() || outputClosed();
}

} // namespace twinframe
