// The injection property of the batch object's writers, shared by the
// libFuzzer targets (one per writer family), the corpus replay on SQLite
// and the replay on PostgreSQL.
//
// An input chooses a writer and fills its parameters; the writer is called
// and every statement it queues (and every statement the call sends to a
// database, read from the SQL trace) must have the shape of that writer's
// statement: one INSERT into (or UPDATE of) the writer's table naming only
// its columns, every value a single literal or Null. A database then checks
// the same from its own parser, runs the statement in a transaction it rolls
// back, and reads every quoted text back. Or else the writer refused: it
// returned -1 (or raised) and queued and ran nothing.
//
// Input layout: byte 0 chooses the writer (modulo their number); the rest is
// fields separated by 0x1F. A field's first byte names the value slot it
// sets (modulo the slot count; 0xFF sets every text slot that is not a key,
// 0xFE every slot), the remaining bytes are the value. A value that starts
// with ESC "BIG" becomes the rest repeated to 1 MiB (the first such value
// only, in the first slot it sets). Slots not set hold "1" for keys, "0" for
// whole numbers and "" otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sql/KVT710H1.h"

namespace kvt710 {
class Dispatch;
class KVT710C3;
namespace db {
class Connection;
struct ProviderError;
}  // namespace db
}  // namespace kvt710

namespace kvt710::fuzz {

enum class Family { kMaster, kHistory, kFamily };
const char* FamilyName(Family family);

// The statement shapes that a writer may produce.
enum class Shape { kInsert, kUpdate, kDelete, kCount, kFamilyCount };

struct Expected {
  Shape shape;
  std::string table;
  std::vector<std::string> columns;  // kInsert: exactly these; kUpdate: a subset
  std::vector<std::string> keys;     // the Where columns in order
};

// A statement whose text has one of the expected shapes.
struct Matched {
  const Expected* expected = nullptr;
  std::vector<std::string> set_columns;  // kUpdate, kFamilyCount: the columns written
};

// The value that a quoted text column must read back as: nullopt for Null.
// `only_when_stored` (quoted numbers): the column may also hold Null.
struct ExpectedText {
  std::string column;
  std::optional<std::string> value;
  bool only_when_stored = false;
};

// One value of a writer's call: a parameter, or one element of an array parameter.
struct Slot {
  std::string param;
  int32_t i = 0, j = 0;  // subscripts of an element, 0 when not one
  bool key = false;      // holds "1" unless the input sets it
  bool number = false;   // a whole-number parameter: holds "0" unless the input sets it
};

constexpr int32_t kRaised = INT32_MIN;  // the call raised kvt710::Error

struct Writer {
  std::string name;
  std::vector<Slot> slots;
  std::vector<Expected> queued;  // what its queued statements may be
  std::vector<Expected> sent;    // what it may send to a database itself
  // Refused: queue nothing (writers) or run nothing (Execute, DelExecute).
  bool runs_statements = false;
  // The quoted text columns, each with its form and the slot that feeds it.
  struct TextColumn {
    std::string column;
    sql::Form form;
    size_t slot;
  };
  std::vector<TextColumn> text_columns;
  // The call with typed parameters, and through the late-bound interface.
  // Both return the result, or kRaised.
  std::function<int32_t(KVT710C3&, const std::vector<std::string>&)> typed;
  std::function<int32_t(Dispatch&, const std::vector<std::string>&)> late_bound;
};

const std::vector<Writer>& Writers(Family family);

struct Input {
  const Writer* writer = nullptr;
  std::vector<std::string> values;  // one per slot
};
Input Decode(Family family, const uint8_t* data, size_t size);

// The shape `sql` matches among `allowed`, or nullopt with the reason in `why`.
std::optional<Matched> MatchShape(const std::string& sql, const std::vector<Expected>& allowed,
                                  std::string* why);

std::vector<ExpectedText> ExpectedTexts(const Writer& writer,
                                        const std::vector<std::string>& values);

// A failure that the property allows: a constraint or a value the database
// cannot store (SQLSTATE classes 22, 23 and 54 - a 1 MiB value exceeds an
// index row on PostgreSQL -, SQLite's constraint, mismatch and too-big
// codes). Never a syntax error.
bool IsAcceptableFailure(const db::ProviderError& error);

// Checks one statement on a database: `kind` tells a queued statement
// (not yet run) from one the writer already sent (`sent`).
class StatementChecker {
 public:
  virtual ~StatementChecker() = default;
  virtual void Check(const std::string& sql, const Matched& shape,
                     const std::vector<ExpectedText>& texts) = 0;
};

// Where a run happens: the batch object (typed, or through `dispatch`), the
// caller connection for Execute and DelExecute, the trace file and the
// database checker.
struct Environment {
  std::shared_ptr<KVT710C3> batch;
  std::shared_ptr<Dispatch> dispatch;  // set: call the writers late-bound
  std::shared_ptr<db::Connection> caller;
  std::filesystem::path trace;
  StatementChecker* checker = nullptr;
};

struct Outcome {
  int statements = 0;  // statements checked
  int refused = 0;     // calls refused
};

// Runs one input and checks the property; a violation goes to the handler.
Outcome Run(Environment& environment, Family family, const uint8_t* data, size_t size);

// Reports a violation: by default prints it and aborts (libFuzzer's
// finding); tests install a handler that throws instead.
[[noreturn]] void Violation(const std::string& what);
void SetViolationHandler(std::function<void(const std::string&)> handler);

// The SQLite checker on a database of the real schema: one statement, no
// tail and no parameters, the authorizer's actions, run and read back.
class SqliteChecker : public StatementChecker {
 public:
  explicit SqliteChecker(const std::filesystem::path& database);
  ~SqliteChecker() override;
  void Check(const std::string& sql, const Matched& shape,
             const std::vector<ExpectedText>& texts) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The whole check on a private SQLite database, set up once per process.
int CheckInput(Family family, const uint8_t* data, size_t size);
Outcome CheckInputCounted(Family family, const uint8_t* data, size_t size);

// Seeds a database of the real schema with the rows that the writers'
// existence checks find (customer 1, maintenance row '', 1, 1).
void SeedRows(db::Connection& connection);

}  // namespace kvt710::fuzz
