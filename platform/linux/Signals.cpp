// The termination signals' handler: a count and a byte in a pipe, both async-signal-safe.
#include "platform/linux/Signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace {

std::atomic<int> received{0};
int pipeFds[2] = {-1, -1};

void onSignal(int) {
    const int savedErrno = errno;
    received.fetch_add(1);
    if (pipeFds[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t n = ::write(pipeFds[1], &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

namespace TerminationSignals {

void install() {
    if (pipeFds[0] < 0 && ::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        pipeFds[0] = pipeFds[1] = -1;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(sig, &action, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGPIPE, &ignore, nullptr);
}

int wakeFd() {
    return pipeFds[0];
}

int take() {
    char buffer[64];
    while (pipeFds[0] >= 0 && ::read(pipeFds[0], buffer, sizeof buffer) > 0) {
    }
    return received.load();
}

}  // namespace TerminationSignals
