#pragma once

namespace twinframe {

inline constexpr int kExitStopped = 130;      // as a shell reports a job ended by SIGINT
inline constexpr int kExitOutputClosed = 141; // as a shell reports a job ended by SIGPIPE

// SIGINT and SIGTERM ask the batch to stop after the file it is splitting, rather than kill the
// process halfway through a file. A second signal acts as it would have without us. A signal the
// caller set to be ignored (a background job's SIGINT) stays ignored; one the caller blocked is
// let through, and one already waiting counts at once.
//
// A closed standard output (twinframe-cli ... | head -3) raises SIGPIPE, which would kill the
// process between a file's -L and its -R: it is a stop request too, and the write that met it
// fails instead. SIGXFSZ (a shell's ulimit -f) is ignored, so that a write past the limit fails
// with "File too large" and is reported like any other write failure.
void catchStopSignals();

// Whether SIGINT or SIGTERM has arrived.
bool stopSignalled();

// Whether a write met a closed pipe (SIGPIPE).
bool outputClosed();

// Whether the batch should stop after the file (or pair) it is on.
bool stopRequested();

} // namespace twinframe
