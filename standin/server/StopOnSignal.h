#pragma once
// Ends the event loop on SIGTERM or SIGINT (POSIX). The signal handler only writes a byte
// into a pipe; the event loop reads it and quits. A no-op where POSIX signals do not exist.

namespace standin {

// Call once, after the QCoreApplication exists. Returns false when it could not be set up.
bool quitOnTerminationSignals();

} // namespace standin
