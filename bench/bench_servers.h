// The database servers that the benchmarks run on besides an SQLite file,
// and a fresh schema or database on one of them for a single run.
#pragma once

#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "platform/automation/error.h"
#include "platform/db/connection.h"
#include "platform/db/connection_string.h"

namespace kvt710::bench {

enum class Engine {
  kSQLite,
  kPostgreSQL,    // native, through libpq
  kMariaDB,       // through ODBC
  kPostgresOdbc,  // through ODBC
};

// A server, run on when its variable holds a connection string that may
// create and drop schemas (PostgreSQL) or databases (MariaDB).
struct Server {
  Engine engine;
  const char* name;      // in the output
  const char* variable;  // the connection string's environment variable
  const char* option;    // the command-line option that leaves it out
};

// In the order the benchmarks run them.
inline constexpr Server kServers[] = {
    {Engine::kPostgreSQL, "PostgreSQL", "KVT710_TEST_PG", "--no-pg"},
    {Engine::kMariaDB, "MariaDB/ODBC", "KVT710_TEST_MARIADB", "--no-mariadb"},
    {Engine::kPostgresOdbc, "PostgreSQL/ODBC", "KVT710_TEST_PG_ODBC", "--no-pg-odbc"},
};

// The server that `option` leaves out, nullptr when none does.
inline const Server* ServerLeftOutBy(std::string_view option) {
  for (const Server& server : kServers)
    if (option == server.option) return &server;
  return nullptr;
}

// The server's connection string, empty when its variable is unset.
inline std::string ServerConnectionString(const Server& server) {
  const char* value = std::getenv(server.variable);
  return value != nullptr ? value : "";
}

// A schema (PostgreSQL) or database (MariaDB, utf8mb4 with a binary no-pad
// collation) of its own, made afresh and dropped again at the end, reached
// through connection_string(): PostgreSQL through ODBC has it set as the
// search path when the driver connects.
class ServerNamespace {
 public:
  // `admin`: the server's connection string; `name`: the schema's or
  // database's, an SQL identifier. Throws kvt710::Error.
  ServerNamespace(Engine engine, std::string admin, std::string name)
      : engine_(engine), admin_(std::move(admin)), name_(std::move(name)) {
    Admin(DropText());
    if (engine == Engine::kMariaDB) {
      Admin("CREATE DATABASE " + name_ + " CHARACTER SET utf8mb4 COLLATE utf8mb4_nopad_bin");
      connection_string_ = db::WithKey(admin_, "Database", name_);  // the later value counts
      return;
    }
    Admin("CREATE SCHEMA " + name_);
    connection_string_ =
        engine == Engine::kPostgreSQL
            ? db::WithKey(admin_, "Search Path", name_)
            : db::WithKey(admin_, "ConnSettings", "{SET search_path TO " + name_ + "}");
  }
  ~ServerNamespace() {
    try {
      Admin(DropText());
    } catch (const Error&) {
      // A server that went away took the namespace with it.
    }
  }
  ServerNamespace(const ServerNamespace&) = delete;
  ServerNamespace& operator=(const ServerNamespace&) = delete;

  const std::string& connection_string() const { return connection_string_; }

 private:
  std::string DropText() const {
    return engine_ == Engine::kMariaDB ? "DROP DATABASE IF EXISTS " + name_
                                       : "DROP SCHEMA IF EXISTS " + name_ + " CASCADE";
  }
  void Admin(const std::string& sql) const {
    auto admin = db::Connection::Create();
    admin->Open(admin_);
    admin->Execute(sql);
  }

  Engine engine_;
  std::string admin_;
  std::string name_;
  std::string connection_string_;
};

}  // namespace kvt710::bench
