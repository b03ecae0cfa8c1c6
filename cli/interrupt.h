// Ctrl-C and SIGTERM as a request to stop at the next safe point (between
// customers, or while waiting for input) instead of at once. The handlers only
// record the signal; the work that can stop checks it.
#pragma once

namespace kvt710::cli {

// Thrown by a wait for input that a stop signal ended.
struct Interrupted {
  int signal;
};

// Installs the recording handlers for SIGINT and SIGTERM.
void CatchStopSignals();

// The stop signal received since, or 0.
int StopSignal();

// Waits until `fd` can be read without blocking; throws Interrupted when a
// stop signal arrives first, including one that arrived before the call.
void WaitForInput(int fd);

}  // namespace kvt710::cli
