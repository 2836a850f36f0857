// How Hushglass meets signals, as a daemon should.
//
// SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2 and SIGALRM become an orderly quit
// of the Qt event loop: the handler only writes to a pipe; the main thread
// reads it and quits, so the usual termination path (effect off, overlays
// closed) runs. SIGPIPE is caught and does nothing: a write to a reader that
// went away (the log's, when a terminal closes) fails instead of ending the
// program. Handlers, unlike ignored signals, do not pass to the programs
// Hushglass starts.
#pragma once

#include <xcb/xcb.h>

namespace hg {

// Call first thing in main: a broken pipe never ends the program.
void surviveBrokenPipes();

// Call once, after the QCoreApplication exists.
void quitOnTerminationSignals();

// When the X server goes away, Qt ends the program at once (exit status 1)
// with a line of its own; this adds ours, naming the display. Call once,
// after the QCoreApplication exists; an orderly quit says nothing of it.
void reportLostDisplay(xcb_connection_t* connection, const char* display);

} // namespace hg
