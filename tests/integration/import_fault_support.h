// Helpers of the import fault tests: demo customer lines, a snapshot of all
// ten tables, and kvt710 processes started with an environment of their own
// and waited for later, so that several can run at once or be killed.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "cli/demo_data.h"
#include "cli/show.h"
#include "platform/db/connection.h"
#include "test_support.h"

namespace kvt710::testing_support {

inline constexpr uint64_t kFaultSeed = 1;

inline std::string DemoLine(int64_t index) {
  return cli::DemoCustomerLine(kFaultSeed, index) + "\n";
}

inline std::string DemoLines(int64_t from, int64_t to) {
  std::string lines;
  for (int64_t i = from; i < to; ++i) lines += DemoLine(i);
  return lines;
}

inline std::string ReadText(const std::string& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

inline bool IsTimestampColumn(const std::string& column) {
  for (const std::string tail : {"_UPD_DATE", "_UPDATE", "_UPD_DATETIME"})
    if (column.size() >= tail.size() &&
        column.compare(column.size() - tail.size(), tail.size(), tail) == 0)
      return true;
  return false;
}

// Every row of the ten tables, timestamps left out, sorted.
using Snapshot = std::map<std::string, std::vector<std::string>>;

inline Snapshot TakeSnapshot(db::Connection& connection) {
  Snapshot tables;
  for (const cli::CustomerTable& table : cli::CustomerTables()) {
    std::vector<std::string>& rows = tables[table.name];
    for (auto& row : cli::Rows(connection, std::string("Select * From ") + table.name)) {
      nlohmann::ordered_json kept = nlohmann::ordered_json::object();
      for (auto& [column, value] : row.items())
        if (!IsTimestampColumn(column)) kept[column] = value;
      rows.push_back(kept.dump());
    }
    std::sort(rows.begin(), rows.end());
  }
  return tables;
}

// The rows that only one of two snapshots holds, for a failure message.
inline std::string SnapshotDifference(const Snapshot& left, const Snapshot& right) {
  std::string text;
  for (const auto& [table, rows] : left) {
    const auto found = right.find(table);
    const std::vector<std::string> other =
        found == right.end() ? std::vector<std::string>() : found->second;
    for (const std::string& row : rows)
      if (!std::binary_search(other.begin(), other.end(), row)) text += "- " + row + "\n";
    for (const std::string& row : other)
      if (!std::binary_search(rows.begin(), rows.end(), row)) text += "+ " + row + "\n";
  }
  return text;
}

inline Snapshot TakeSnapshot(const TestDatabase& database) {
  return TakeSnapshot(*database.Connect());
}

// A kvt710 process started in the background; its output goes to files.
class Kvt710Process {
 public:
  // Starts kvt710 ARGS... with `env` added to this process's environment and
  // `input_file` (or /dev/null) on standard input.
  Kvt710Process(const std::vector<std::string>& args,
                const std::vector<std::pair<std::string, std::string>>& env = {},
                const std::string& input_file = "/dev/null")
      : out_file_((dir_ / "out").string()), err_file_((dir_ / "err").string()) {
    std::vector<std::string> argv_text = {KVT710_BINARY};
    argv_text.insert(argv_text.end(), args.begin(), args.end());
    pid_ = fork();
    if (pid_ == 0) {
      for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
      std::vector<char*> argv;
      for (std::string& a : argv_text) argv.push_back(a.data());
      argv.push_back(nullptr);
      const int in = open(input_file.c_str(), O_RDONLY);
      const int out = open(out_file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = open(err_file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (in < 0 || out < 0 || err < 0) _exit(127);
      dup2(in, 0);
      dup2(out, 1);
      dup2(err, 2);
      execv(argv[0], argv.data());
      _exit(127);
    }
  }
  ~Kvt710Process() {
    if (pid_ > 0 && !waited_) {
      kill(pid_, SIGKILL);
      Wait();
    }
  }
  Kvt710Process(const Kvt710Process&) = delete;
  Kvt710Process& operator=(const Kvt710Process&) = delete;

  // Waits for the end; the exit code, or -signal when a signal ended it.
  int Wait() {
    if (!waited_) {
      int status = 0;
      if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) {
        exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
      }
      waited_ = true;
    }
    return exit_code_;
  }
  std::string out() const { return ReadText(out_file_); }
  std::string err() const { return ReadText(err_file_); }

 private:
  TempDir dir_;
  std::string out_file_, err_file_;
  pid_t pid_ = -1;
  bool waited_ = false;
  int exit_code_ = -1000;
};

}  // namespace kvt710::testing_support
