// A small tool for the fault sweep: what a user who may write a top directory can do to two of
// its entries, as fast as it can. Exchanges them (renameat2 RENAME_EXCHANGE) over and over until
// it is told to stop (SIGTERM, SIGINT), then prints how many exchanges succeeded.
//
//   exchange_loop <path> <path>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>

#include <atomic>
#include <cstdio>

namespace {

std::atomic<bool> stop{false};

void onSignal(int) {
    stop = true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: exchange_loop PATH PATH\n");
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    unsigned long long exchanged = 0;
    while (!stop) {
        if (::renameat2(AT_FDCWD, argv[1], AT_FDCWD, argv[2], RENAME_EXCHANGE) == 0) ++exchanged;
    }
    std::printf("%llu\n", exchanged);
    return 0;
}
