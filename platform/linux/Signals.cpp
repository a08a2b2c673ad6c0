// The termination signals' handler and the fill files it removes on a second signal. Only
// async-signal-safe calls are made in the handler: write, unlinkat and _exit.
#include "platform/linux/Signals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>

namespace {

constexpr int kStopped = 1;  // the status of a stopped run

std::atomic<int> received{0};
int pipeFds[2] = {-1, -1};

// A fill file that has a name: the slot is in use while dir >= 0; the name is written before dir
// is published and read only after it.
struct Named {
    std::atomic<int> dir{-1};
    char name[64] = {};
};
std::array<Named, 4> named;

void onSignal(int) {
    const int savedErrno = errno;
    if (received.fetch_add(1) + 1 >= 2) {
        for (Named& entry : named) {
            const int dir = entry.dir.load();
            if (dir >= 0) ::unlinkat(dir, entry.name, 0);
        }
        ::_exit(kStopped);  // closes every file: the unlinked bulk file goes with it
    }
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

int remember(int dirFd, const char* name) {
    if (std::strlen(name) >= sizeof named[0].name) return -1;
    for (std::size_t i = 0; i < named.size(); ++i) {
        if (named[i].dir.load() >= 0) continue;
        std::strcpy(named[i].name, name);
        named[i].dir.store(dirFd);
        return static_cast<int>(i);
    }
    return -1;
}

void forget(int slot) {
    if (slot >= 0 && static_cast<std::size_t>(slot) < named.size()) named[slot].dir.store(-1);
}

}  // namespace TerminationSignals
