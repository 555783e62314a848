#include "stopSignals.h"

#include <csignal>
#include <initializer_list>

namespace twinframe {

namespace {

volatile std::sig_atomic_t signalled = 0;

extern "C" void noteStopSignal(int) {
    signalled = 1;
}

} // namespace

void catchStopSignals() {
    sigset_t stopSignals;
    ::sigemptyset(&stopSignals);
    for (const int signal : {SIGINT, SIGTERM}) {
        struct sigaction previous {};
        ::sigaction(signal, nullptr, &previous);
        if (previous.sa_handler == SIG_IGN)
            continue;
        struct sigaction action {};
        action.sa_handler = noteStopSignal;
        ::sigemptyset(&action.sa_mask);
        // Restarted calls: the file being split is finished as if nothing had happened.
        action.sa_flags = static_cast<int>(SA_RESTART | SA_RESETHAND);
        ::sigaction(signal, &action, nullptr);
        ::sigaddset(&stopSignals, signal);
    }
    ::sigprocmask(SIG_UNBLOCK, &stopSignals, nullptr);
}

bool stopSignalled() {
    return signalled != 0;
}

} // namespace twinframe
