// kvt710_kill_after K COMMAND ARGS...: the kvt710 command that kills itself
// (SIGKILL) right after the K-th statement run on any of its connections: a
// statement that the SQL trace shows, or a transaction's begin, commit or
// rollback. The crash tests' host: the real command, every backend wrapped.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "platform/db/backend.h"
#include "platform/db/providers.h"

namespace kvt710 {
namespace {

long long kill_after = 0;
std::atomic<long long> statements{0};

void Count(size_t n) {
  for (size_t i = 0; i < n; ++i)
    if (++statements == kill_after) std::raise(SIGKILL);
}

// Counts the statement of its full expression when that ends, ok or failed:
// `return Counted(), Run(...);`.
struct Counted {
  ~Counted() { Count(1); }
};

// Counts every statement that ran, ok or failed; a transaction statement
// only when it succeeded.
class KillAfterStatements : public db::BackendWrapper {
 public:
  using BackendWrapper::BackendWrapper;

  void Execute(const std::string& sql) override { Counted(), BackendWrapper::Execute(sql); }
  void ExecuteShaped(const db::Statement& statement) override {
    Counted(), BackendWrapper::ExecuteShaped(statement);
  }
  void ExecuteAll(const std::vector<const db::Statement*>& statements, bool shaped,
                  size_t* done) override {
    try {
      BackendWrapper::ExecuteAll(statements, shaped, done);
    } catch (...) {
      Count(*done + (*done < statements.size() ? 1 : 0));
      throw;
    }
    Count(*done);
  }
  int64_t ExecuteBound(const std::string& sql, const std::vector<Variant>& values) override {
    return Counted(), BackendWrapper::ExecuteBound(sql, values);
  }
  std::unique_ptr<db::RowCursor> Query(const std::string& sql) override {
    return Counted(), BackendWrapper::Query(sql);
  }
  std::unique_ptr<db::RowCursor> QueryBound(const std::string& sql,
                                            const std::vector<Variant>& values) override {
    return Counted(), BackendWrapper::QueryBound(sql, values);
  }
  std::unique_ptr<db::RowCursor> QueryShaped(const db::Statement& statement) override {
    return Counted(), BackendWrapper::QueryShaped(statement);
  }
  void Begin() override { BackendWrapper::Begin(), Count(1); }
  void Commit() override { BackendWrapper::Commit(), Count(1); }
  void Rollback() override { BackendWrapper::Rollback(), Count(1); }
};

}  // namespace
}  // namespace kvt710

int main(int argc, char** argv) {
  if (argc < 2 || (kvt710::kill_after = std::atoll(argv[1])) <= 0) {
    std::fprintf(stderr, "usage: %s K COMMAND ARGS... (K > 0)\n", argv[0]);
    return 2;
  }
  kvt710::db::WrapBackends([](std::unique_ptr<kvt710::db::Backend> backend) {
    return std::make_unique<kvt710::KillAfterStatements>(std::move(backend));
  });
  argv[1] = argv[0];
  return kvt710::cli::RunCommandLine(argc - 1, argv + 1);
}
