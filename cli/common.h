// What the subcommands of kvt710 share: where the database is, and how a
// failure is told to the person at the terminal.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

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

// The connection string given with --db (an existing file, or a path
// without "=" and "://", names an SQLite file; other text must parse), or
// else the one the settings name ("area" 1: DBPARMC, 2: DBPARMS, as the batch
// object chooses). Throws CommandError naming the settings file and key when
// that file cannot be read, or the key is missing or holds a string that no
// database takes.
std::string ResolveConnectionString(const std::optional<std::string>& db);

// The per-user settings with the database replaced by `connection_string`:
// the key that the file's "area" chooses (DBPARMC for anything but "2",
// area 1 then) holds it in memory. The batch object and the deletion
// service created from them open their own connection there.
Settings SettingsForDatabase(const std::string& connection_string);

// A customer key given on the command line (`what` names the argument): a
// whole number of at most 15 digits, parsed exactly. CommandError (usage)
// for anything else.
int64_t ParseKey(std::string_view text, std::string_view what);

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

// CommandError (exit code 4) telling to run kvt710 init when the database
// has no customer master table.
void RequireCustomerTables(db::Connection& connection);

}  // namespace cli
}  // namespace kvt710
