#include "platform/db/odbc/odbc_backend.h"

#include <sql.h>
#include <sqlext.h>

#include <optional>
#include <string_view>
#include <utility>

#include "platform/automation/error.h"
#include "platform/db/odbc/odbc_dialect.h"
#include "platform/db/shape_cache.h"
#include "platform/db/statement.h"
#include "platform/db/text_values.h"
#include "platform/text/ascii.h"

namespace kvt710::db {
namespace {

constexpr const char* kSource = "ODBC";
// Keys that the connection reads itself and never hands to the driver.
constexpr const char* kOwnKeys[] = {kProviderKey, kPreparedStatementsKey, kModeKey};
constexpr const char* kDriverKeys[] = {"Driver", "DSN", "FileDSN"};

ProviderFailure Failure(std::string description, std::string sqlstate, int32_t native = 0) {
  return ProviderFailure(ProviderError{native != 0 ? native : err::kProvider,
                                       std::move(description), std::move(sqlstate), kSource});
}

// The first diagnostic record of `handle` as a failure; `fallback` when the
// driver left none. The message is the driver's, without a secret it repeats.
ProviderFailure Diagnosed(SQLSMALLINT type, SQLHANDLE handle, const std::string& fallback,
                          const std::string& secret = {}) {
  SQLCHAR state[6] = {0};
  SQLINTEGER native = 0;
  std::string message(1024, '\0');
  SQLSMALLINT length = 0;
  SQLRETURN rc =
      SQLGetDiagRec(type, handle, 1, state, &native, reinterpret_cast<SQLCHAR*>(message.data()),
                    static_cast<SQLSMALLINT>(message.size()), &length);
  if (rc == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
    message.assign(static_cast<size_t>(length) + 1, '\0');
    rc = SQLGetDiagRec(type, handle, 1, state, &native, reinterpret_cast<SQLCHAR*>(message.data()),
                       static_cast<SQLSMALLINT>(message.size()), &length);
  }
  if (!SQL_SUCCEEDED(rc)) return Failure(fallback, "HY000");
  message.resize(std::min<size_t>(static_cast<size_t>(length), message.size()));
  // Drivers end messages with line breaks or put the detail on a line of its
  // own, and put their own and the server's names first: "[driver][server]".
  for (char& c : message)
    if (c == '\n' || c == '\r') c = ' ';
  size_t start = 0;
  while (start < message.size() && message[start] == '[' &&
         message.find(']', start) != std::string::npos)
    start = message.find(']', start) + 1;
  message = std::string(text::TrimAsciiSpace(std::string_view(message).substr(start)));
  if (message.empty()) message = fallback;
  return Failure(WithoutSecret(std::move(message), secret), reinterpret_cast<const char*>(state),
                 native);
}

struct Handle {
  Handle() = default;
  Handle(SQLSMALLINT type, SQLHANDLE parent) : type(type) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &handle))) {
      handle = SQL_NULL_HANDLE;
      throw parent != SQL_NULL_HANDLE
          ? Diagnosed(type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV, parent,
                      "The ODBC driver manager cannot allocate a handle")
          : Failure("The ODBC driver manager cannot allocate a handle", "HY001");
    }
  }
  Handle(Handle&& other) noexcept : type(other.type), handle(other.handle) {
    other.handle = SQL_NULL_HANDLE;
  }
  Handle& operator=(Handle&& other) noexcept {
    std::swap(type, other.type);
    std::swap(handle, other.handle);
    return *this;
  }
  ~Handle() {
    if (handle != SQL_NULL_HANDLE) SQLFreeHandle(type, handle);
  }
  SQLSMALLINT type = SQL_HANDLE_STMT;
  SQLHANDLE handle = SQL_NULL_HANDLE;
};

// An environment of ODBC 3 behaviour and an unconnected connection handle in it.
std::pair<Handle, Handle> NewConnectionHandles() {
  Handle env(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
  SQLSetEnvAttr(env.handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  Handle dbc(SQL_HANDLE_DBC, env.handle);
  return {std::move(env), std::move(dbc)};
}

// A value of the form "{...}" as ODBC writes it: "}" inside doubled.
std::string Braced(const std::string& value) {
  std::string out = "{";
  for (char c : value) {
    out += c;
    if (c == '}') out += '}';
  }
  return out + "}";
}

// The connection string for the driver: every key of `params` but ours, the
// last value of a key given twice (as the other providers take it), a value
// that ODBC would split (";", a brace, a blank at an end) braced.
std::string DriverConnectionString(const ConnectionParameters& params, std::string* password) {
  std::string out;
  for (size_t i = 0; i < params.values.size(); ++i) {
    const auto& [key, value] = params.values[i];
    bool skip = false;  // the connection's own key, or one given again later
    for (const char* k : kOwnKeys) skip = skip || KeysEqual(key, k, KeyRule::kIgnoreCase);
    for (size_t j = i + 1; j < params.values.size(); ++j)
      skip = skip || KeysEqual(key, params.values[j].first, KeyRule::kIgnoreCase);
    if (skip) continue;
    if (IsPasswordKey(key)) *password = value;
    const bool braced = value.size() >= 2 && value.front() == '{' && value.back() == '}';
    const bool needs_braces = !braced && (value.find_first_of(";{}") != std::string::npos ||
                                          (!value.empty() && (text::IsAsciiSpace(value.front()) ||
                                                              text::IsAsciiSpace(value.back()))));
    out += key + "=" + (needs_braces ? Braced(value) : value) + ";";
  }
  return out;
}

// How a column of the SQL type reads from its character data.
TextType TextTypeOf(SQLSMALLINT type) {
  switch (type) {
    case SQL_DECIMAL:
    case SQL_NUMERIC:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_TINYINT:
    case SQL_BIGINT:
      return TextType::kNumber;
    case SQL_BIT:
      return TextType::kBoolean;
    case SQL_TYPE_DATE:
      return TextType::kDate;
    case SQL_TYPE_TIMESTAMP:
      return TextType::kTimestamp;
    default:
      return TextType::kText;
  }
}

// Whether a parameter of the SQL type reads a bare number as the text's
// number would convert to it: whole-number types read whole numbers only.
bool TakesBareNumber(SQLSMALLINT type, const Value& number) {
  switch (type) {
    case SQL_DECIMAL:
    case SQL_NUMERIC:
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return true;
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_TINYINT:
    case SQL_BIGINT:
      return number.whole;
    default:
      return false;
  }
}

class OdbcCursor final : public RowCursor {
 public:
  explicit OdbcCursor(Handle statement) : owned_(std::move(statement)) { Describe(); }
  // The results of a kept prepared statement, closed again when the cursor ends.
  explicit OdbcCursor(SQLHANDLE prepared) : borrowed_(prepared) { Describe(); }
  ~OdbcCursor() override {
    if (borrowed_ != SQL_NULL_HANDLE) SQLFreeStmt(borrowed_, SQL_CLOSE);
  }

  const std::vector<std::string>& columns() const override { return columns_; }
  SQLHANDLE handle() const { return owned_.handle != SQL_NULL_HANDLE ? owned_.handle : borrowed_; }

  // Reads every row now, so that the statement's further results can be asked for.
  void ReadAll() {
    std::vector<Variant> row;
    while (Fetch(row)) buffered_.push_back(std::move(row));
    buffering_ = true;
  }

  bool Next(std::vector<Variant>& row) override {
    if (!buffering_) return Fetch(row);
    if (next_ == buffered_.size()) return false;
    row = std::move(buffered_[next_++]);
    return true;
  }

 private:
  void Describe() {
    SQLSMALLINT count = 0;
    SQLNumResultCols(handle(), &count);
    for (SQLUSMALLINT i = 1; i <= count; ++i) {
      SQLCHAR name[256] = {0};
      SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      SQLDescribeCol(handle(), i, name, sizeof name, &length, &type, &size, &digits, &nullable);
      columns_.emplace_back(reinterpret_cast<const char*>(name));
      types_.push_back(TextTypeOf(type));
    }
  }

  bool Fetch(std::vector<Variant>& row) {
    if (columns_.empty()) return false;
    const SQLRETURN rc = SQLFetch(handle());
    if (rc == SQL_NO_DATA) return false;
    if (!SQL_SUCCEEDED(rc)) throw Diagnosed(SQL_HANDLE_STMT, handle(), "Fetch failed");
    row.clear();
    for (SQLUSMALLINT i = 1; i <= columns_.size(); ++i) {
      const std::optional<std::string> text = Data(i);
      row.push_back(text ? ValueFromText(types_[i - 1], *text) : Variant::Null());
    }
    return true;
  }

  // The column's value as text, read in pieces as long as the driver has more.
  std::optional<std::string> Data(SQLUSMALLINT column) {
    std::string value;
    char buffer[4096];
    for (;;) {
      SQLLEN indicator = 0;
      const SQLRETURN rc =
          SQLGetData(handle(), column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
      if (rc == SQL_NO_DATA) break;
      if (!SQL_SUCCEEDED(rc)) throw Diagnosed(SQL_HANDLE_STMT, handle(), "Fetch failed");
      if (indicator == SQL_NULL_DATA) return std::nullopt;
      const size_t room = sizeof buffer - 1;  // the driver ends each piece with a NUL
      const bool more = rc == SQL_SUCCESS_WITH_INFO &&
                        (indicator == SQL_NO_TOTAL || static_cast<size_t>(indicator) > room);
      value.append(buffer, more ? room : static_cast<size_t>(indicator));
      if (!more) break;
    }
    return value;
  }

  Handle owned_;
  SQLHANDLE borrowed_ = SQL_NULL_HANDLE;
  std::vector<std::string> columns_;
  std::vector<TextType> types_;
  bool buffering_ = false;
  std::vector<std::vector<Variant>> buffered_;
  size_t next_ = 0;
};

class OdbcBackend final : public Backend {
 public:
  ~OdbcBackend() override { Close(); }  // a connected handle is freed only after a disconnect

  void CheckKeys(const ConnectionParameters& params) const override {
    if (!params.uri.empty())
      throw Error(err::kBadConnectionString, "The ODBC provider takes no URI", "ADODB.Connection");
    for (const char* key : kDriverKeys)
      if (params.Find(key)) return;
    throw Error(err::kBadConnectionString,
                "The connection string names no ODBC driver or data source (Driver=, DSN= or "
                "FileDSN=)",
                "ADODB.Connection");
  }

  void Open(const ConnectionParameters& params, int32_t command_timeout_seconds) override {
    Close();
    CheckKeys(params);
    const bool read_only = AsksReadOnly(params, KeyRule::kIgnoreCase);
    std::string password;
    const std::string text = DriverConnectionString(params, &password);

    auto [env, dbc] = NewConnectionHandles();
    SQLSetConnectAttr(dbc.handle, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(15), 0);
    const SQLRETURN rc = SQLDriverConnect(
        dbc.handle, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())),
        static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) {
      ProviderFailure refused =
          Diagnosed(SQL_HANDLE_DBC, dbc.handle, "The ODBC driver refused the connection", password);
      ProviderError detail = refused.detail();
      detail.description = "Cannot connect through ODBC: " + detail.description;
      if (detail.sqlstate.empty() || detail.sqlstate == "HY000") detail.sqlstate = "08001";
      throw ProviderFailure(std::move(detail));
    }
    env_ = std::move(env);
    dbc_ = std::move(dbc);
    timeout_ = command_timeout_seconds;
    try {
      Prepare(read_only);
    } catch (...) {
      Close();
      throw;
    }
  }

  bool IsOpen() const override { return dbc_.handle != SQL_NULL_HANDLE; }

  std::string ClientLibrary() const override {
    if (!IsOpen()) {
      // The driver manager answers this without a connection.
      const auto [env, dbc] = NewConnectionHandles();
      char version[64] = {0};
      SQLGetInfo(dbc.handle, SQL_DM_VER, version, sizeof version, nullptr);
      return std::string("ODBC driver manager ") + version;
    }
    return "ODBC driver " + Info(SQL_DRIVER_NAME) + " " + Info(SQL_DRIVER_VER) + " to " +
           Info(SQL_DBMS_NAME) + " " + Info(SQL_DBMS_VER);
  }

  void Close() override {
    shapes_.Clear();
    if (dbc_.handle != SQL_NULL_HANDLE) {
      if (in_transaction_) SQLEndTran(SQL_HANDLE_DBC, dbc_.handle, SQL_ROLLBACK);
      SQLDisconnect(dbc_.handle);
    }
    in_transaction_ = false;
    dialect_ = nullptr;
    dbc_ = Handle();
    env_ = Handle();
  }

  void Execute(const std::string& sql) override { RunOne(sql, {}, nullptr); }

  int64_t ExecuteBound(const std::string& sql, const std::vector<Variant>& values) override {
    int64_t count = 0;
    RunOne(sql, values, &count);
    return count;
  }

  // A statement whose shape is prepared runs with its values bound: texts,
  // dates and Null always, a number where the parameter's type reads it as
  // the text would. Otherwise its text runs.
  void ExecuteShaped(const Statement& statement) override {
    if (SQLHANDLE prepared = RunShaped(statement)) {
      SQLFreeStmt(prepared, SQL_CLOSE);
    } else {
      Execute(statement.text());
    }
  }

  std::unique_ptr<RowCursor> QueryShaped(const Statement& statement) override {
    if (SQLHANDLE prepared = RunShaped(statement)) return std::make_unique<OdbcCursor>(prepared);
    return Query(statement.text());
  }

  std::unique_ptr<RowCursor> Query(const std::string& sql) override { return QueryBound(sql, {}); }

  std::unique_ptr<RowCursor> QueryBound(const std::string& sql,
                                        const std::vector<Variant>& values) override {
    if (!Connected().runs_several_statements) return std::make_unique<OdbcCursor>(Run(sql, values));
    std::unique_ptr<OdbcCursor> cursor;
    OneStatement([&] {
      cursor = std::make_unique<OdbcCursor>(Run(sql, values));
      cursor->ReadAll();
      RefuseMoreResults(cursor->handle());
    });
    return cursor;
  }

  void Begin() override {
    Connected();
    if (in_transaction_) throw Failure("A transaction is already open", "25000");
    Autocommit(false);
    in_transaction_ = true;
  }
  void Commit() override { End(SQL_COMMIT); }
  void Rollback() override { End(SQL_ROLLBACK); }

  std::vector<std::string> PrimaryKey(const std::string& table) override {
    return Names(Connected().primary_key, table);
  }
  bool HasTable(const std::string& table) override {
    return !Names(Connected().has_table, table).empty();
  }
  std::vector<std::string> IndexNames(const std::string& table) override {
    return Names(Connected().index_names, table);
  }

  std::string SchemaScript() const override {
    return dialect_ != nullptr && dialect_->schema != nullptr ? dialect_->schema : "";
  }

  std::string NullSafeEquals(const std::string& column, const std::string& value) const override {
    if (dialect_ == nullptr) return Backend::NullSafeEquals(column, value);
    return odbc::NullSafeEquals(*dialect_, column, value);
  }

  std::string FirstRows(const std::string& query, int rows) const override {
    if (dialect_ == nullptr || !dialect_->first_rows_by_fetch)
      return Backend::FirstRows(query, rows);
    return query + " OFFSET 0 ROWS FETCH NEXT " + std::to_string(rows) + " ROWS ONLY";
  }

 private:
  std::string Info(SQLUSMALLINT what) const {
    char value[256] = {0};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(SQLGetInfo(dbc_.handle, what, value, sizeof value, &length))) return "?";
    return value;
  }

  // Finds the database's dialect and sets the session up in it.
  void Prepare(bool read_only) {
    const std::string dbms = Info(SQL_DBMS_NAME);
    dialect_ = odbc::FindDialect(dbms);
    if (dialect_ == nullptr)
      throw Failure("The ODBC data source is a " + dbms +
                        " database, which this provider does not know (it knows " +
                        odbc::KnownSystems() + ")",
                    "IM001");
    if (read_only && dialect_->read_only.empty())
      throw Failure("Mode=ReadOnly is not available on " + dbms + " through ODBC", "IM001");
    for (const char* sql : dialect_->session) RunOne(sql, {}, nullptr);
    if (read_only)
      for (const char* sql : dialect_->read_only) RunOne(sql, {}, nullptr);
    if (timeout_ > 0 && dialect_->time_limit != nullptr) {
      std::string sql = dialect_->time_limit;
      sql.replace(sql.find("%s"), 2, std::to_string(timeout_));
      RunOne(sql, {}, nullptr);
    }
    if (*dialect_->session_check != '\0') {
      std::vector<Variant> row;
      if (!Query(dialect_->session_check)->Next(row) || row.empty() || row[0].ToDouble() == 0)
        throw Failure("The " + dbms + " server did not take the session settings this provider " +
                          "needs (" + dialect_->session.front() + ")",
                      "0A000");
    }
  }

  const odbc::Dialect& Connected() const {
    if (dbc_.handle == SQL_NULL_HANDLE || dialect_ == nullptr)
      throw Error(err::kConnectionClosed, "Operation is not allowed when the object is closed.");
    return *dialect_;
  }

  void Autocommit(bool on) {
    const SQLRETURN rc = SQLSetConnectAttr(
        dbc_.handle, SQL_ATTR_AUTOCOMMIT,
        reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER);
    if (!SQL_SUCCEEDED(rc)) throw Diagnosed(SQL_HANDLE_DBC, dbc_.handle, "Cannot set autocommit");
  }

  // Autocommit on again after a failure, whose report this must not replace.
  void RestoreAutocommit() noexcept {
    SQLSetConnectAttr(dbc_.handle, SQL_ATTR_AUTOCOMMIT,
                      reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER);
  }

  void End(SQLSMALLINT completion) {
    Connected();
    if (!in_transaction_) throw Failure("No transaction is open", "25000");
    const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_.handle, completion);
    std::optional<ProviderFailure> failure;
    if (!SQL_SUCCEEDED(rc))
      failure = Diagnosed(SQL_HANDLE_DBC, dbc_.handle, "The transaction did not end");
    in_transaction_ = false;
    if (failure) {
      RestoreAutocommit();  // the end's own failure is the one to report
      throw *failure;
    }
    Autocommit(true);
  }

  // Runs one statement; `count` receives the rows it changed. Where the
  // server refuses a second statement itself, its results are not asked for
  // (one driver fails at that after a compound statement, BEGIN ... END).
  void RunOne(const std::string& sql, const std::vector<Variant>& values, int64_t* count) {
    const bool several = Connected().runs_several_statements;
    auto run = [&] {
      Handle statement = Run(sql, values);
      if (count != nullptr) {
        SQLLEN rows = 0;
        SQLRowCount(statement.handle, &rows);
        *count = rows < 0 ? 0 : rows;
      }
      if (several) RefuseMoreResults(statement.handle);
    };
    if (several) {
      OneStatement(run);
    } else {
      run();
    }
  }

  // Where the driver runs every statement of a text, `body` runs where its
  // effects can be undone: in a transaction of its own, or inside a savepoint
  // of the caller's. A failure, a second statement among them, undoes them.
  template <class F>
  void OneStatement(F&& body) {
    const bool own_transaction = !in_transaction_;
    if (own_transaction) {
      Autocommit(false);
    } else {
      Direct("SAVEPOINT kvt710_one_statement");
    }
    try {
      body();
      if (own_transaction) {
        if (!SQL_SUCCEEDED(SQLEndTran(SQL_HANDLE_DBC, dbc_.handle, SQL_COMMIT)))
          throw Diagnosed(SQL_HANDLE_DBC, dbc_.handle, "The statement's commit failed");
        Autocommit(true);
      } else {
        Direct("RELEASE SAVEPOINT kvt710_one_statement");
      }
    } catch (...) {
      if (own_transaction) {
        SQLEndTran(SQL_HANDLE_DBC, dbc_.handle, SQL_ROLLBACK);
        RestoreAutocommit();
      } else {
        // Undoes the text's statements, a failed one's too; the transaction
        // goes on, as it does on SQLite after a failed statement.
        Handle undo(SQL_HANDLE_STMT, dbc_.handle);
        SQLExecDirect(undo.handle,
                      reinterpret_cast<SQLCHAR*>(
                          const_cast<char*>("ROLLBACK TO SAVEPOINT kvt710_one_statement")),
                      SQL_NTS);
      }
      throw;
    }
  }

  void Direct(const char* sql) {
    Handle statement = Run(sql, {});
    RefuseMoreResults(statement.handle);
  }

  // A second result is a second statement's: the text is refused.
  static void RefuseMoreResults(SQLHANDLE statement) {
    const SQLRETURN more = SQLMoreResults(statement);
    if (more == SQL_SUCCESS || more == SQL_SUCCESS_WITH_INFO)
      throw Failure("The command text holds more than one statement", "42000");
  }

  // Executes `sql` with `values` bound as text, each as the database reads
  // a text of that form; the statement's handle, its results unread.
  Handle Run(const std::string& sql, const std::vector<Variant>& values) {
    Connected();
    if (sql.find('\0') != std::string::npos)
      throw Failure("The command text contains a NUL character", "22021");
    Handle statement = NewStatement();
    std::vector<std::optional<std::string>> texts;
    std::vector<SQLLEN> lengths(values.size());
    texts.reserve(values.size());
    for (size_t i = 0; i < values.size(); ++i) {
      texts.push_back(ParamText(values[i]));
      const std::optional<std::string>& text = texts.back();
      if (text && text->find('\0') != std::string::npos)
        throw Failure("The value contains a NUL character", "22021");
      lengths[i] = text ? static_cast<SQLLEN>(text->size()) : SQL_NULL_DATA;
      const SQLSMALLINT type = SqlTypeOf(values[i]);
      const SQLRETURN rc =
          SQLBindParameter(statement.handle, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                           SQL_C_CHAR, type, text ? std::max<SQLULEN>(text->size(), 1) : 1, 0,
                           text ? const_cast<char*>(text->data()) : nullptr, 0, &lengths[i]);
      if (!SQL_SUCCEEDED(rc))
        throw Diagnosed(SQL_HANDLE_STMT, statement.handle, "A value could not be bound");
    }
    const SQLRETURN rc =
        SQLExecDirect(statement.handle, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                      static_cast<SQLINTEGER>(sql.size()));
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_NO_DATA)
      throw Diagnosed(SQL_HANDLE_STMT, statement.handle, "The statement failed");
    SQLFreeStmt(statement.handle, SQL_RESET_PARAMS);  // the texts bound end here
    return statement;
  }

  // A statement handle with the command timeout as its query timeout.
  Handle NewStatement() {
    Handle statement(SQL_HANDLE_STMT, dbc_.handle);
    if (timeout_ > 0)
      SQLSetStmtAttr(statement.handle, SQL_ATTR_QUERY_TIMEOUT,
                     reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout_)), 0);
    return statement;
  }

  static SQLSMALLINT SqlTypeOf(const Variant& value) {
    switch (value.type()) {
      case Variant::Type::kInteger:
      case Variant::Type::kLong:
        return SQL_INTEGER;
      case Variant::Type::kDouble:
        return SQL_DOUBLE;
      case Variant::Type::kDate:
        return SQL_TYPE_TIMESTAMP;
      default:
        return SQL_VARCHAR;
    }
  }

  // The first column of every row of a catalogue query about `table`.
  std::vector<std::string> Names(const char* query, const std::string& table) {
    std::vector<std::string> names;
    std::unique_ptr<RowCursor> cursor = QueryBound(query, {Variant::String(table)});
    std::vector<Variant> row;
    while (cursor->Next(row)) names.push_back(text::ToUpperAscii(row.at(0).ToString()));
    return names;
  }

  // Runs the statement through its prepared shape and returns the kept
  // statement's handle, its results unread; null, with nothing run, when
  // the statement must run as its text.
  SQLHANDLE RunShaped(const Statement& statement) {
    PreparedShape* shape = Connected().describes_parameters ? Prepared(statement) : nullptr;
    if (shape == nullptr || !TakesValues(*shape, statement)) return SQL_NULL_HANDLE;
    const size_t count = statement.value_count();
    texts_.resize(std::max(texts_.size(), count));
    lengths_.assign(count, SQL_NULL_DATA);
    SQLHANDLE handle = shape->statement.handle;
    for (size_t i = 0; i < count; ++i) {
      const Value& value = statement.value(i);
      if (value.kind != Value::Kind::kNull) {
        texts_[i].assign(statement.chars(i));
        if (texts_[i].find('\0') != std::string::npos) return SQL_NULL_HANDLE;
        lengths_[i] = static_cast<SQLLEN>(texts_[i].size());
      }
      // A text goes as text: the server reads it as its literal, a date's too.
      const SQLSMALLINT type = value.kind == Value::Kind::kNumber ? shape->types[i] : SQL_VARCHAR;
      if (!SQL_SUCCEEDED(SQLBindParameter(handle, static_cast<SQLUSMALLINT>(i + 1), SQL_PARAM_INPUT,
                                          SQL_C_CHAR, type, std::max<SQLULEN>(texts_[i].size(), 1),
                                          0, texts_[i].data(), 0, &lengths_[i])))
        throw Diagnosed(SQL_HANDLE_STMT, handle, "A value could not be bound");
    }
    const SQLRETURN rc = SQLExecute(handle);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO && rc != SQL_NO_DATA)
      throw Diagnosed(SQL_HANDLE_STMT, handle, "The statement failed");
    return handle;
  }

  struct PreparedShape {
    std::string shape;               // with "?" as placeholders
    Handle statement;                // null when the shape does not prepare: its texts run
    std::vector<SQLSMALLINT> types;  // as the driver describes them
  };

  static bool TakesValues(const PreparedShape& shape, const Statement& statement) {
    return shape.statement.handle != SQL_NULL_HANDLE &&
           statement.FitsParameters(shape.types, TakesBareNumber);
  }

  // The statement's shape, prepared and described on first use.
  PreparedShape* Prepared(const Statement& statement) {
    if (PreparedShape* kept = shapes_.Find(statement)) return kept;
    PreparedShape shape{shapes_.key(), NewStatement(), {}};
    SQLHANDLE handle = shape.statement.handle;
    SQLSMALLINT count = 0;
    bool described =
        SQL_SUCCEEDED(SQLPrepare(handle, reinterpret_cast<SQLCHAR*>(shape.shape.data()),
                                 static_cast<SQLINTEGER>(shape.shape.size()))) &&
        SQL_SUCCEEDED(SQLNumParams(handle, &count));
    for (SQLUSMALLINT i = 1; described && i <= count; ++i) {
      SQLSMALLINT type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      described = SQL_SUCCEEDED(SQLDescribeParam(handle, i, &type, &size, &digits, &nullable));
      shape.types.push_back(type);
    }
    if (!described) {
      // Inside a transaction a server may have aborted it already: then the
      // shape's failure is the text's own (the same analysis of the same text).
      if (in_transaction_) throw Diagnosed(SQL_HANDLE_STMT, handle, "The statement failed");
      shape.statement = Handle();
    }
    return shapes_.Add(std::move(shape));
  }

  Handle env_;
  Handle dbc_;
  ShapeCache<PreparedShape> shapes_;
  std::vector<std::string> texts_;
  std::vector<SQLLEN> lengths_;
  const odbc::Dialect* dialect_ = nullptr;
  int32_t timeout_ = 0;
  bool in_transaction_ = false;
};

}  // namespace

std::unique_ptr<Backend> NewOdbcBackend() {
  return std::make_unique<OdbcBackend>();
}

FailureKind ClassifyOdbcFailure(const ProviderError& error) {
  const std::string& state = error.sqlstate;
  const int32_t native = error.number;
  // Serialization failure, deadlock, lock not available, a lock wait that ran out.
  if (state == "40001" || state == "40P01" || state == "55P03" || state == "HYT00" ||
      native == 1205 || native == 1213)
    return FailureKind::kTransient;
  // 23505: PostgreSQL; 23000 is every integrity violation, so its native code
  // tells a duplicate key (MariaDB/MySQL 1062, SQL Server 2601 and 2627).
  if (state == "23505" ||
      (state == "23000" && (native == 1062 || native == 2601 || native == 2627)))
    return FailureKind::kUniqueViolation;
  // Disk or table full: PostgreSQL 53100; MariaDB 1021 and 1114; SQL Server 1105 and 9002.
  if (state == "53100" || native == 1021 || native == 1114 || native == 1105 || native == 9002)
    return FailureKind::kStorageFull;
  // A read-only transaction, server (MariaDB 1290, 1836) or database (SQL Server 3906).
  if (state == "25006" || native == 1290 || native == 1836 || native == 3906)
    return FailureKind::kReadOnly;
  // Class 08 and the server shutting down (57P01-57P03); MariaDB's server
  // gone or lost (2006, 2013), shutting down (1053), the session killed (1927).
  if (state.starts_with("08") || state == "57P01" || state == "57P02" || state == "57P03" ||
      native == 2006 || native == 2013 || native == 1053 || native == 1927)
    return FailureKind::kUnavailable;
  return FailureKind::kOther;
}

}  // namespace kvt710::db
