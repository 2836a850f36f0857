// Turns SIGINT, SIGTERM and SIGHUP into an orderly quit of the Qt event loop:
// the handler only writes to a pipe; the main thread reads it and quits, so the
// usual termination path (effect off, overlays closed) runs.
#pragma once

namespace hg {

// Call once, after the QCoreApplication exists.
void quitOnTerminationSignals();

} // namespace hg
