// Runs the kvt710 binary of this build as a separate process, for tests of
// what a person at the terminal sees (output, exit status, files written)
// and for tests that run several at once or kill one.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace kvt710::testing_support {

struct CommandResult {
  int exit_code = -1;
  std::string out, err;
};

// `host` (kvt710, or a test host that runs its command line) with ARGS...,
// started in the background with `env` added and `input_file` on standard
// input; its output goes to files.
class Kvt710Process {
 public:
  Kvt710Process(const std::vector<std::string>& args,
                const std::vector<std::pair<std::string, std::string>>& env = {},
                const std::string& input_file = "/dev/null",
                const std::string& host = KVT710_BINARY) {
    std::vector<std::string> argv_text = {host};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    if ((pid_ = fork()) != 0) return;
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    std::vector<char*> argv;
    for (std::string& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int in = open(input_file.c_str(), O_RDONLY), flags = O_WRONLY | O_CREAT | O_TRUNC;
    const int out = open(out_file_.c_str(), flags, 0600),
              err = open(err_file_.c_str(), flags, 0600);
    if (in >= 0 && out >= 0 && err >= 0 && dup2(in, 0) >= 0 && dup2(out, 1) >= 0 &&
        dup2(err, 2) >= 0)
      execv(argv[0], argv.data());
    _exit(127);
  }
  ~Kvt710Process() {
    if (exit_code_ == kRunning) Signal(SIGKILL);
    Wait();
  }
  Kvt710Process(const Kvt710Process&) = delete;
  Kvt710Process& operator=(const Kvt710Process&) = delete;

  // Waits for the end; the exit code, or -signal when a signal ended it.
  int Wait() {
    int status = 0;
    if (exit_code_ == kRunning)
      exit_code_ = pid_ > 0 && waitpid(pid_, &status, 0) == pid_
                       ? (WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status))
                       : -1000;
    return exit_code_;
  }
  void Signal(int signal) {
    if (pid_ > 0) kill(pid_, signal);
  }
  std::string out() const { return ReadText(out_file_); }
  std::string err() const { return ReadText(err_file_); }

 private:
  TempDir dir_;
  std::string out_file_ = (dir_ / "out").string(), err_file_ = (dir_ / "err").string();
  pid_t pid_ = -1;
  static constexpr int kRunning = -1001;  // not waited for yet
  int exit_code_ = kRunning;
};

// kvt710 ARGS... with `input` on standard input; the environment is this
// process's (ScopedEnv and ScopedSettings apply).
inline CommandResult RunKvt710(const std::vector<std::string>& args,
                               const std::string& input = {}) {
  TempDir dir;
  std::ofstream((dir / "in").string()) << input;
  Kvt710Process process(args, {}, (dir / "in").string());
  const int exit_code = process.Wait();
  return {exit_code, process.out(), process.err()};
}

}  // namespace kvt710::testing_support
