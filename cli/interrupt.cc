#include "cli/interrupt.h"

#include <poll.h>
#include <signal.h>

#include <cerrno>
#include <csignal>

namespace kvt710::cli {
namespace {

volatile std::sig_atomic_t stop_signal = 0;

extern "C" void RecordStopSignal(int signal) {
  stop_signal = signal;
}

}  // namespace

void CatchStopSignals() {
  struct sigaction action = {};
  action.sa_handler = RecordStopSignal;
  sigemptyset(&action.sa_mask);
  // Restarting keeps the database clients' own system calls undisturbed;
  // WaitForInput's ppoll is never restarted, so a waiting read still ends.
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int StopSignal() {
  return stop_signal;
}

void WaitForInput(int fd) {
  // The signals are held from the check until ppoll, which lets them in
  // atomically: one that arrives in between still ends the wait.
  sigset_t stops, before;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  sigprocmask(SIG_BLOCK, &stops, &before);
  pollfd input = {fd, POLLIN, 0};
  int ready = 0;
  while (stop_signal == 0) {
    ready = ::ppoll(&input, 1, nullptr, &before);
    if (ready >= 0 || errno != EINTR) break;
  }
  sigprocmask(SIG_SETMASK, &before, nullptr);
  if (stop_signal != 0) throw Interrupted{stop_signal};
}

}  // namespace kvt710::cli
