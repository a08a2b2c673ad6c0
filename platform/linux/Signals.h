// Termination signals (SIGINT, SIGTERM, SIGHUP) as a request that the program takes up at its
// next yield, like a click on Exit. The handler only counts the signal and writes a byte to a
// pipe that wakes the event loop. A second signal ends the process at once: the handler deletes
// the named fill files still open and exits with status 1. SIGPIPE is ignored, so that a
// closed standard output never ends a run.
#pragma once

namespace TerminationSignals {

// Installs the handlers; call once, early in main().
void install();
// The end of the pipe that becomes readable when a signal has come; -1 before install().
int wakeFd();
// Signals received so far; reading empties the pipe.
int take();

// The fill files a second signal deletes before the process ends: a name in a directory that
// stays open while the file does. Returns a slot for forget(), or -1 when none is free.
int remember(int dirFd, const char* name);
void forget(int slot);

}  // namespace TerminationSignals
