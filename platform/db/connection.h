// Connection and Recordset: the database operations that every class of the
// component uses, shaped as ADO shapes them, over a backend chosen at run
// time from the connection string's provider.
//
// A Connection is used by one thread at a time. Every failing operation
// records the provider's error in Errors() and throws it as kvt710::Error;
// the list keeps its entries until Clear. Connection strings and passwords
// never appear in an error description or trace.
//
// Tracing: when KVT710_TRACE_SQL names a file, every command text sent to a
// database is appended to it as one JSON line {"sql": TEXT, "ok": BOOL}
// (sql_trace.h).
//
// Prepared shapes: a statement that knows its shape runs through the
// backend's cache of prepared statements with its values bound, storing what
// its text would store; its text is what is traced and what errors concern.
// The connection-string option "Prepared Statements=false" (in a URI,
// "prepared_statements=false") runs every statement as text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/dispatch.h"
#include "platform/db/errors.h"
#include "platform/db/statement.h"

namespace kvt710::db {

class Backend;

enum class CursorType : int32_t { kForwardOnly = 0, kKeyset = 1, kDynamic = 2, kStatic = 3 };
enum class LockType : int32_t { kReadOnly = 1, kPessimistic = 2, kOptimistic = 3 };

constexpr int32_t kStateClosed = 0;
constexpr int32_t kStateOpen = 1;

class Recordset;

// Throws the kvt710::Error 3706 that Open would throw for a string that no
// database could be opened with (malformed, no or an unknown provider, an
// unknown key, a bad Prepared Statements value), without opening anything.
void CheckConnectionString(const std::string& connection_string);

class Connection : public Dispatch, public std::enable_shared_from_this<Connection> {
 public:
  static std::shared_ptr<Connection> Create();
  ~Connection() override;

  const std::string& connection_string() const { return connection_string_; }
  void set_connection_string(std::string text) { connection_string_ = std::move(text); }
  int32_t command_timeout() const { return command_timeout_; }
  void set_command_timeout(int32_t seconds) { command_timeout_ = seconds; }

  // Opens with `connection_string` when it is not empty, else with the string
  // assigned before. User and password, when given, override the string's.
  void Open(const std::string& connection_string = {}, const std::string& user = {},
            const std::string& password = {});
  // Runs one statement given as command text.
  void Execute(const std::string& sql);
  // Runs one statement, through its prepared shape when it has one and
  // prepared shapes are on; traced and failing exactly as its text would.
  void Execute(const Statement& statement);
  // Runs statements in order as Execute runs each, stopping at the first
  // failure, which is thrown; each statement that ran is traced. On
  // PostgreSQL inside a transaction they go to the server in one pipeline.
  void ExecuteAll(const std::vector<const Statement*>& statements);
  // False when the connection string turned prepared shapes off.
  bool prepared_shapes() const { return prepared_shapes_; }
  // The same, returning the number of rows the statement changed (ADO's
  // RecordsAffected).
  int64_t ExecuteCount(const std::string& sql);
  // Runs a query and returns a recordset: kStatic/kReadOnly reads every row at
  // once; kDynamic/kOptimistic pages through the rows of one table by its key
  // and lets the current row be changed (Fields + Update).
  std::shared_ptr<Recordset> OpenRecordset(const std::string& sql, CursorType cursor,
                                           LockType lock);
  // A static, read-only recordset of a query that knows its shape: prepared
  // once per connection, as Execute runs statements, unless prepared shapes
  // are off.
  std::shared_ptr<Recordset> OpenRecordset(const Statement& query);

  void BeginTrans();
  void CommitTrans();
  void RollbackTrans();

  Errors& errors() { return *errors_; }
  std::shared_ptr<Errors> errors_object() const { return errors_; }
  int32_t State() const;
  void Close();

  // The open backend, for the recordsets of this connection. Throws 3704
  // when the connection is not open.
  Backend& backend();
  // Records a failure in Errors() and traces it; used by recordsets.
  void RecordFailure(const Error& error);
  // Traces a statement that ran (ok or failed); every statement passes here.
  void Trace(const std::string& sql, bool ok) const;

  Variant Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) override;

 private:
  Connection();
  template <class F>
  auto Guarded(const std::string* sql, F&& body) -> decltype(body());

  std::string connection_string_;
  int32_t command_timeout_ = 30;
  bool prepared_shapes_ = true;
  std::shared_ptr<Errors> errors_;
  std::unique_ptr<Backend> backend_;
};

// A recordset over one query. Field names compare case-insensitively.
class Recordset : public Dispatch, public std::enable_shared_from_this<Recordset> {
 public:
  ~Recordset() override = default;

  virtual bool Bof() const = 0;  // BOF (EOF is a C macro)
  virtual bool Eof() const = 0;
  virtual void MoveFirst() = 0;
  virtual void MoveNext() = 0;
  virtual std::vector<std::string> FieldNames() const = 0;
  // The value of `name` in the current row; Error 3265 for an unknown name,
  // 3021 when there is no current row.
  virtual Variant Field(std::string_view name) const = 0;
  // Changes a field of the current row; Update saves the changes.
  virtual void SetField(std::string_view name, Variant value) = 0;
  virtual void Update() = 0;
  virtual void Close() = 0;

  // Fields(name).Value, EOF, BOF, MoveFirst, MoveNext, Update, Close,
  // GetRows (a two-dimensional array, fields first, as automation gives it).
  Variant Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) override;
};

// The client library of each provider with its version ("SQLite 3.40.1"),
// in the order of the providers' names.
std::vector<std::string> ClientLibraries();

}  // namespace kvt710::db
