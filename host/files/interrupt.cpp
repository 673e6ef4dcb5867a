#include "files/interrupt.h"

#include <csignal>

namespace cvnhost {

namespace {

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void requestStop(int) {
    g_stop.store(true);
}

} // namespace

const std::atomic<bool>& stopOnInterrupt() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    // A closed terminal (SIGHUP) or a reader that went away (SIGPIPE) ends the run as Ctrl-C does.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        sigaction(signal, &action, nullptr);
    }
    return g_stop;
}

const std::atomic<bool>& stopRequested() {
    return g_stop;
}

} // namespace cvnhost
