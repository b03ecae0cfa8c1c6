// What the subcommands of kvt710 share: where the database is, and how a
// failure is told to the person at the terminal.
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace kvt710 {
namespace db {
class Connection;
}
class Settings;

namespace cli {

// Exit codes, documented in the README.
constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;    // the work ran and something in it failed
constexpr int kExitUsage = 2;     // bad command line or unreadable input file
constexpr int kExitConfig = 3;    // settings missing or wrong
constexpr int kExitDatabase = 4;  // the database could not be reached or refused the work

// A failure that ends a command with an exit code and a message.
struct CommandError {
  int exit_code;
  std::string message;
};

// "Provider=SQLite;Data Source=PATH", quoted when the path needs it.
std::string SQLiteConnectionString(const std::string& path);

// The connection string given with --db (a plain path without "=" names an
// SQLite file), or else the one the settings name ("area" 1: DBPARMC,
// 2: DBPARMS, as the batch object chooses). Throws CommandError naming the
// settings file and key when it is missing.
std::string ResolveConnectionString(const std::optional<std::string>& db);

// The per-user settings with the database replaced by `connection_string`:
// the key that the file's "area" chooses (DBPARMC for anything but "2",
// area 1 then) holds it in memory. The batch object and the deletion
// service created from them open their own connection there.
Settings SettingsForDatabase(const std::string& connection_string);

// What a command does with the database it opens.
enum class Access {
  kRead,    // only reads: opened read-only, nothing written at open either
  kWrite,   // reads and writes a database that is there
  kCreate,  // as kWrite, creating a missing database file (kvt710 init, demo)
};

// An open connection to `connection_string`; CommandError when it fails,
// naming a missing database file (created only with Access::kCreate).
std::shared_ptr<db::Connection> OpenDatabase(const std::string& connection_string,
                                             Access access = Access::kWrite);

}  // namespace cli
}  // namespace kvt710
