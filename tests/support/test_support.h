// Shared test fixtures: temporary folders, environment and settings set for
// one test, and fresh databases of the real schema on each backend.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/automation/error.h"

namespace kvt710 {
namespace db {
class Connection;
}

namespace testing_support {

// A folder removed with everything in it at the end of the test.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Sets (or unsets, with nullopt) an environment variable until destroyed.
class ScopedEnv {
 public:
  ScopedEnv(std::string name, std::optional<std::string> value);
  ~ScopedEnv();

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// A settings file of its own for one test (KVT710_SETTINGS points at it).
// Each entry is section -> key -> value.
class ScopedSettings {
 public:
  ScopedSettings(const std::map<std::string, std::map<std::string, std::string>>& values = {});
  const std::filesystem::path& file() const { return file_; }
  // Writes the common section's "area" and the matching connection string.
  void UseConnection(const std::string& connection_string, const std::string& area = "1");
  void Set(const std::string& section, const std::string& key, const std::string& value);

 private:
  TempDir dir_;
  std::filesystem::path file_;
  ScopedEnv env_;
};

// The databases the integration cases run on: the native providers, and
// MariaDB and PostgreSQL through the ODBC provider.
enum class Backend { kSQLite, kPostgreSQL, kMariaDB, kPostgresOdbc };

// The backends to run integration cases on: SQLite always, PostgreSQL when
// KVT710_TEST_PG holds a connection string to a server, MariaDB when
// KVT710_TEST_MARIADB does, PostgreSQL through ODBC when KVT710_TEST_PG_ODBC
// does. With KVT710_REQUIRE_PG=1 and KVT710_REQUIRE_ODBC=1 (set by the test
// command) a missing server fails.
std::vector<Backend> TestBackends();
std::string BackendName(const ::testing::TestParamInfo<Backend>& info);
// True for the backends that reach their database through the ODBC provider.
inline bool ThroughOdbc(Backend backend) {
  return backend == Backend::kMariaDB || backend == Backend::kPostgresOdbc;
}
// True for the backends whose database is a PostgreSQL server.
inline bool OnPostgres(Backend backend) {
  return backend == Backend::kPostgreSQL || backend == Backend::kPostgresOdbc;
}

// A fresh, empty database with the real schema: an SQLite file, a
// PostgreSQL schema of its own on the test server, or a MariaDB database of
// its own. Dropped when destroyed.
class TestDatabase {
 public:
  explicit TestDatabase(Backend backend);
  ~TestDatabase();
  Backend backend() const { return backend_; }
  const std::string& connection_string() const { return connection_string_; }
  // A new open connection to it.
  std::shared_ptr<db::Connection> Connect() const;
  // Runs a query and returns the first column of every row as text ("NULL" for Null).
  std::vector<std::string> Column(const std::string& query) const;
  // The first column of the first row as text.
  std::string Scalar(const std::string& query) const;

 private:
  Backend backend_;
  TempDir dir_;
  std::string connection_string_;
  std::string server_namespace_;  // the schema or database made for this test
};

// Every row of `query`, its fields joined by "|" ("NULL" for Null).
std::vector<std::string> Rows(db::Connection& connection, const std::string& query);

// The whole of `file`, byte for byte; "" when it cannot be read.
std::string ReadText(const std::filesystem::path& file);
// Each line of `file`, without its line end.
std::vector<std::string> ReadLines(const std::filesystem::path& file);
// The text of a file of the source tree (schema scripts, examples).
std::string ReadSourceFile(const std::string& relative_path);

// The error that `body` raises; number 0 when it raises none.
template <class F>
Error Failure(F&& body) {
  try {
    body();
  } catch (const Error& e) {
    return e;
  }
  return Error(0, "no error");
}

}  // namespace testing_support
}  // namespace kvt710
