// The injection property of the batch object's writers, shared by the
// libFuzzer targets (one per writer family) and the corpus replay of the
// integration tests.
//
// An input chooses a writer and fills its parameters; the writer is called
// late-bound, and every statement it queued or sent (the SQL trace) is
// judged by SQLite on a database of the real schema: it prepares as exactly
// one statement with nothing after it, the authorizer sees it write (or,
// for a sent query, read) one table that the writer may touch, update only
// the writer's columns and read no other table; run, it writes the row
// whose texts read back as the value forms say. Or else the writer refused:
// it returned -1 (or raised) and queued nothing.
//
// Input layout: byte 0 chooses the writer (modulo their number); the rest is
// fields separated by 0x1F. A field's first byte names the value slot it
// sets (modulo the slot count; 0xFF sets every text slot that is not a key,
// 0xFE every slot), the rest is the value. A value that starts with ESC
// "BIG" becomes the rest repeated to 1 MiB (first such value, first slot).
// Slots not set hold "1" for keys, "0" for whole numbers and "" otherwise.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace kvt710 {
class Dispatch;
class KVT710C3;
namespace db {
class Connection;
}
}  // namespace kvt710

namespace kvt710::fuzz {

enum class Family { kMaster, kHistory, kFamily };

// A column's text after a statement ran: nullopt for Null; `or_null`: Null too.
struct Text {
  std::string column;
  std::optional<std::string> value;
  bool or_null = false;
};

struct Judge;
struct Environment {
  std::shared_ptr<Dispatch> batch;         // the batch object, DBCon set to `caller`
  std::shared_ptr<db::Connection> caller;  // Execute and DelExecute run here
  std::filesystem::path dir;               // private: the trace and the judge's database
  // Runs a judged statement on another database too and checks the written row's texts there.
  std::function<void(const std::string& sql, const std::string& table, const std::vector<Text>&)>
      rerun;
  std::shared_ptr<Judge> judge;  // made by the first Run
};

struct Outcome {
  int statements = 0, refused = 0;
};
Outcome Run(Environment& environment, Family family, const uint8_t* data, size_t size);

// Prints the violation and aborts (libFuzzer's finding), unless a handler is set.
[[noreturn]] void Violation(const std::string& what);
void SetViolationHandler(std::function<void(const std::string&)> handler);

// The rows the writers' existence checks find (customer 1, maintenance row '', 1, 1).
void SeedRows(db::Connection& connection);

// A private folder, removed when the process ends, with shop.db of the real
// schema and settings.ini naming it (KVT710_SETTINGS points there); the
// server's objects are registered.
std::filesystem::path PrivateShop();

}  // namespace kvt710::fuzz
