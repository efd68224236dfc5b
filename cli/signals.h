// The terminating signals (interrupt, terminate, hang-up, quit): caught, so
// that a conversion stops its ffmpeg, removes its temporary file and exits
// as the shell expects, 128 + the signal.
#pragma once

#include <csignal>

// The terminating signal that arrived, if any.
extern volatile std::sig_atomic_t caughtSignal;

// Catches them from now on, and ignores SIGPIPE (a closed pipe is an error
// of the write, reported there).
void catchTerminatingSignals();
