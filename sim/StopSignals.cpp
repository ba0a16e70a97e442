#include "StopSignals.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace sim {

namespace {

volatile std::sig_atomic_t g_stop = 0;
int g_wake[2] = {-1, -1};

void onSignal(int) {
    g_stop = 1;
    const char byte = 0;
    [[maybe_unused]] const ssize_t n = ::write(g_wake[1], &byte, 1);
}

}  // namespace

void installStopSignals() {
    if (::pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        std::perror("tq7310-sim: pipe");
    }
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGTERM, &sa, nullptr);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGHUP, &sa, nullptr);
    // Started in the background from a shell, reading or writing the
    // terminal must not stop the simulator; a refused read counts as the
    // end of control input.
    std::signal(SIGTTIN, SIG_IGN);
    std::signal(SIGTTOU, SIG_IGN);
    std::signal(SIGPIPE, SIG_IGN);
}

bool stopRequested() {
    return g_stop != 0;
}

int stopFd() {
    return g_wake[0];
}

}  // namespace sim
