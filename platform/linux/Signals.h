// Termination signals (SIGINT, SIGTERM, SIGHUP) as a request that the program takes up at its
// next yield. The handler only counts the signal and writes a byte to a pipe that wakes the
// event loop; everything else happens on the program's own thread. SIGPIPE is ignored, so that a
// closed standard output never ends a run.
#pragma once

namespace TerminationSignals {

// Installs the handlers; call once, early in main().
void install();
// The end of the pipe that becomes readable when a signal has come; -1 before install().
int wakeFd();
// Signals received so far; reading empties the pipe.
int take();

}  // namespace TerminationSignals
