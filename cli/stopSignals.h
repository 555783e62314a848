#pragma once

namespace twinframe {

// SIGINT and SIGTERM ask the batch to stop after the file it is splitting, rather than kill the
// process halfway through a file. A second signal acts as it would have without us. A signal the
// caller set to be ignored (a background job's SIGINT) stays ignored; one the caller blocked is
// let through, and one already waiting counts at once.
void catchStopSignals();

// Whether a stop signal has arrived.
bool stopSignalled();

} // namespace twinframe
