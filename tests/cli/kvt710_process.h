// Runs the kvt710 binary of this build as a separate process, for tests of
// what a person at the terminal sees: output, exit status, files written.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace kvt710::testing_support {

struct CommandResult {
  int exit_code = -1;
  std::string out, err;
};

// kvt710 ARGS... with `input` on standard input; the environment is this
// process's (ScopedEnv and ScopedSettings apply).
inline CommandResult RunKvt710(const std::vector<std::string>& args,
                               const std::string& input = {}) {
  TempDir dir;
  const std::string in_file = (dir / "in").string(), out_file = (dir / "out").string(),
                    err_file = (dir / "err").string();
  std::ofstream(in_file) << input;
  std::vector<std::string> argv_text = {KVT710_BINARY};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  CommandResult result;
  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open(in_file.c_str(), O_RDONLY);
    const int out = open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status))
    result.exit_code = WEXITSTATUS(status);
  auto read = [](const std::string& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  };
  result.out = read(out_file);
  result.err = read(err_file);
  return result;
}

}  // namespace kvt710::testing_support
