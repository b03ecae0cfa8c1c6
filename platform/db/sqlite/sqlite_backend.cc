#include "platform/db/sqlite/sqlite_backend.h"

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/automation/error.h"
#include "platform/db/shape_cache.h"
#include "platform/db/sqlite/date_collation.h"
#include "platform/db/statement.h"
#include "platform/text/ascii.h"

namespace kvt710::db {
namespace {

constexpr int kBusyTimeoutMs = 5000;
constexpr const char* kSource = "SQLite";
// Real-number tokens whose value SQLite computed for us.
constexpr size_t kRealCacheSize = 4096;
// Significant digits that SQLite's conversion of a number keeps, at least.
constexpr size_t kMostSignificantDigits = 17;

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalizer {
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};
using DbHandle = std::unique_ptr<sqlite3, DbCloser>;
using StmtHandle = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// The one place where SQLite's result codes become errors.
[[noreturn]] void Fail(int code, const std::string& message) {
  throw ProviderFailure(ProviderError{code, message, "", kSource});
}

[[noreturn]] void FailFrom(sqlite3* db, int code) {
  Fail(code, db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code));
}

// The keys this backend reads (compared as ConnectionParameters::Find does).
constexpr const char* kKeys[] = {"Data Source", "Mode", "Max Page Count"};

// The value of "Max Page Count": a whole number of pages, as digits.
std::string PageCount(const std::string& value) {
  std::string digits;
  for (char c : value)
    if (c != ' ') digits += c;
  if (digits.empty() || digits.size() > 10 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    throw Error(kvt710::err::kBadConnectionString,
                "The SQLite connection string's Max Page Count must be a whole number",
                "ADODB.Connection");
  return digits;
}

bool OnlyBlanks(const char* begin, const char* end) {
  for (const char* p = begin; p < end; ++p) {
    if (!std::isspace(static_cast<unsigned char>(*p))) return false;
  }
  return true;
}

std::string DateText(const DateTime& d) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour,
                d.minute, d.second);
  return buf;
}

Variant ColumnValue(sqlite3_stmt* stmt, int i) {
  switch (sqlite3_column_type(stmt, i)) {
    case SQLITE_INTEGER: {
      const sqlite3_int64 v = sqlite3_column_int64(stmt, i);
      if (v >= INT32_MIN && v <= INT32_MAX) return Variant::Long(static_cast<int32_t>(v));
      return Variant::Double(static_cast<double>(v));
    }
    case SQLITE_FLOAT:
      return Variant::Double(sqlite3_column_double(stmt, i));
    case SQLITE_NULL:
      return Variant::Null();
    default: {  // TEXT and BLOB: the bytes as they are
      const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, i));
      const int n = sqlite3_column_bytes(stmt, i);
      return Variant::String(bytes != nullptr ? std::string(bytes, static_cast<size_t>(n))
                                              : std::string());
    }
  }
}

void Bind(sqlite3* db, sqlite3_stmt* stmt, const std::vector<Variant>& values) {
  if (sqlite3_bind_parameter_count(stmt) != static_cast<int>(values.size()))
    Fail(SQLITE_RANGE, "The statement's placeholders do not match the values bound to it");
  for (size_t i = 0; i < values.size(); ++i) {
    const Variant& v = values[i];
    const int at = static_cast<int>(i) + 1;
    int rc = SQLITE_OK;
    switch (v.type()) {
      case Variant::Type::kEmpty:
      case Variant::Type::kMissing:
      case Variant::Type::kNull:
        rc = sqlite3_bind_null(stmt, at);
        break;
      case Variant::Type::kBoolean:
      case Variant::Type::kInteger:
      case Variant::Type::kLong:
        rc = sqlite3_bind_int(stmt, at, v.ToLong());
        break;
      case Variant::Type::kDouble:
        rc = sqlite3_bind_double(stmt, at, v.ToDouble());
        break;
      case Variant::Type::kDate: {
        const std::string text = DateText(v.ToDate());
        rc = sqlite3_bind_text(stmt, at, text.data(), static_cast<int>(text.size()),
                               SQLITE_TRANSIENT);
        break;
      }
      case Variant::Type::kString: {
        const std::string& text = v.string_ref();
        if (text.size() > INT_MAX) Fail(SQLITE_TOOBIG, "A bound text is too long");
        rc = sqlite3_bind_text(stmt, at, text.data(), static_cast<int>(text.size()),
                               SQLITE_TRANSIENT);
        break;
      }
      case Variant::Type::kObject:
      case Variant::Type::kArray:
        throw Error(kvt710::err::kTypeMismatch,
                    "Type mismatch: an object or array is no column value", kSource);
    }
    if (rc != SQLITE_OK) FailFrom(db, rc);
  }
}

class SqliteCursor : public RowCursor {
 public:
  SqliteCursor(sqlite3* db, StmtHandle stmt) : SqliteCursor(db, stmt.get()) {
    owned_ = std::move(stmt);
  }
  // Over a statement kept prepared by the backend: reset and unbound when
  // the cursor goes, never finalized.
  SqliteCursor(sqlite3* db, sqlite3_stmt* kept) : db_(db), stmt_(kept) {
    const int n = sqlite3_column_count(stmt_);
    for (int i = 0; i < n; ++i) {
      const char* name = sqlite3_column_name(stmt_, i);
      columns_.emplace_back(name != nullptr ? name : "");
    }
  }
  ~SqliteCursor() override {
    if (owned_) return;
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }
  SqliteCursor(const SqliteCursor&) = delete;
  SqliteCursor& operator=(const SqliteCursor&) = delete;

  const std::vector<std::string>& columns() const override { return columns_; }

  bool Next(std::vector<Variant>& row) override {
    if (done_) return false;
    const int rc = sqlite3_step(stmt_);
    if (rc == SQLITE_ROW) {
      row.clear();
      for (int i = 0; i < static_cast<int>(columns_.size()); ++i)
        row.push_back(ColumnValue(stmt_, i));
      return true;
    }
    done_ = true;
    if (rc == SQLITE_DONE) {
      sqlite3_reset(stmt_);  // ends the statement's read transaction at once
      return false;
    }
    FailFrom(db_, rc);
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* stmt_;
  StmtHandle owned_;  // empty for a kept statement
  std::vector<std::string> columns_;
  bool done_ = false;
};

class SqliteBackend : public Backend {
 public:
  void CheckKeys(const ConnectionParameters& params) const override {
    RefuseUnknownKeys(params, kKeys, KeyRule::kIgnoreCase);
  }

  void Open(const ConnectionParameters& params, int32_t /*command_timeout_seconds*/) override {
    CheckKeys(params);
    const std::optional<std::string> path = params.Find("Data Source");
    if (!path || path->empty()) {
      throw Error(kvt710::err::kBadConnectionString,
                  "The SQLite connection string names no Data Source", "ADODB.Connection");
    }
    // A missing file is created only when asked for: a mistyped path must
    // not become an empty database.
    int flags = SQLITE_OPEN_READWRITE;
    bool read_only = false;
    if (const std::optional<std::string> mode = params.Find("Mode")) {
      const std::string upper = text::ToUpperAscii(*mode);
      if (upper == "READONLY" || upper == "READ") {
        flags = SQLITE_OPEN_READONLY;
        read_only = true;
      } else if (upper == "READWRITECREATE") {
        flags |= SQLITE_OPEN_CREATE;
      } else if (upper != "READWRITE" && !upper.empty()) {
        throw Error(kvt710::err::kBadConnectionString,
                    "The SQLite connection string names an unknown Mode", "ADODB.Connection");
      }
    }
    const bool in_memory = *path == ":memory:";
    if (in_memory && !read_only) flags |= SQLITE_OPEN_CREATE;
    flags |= SQLITE_OPEN_NOMUTEX;

    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(path->c_str(), &raw, flags, nullptr);
    DbHandle db(raw);
    if (rc != SQLITE_OK) {
      struct stat st {};
      if ((rc & 0xff) == SQLITE_CANTOPEN && (flags & SQLITE_OPEN_CREATE) == 0 &&
          ::stat(path->c_str(), &st) != 0 && (errno == ENOENT || errno == ENOTDIR))
        throw ProviderFailure(
            ProviderError{kErrNoDatabaseFile, "no such database file: " + *path, "", kSource});
      // The path holds no secret; the rest of the connection string stays out.
      const std::string message = db ? sqlite3_errmsg(db.get()) : sqlite3_errstr(rc);
      Fail(rc, message + " (Data Source " + *path + ")");
    }
    sqlite3_extended_result_codes(db.get(), 1);
    sqlite3_busy_timeout(db.get(), kBusyTimeoutMs);
    const int crc = sqlite::RegisterDateCollation(db.get());
    if (crc != SQLITE_OK) FailFrom(db.get(), crc);
    db_ = std::move(db);
    try {
      if (!read_only && !in_memory) Execute("PRAGMA journal_mode=WAL");
      Execute("PRAGMA synchronous=NORMAL");
      if (const std::optional<std::string> pages = params.Find("Max Page Count"))
        Execute("PRAGMA max_page_count=" + PageCount(*pages));
    } catch (...) {
      db_.reset();
      throw;
    }
  }

  bool IsOpen() const override { return db_ != nullptr; }
  std::string ClientLibrary() const override {
    return std::string("SQLite ") + sqlite3_libversion();
  }
  void Close() override {
    shapes_.Clear();
    real_of_.reset();
    begin_.reset();
    commit_.reset();
    rollback_.reset();
    db_.reset();
  }

  void Execute(const std::string& sql) override {
    StmtHandle stmt = Prepare(sql);
    Run(stmt.get());
  }

  void ExecuteShaped(const Statement& statement) override {
    sqlite3_stmt* stmt = PreparedShape(statement);
    if (stmt == nullptr) {
      Execute(statement.text());
      return;
    }
    BindShaped(stmt, statement);
    RunAndReset(stmt);
  }

  int64_t ExecuteBound(const std::string& sql, const std::vector<Variant>& values) override {
    StmtHandle stmt = Prepare(sql);
    Bind(db_.get(), stmt.get(), values);
    Run(stmt.get());
    return sqlite3_changes64(db_.get());
  }

  std::unique_ptr<RowCursor> Query(const std::string& sql) override {
    return std::make_unique<SqliteCursor>(db_.get(), Prepare(sql));
  }

  std::unique_ptr<RowCursor> QueryBound(const std::string& sql,
                                        const std::vector<Variant>& values) override {
    StmtHandle stmt = Prepare(sql);
    Bind(db_.get(), stmt.get(), values);
    return std::make_unique<SqliteCursor>(db_.get(), std::move(stmt));
  }

  std::unique_ptr<RowCursor> QueryShaped(const Statement& statement) override {
    sqlite3_stmt* stmt = PreparedShape(statement);
    if (stmt == nullptr) return Query(statement.text());
    BindShaped(stmt, statement);
    return std::make_unique<SqliteCursor>(db_.get(), stmt);
  }

  // Kept prepared: a bulk load begins and commits once a customer.
  void Begin() override { RunKept(begin_, "BEGIN IMMEDIATE"); }
  void Commit() override { RunKept(commit_, "COMMIT"); }
  void Rollback() override { RunKept(rollback_, "ROLLBACK"); }

  std::string SchemaScript() const override { return "sqlite"; }

  bool HasTable(const std::string& table) override {
    std::vector<Variant> row;
    return QueryBound(
               "SELECT 1 FROM sqlite_schema WHERE type = 'table' AND name = ? COLLATE NOCASE",
               {Variant::String(table)})
        ->Next(row);
  }

  std::vector<std::string> IndexNames(const std::string& table) override {
    auto cursor =
        QueryBound("SELECT upper(name) FROM pragma_index_list(?)", {Variant::String(table)});
    std::vector<std::string> names;
    std::vector<Variant> row;
    while (cursor->Next(row)) names.push_back(row[0].ToString());
    return names;
  }

  std::vector<std::string> CheckStorage() override {
    auto cursor = Query("PRAGMA integrity_check");
    std::vector<std::string> problems;
    std::vector<Variant> row;
    while (cursor->Next(row)) {
      if (row[0].ToString() != "ok") problems.push_back(row[0].ToString());
    }
    return problems;
  }

  std::vector<std::string> PrimaryKey(const std::string& table) override {
    auto cursor = QueryBound("SELECT name, pk FROM pragma_table_info(?)", {Variant::String(table)});
    std::vector<std::pair<int32_t, std::string>> keyed;
    std::vector<Variant> row;
    bool any = false;
    while (cursor->Next(row)) {
      any = true;
      if (row[1].ToLong() <= 0) continue;
      keyed.emplace_back(row[1].ToLong(), text::ToUpperAscii(row[0].ToString()));
    }
    if (!any) Fail(SQLITE_ERROR, "no such table: " + table);
    std::sort(keyed.begin(), keyed.end());
    std::vector<std::string> key;
    for (auto& entry : keyed) key.push_back(std::move(entry.second));
    return key;
  }

 private:
  sqlite3* Db() const {
    if (!db_)
      throw Error(kvt710::err::kConnectionClosed, "The SQLite connection is closed", kSource);
    return db_.get();
  }

  // Prepares the one statement of `sql`; a text holding a second statement, a
  // NUL byte or no statement at all is refused before anything runs.
  StmtHandle Prepare(const std::string& sql, unsigned flags = 0) {
    sqlite3* db = Db();
    if (sql.find('\0') != std::string::npos)
      Fail(SQLITE_ERROR, "A command text must not hold a NUL character");
    if (sql.size() >= INT_MAX) Fail(SQLITE_TOOBIG, "The command text is too long");
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const char* end = sql.data() + sql.size();
    int rc = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()), flags, &raw, &tail);
    StmtHandle stmt(raw);
    if (rc != SQLITE_OK) FailFrom(db, rc);
    if (!stmt) Fail(SQLITE_ERROR, "The command text holds no statement");
    if (tail != nullptr && !OnlyBlanks(tail, end)) {
      // Whatever follows must be comments; preparing it runs nothing.
      sqlite3_stmt* rest_raw = nullptr;
      rc = sqlite3_prepare_v3(db, tail, static_cast<int>(end - tail), 0, &rest_raw, nullptr);
      StmtHandle rest(rest_raw);
      if (rc != SQLITE_OK || rest)
        Fail(SQLITE_ERROR, "A command text must hold exactly one statement");
    }
    return stmt;
  }

  void Run(sqlite3_stmt* stmt) {
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    if (rc != SQLITE_DONE) FailFrom(db_.get(), rc);
  }

  void RunKept(StmtHandle& kept, const char* sql) {
    if (!kept) kept = Prepare(sql, SQLITE_PREPARE_PERSISTENT);
    RunAndReset(kept.get());
  }

  // Runs a statement that stays prepared, then resets it and drops its
  // bindings (bound texts lie in the caller's statement); the error message
  // is taken before the reset.
  void RunAndReset(sqlite3_stmt* stmt) {
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    }
    const std::string message = rc == SQLITE_DONE ? std::string() : sqlite3_errmsg(db_.get());
    sqlite3_reset(stmt);
    sqlite3_clear_bindings(stmt);
    if (rc != SQLITE_DONE) Fail(rc, message);
  }

  // The cached prepared statement of the statement's shape, prepared on first
  // use; nullptr when the shape does not prepare (the text then runs and
  // reports whatever is wrong with it).
  sqlite3_stmt* PreparedShape(const Statement& statement) {
    if (const CachedShape* kept = shapes_.Find(statement)) return kept->stmt.get();
    StmtHandle stmt;
    try {
      stmt = Prepare(shapes_.key(), SQLITE_PREPARE_PERSISTENT);
    } catch (const Error&) {
      return nullptr;
    }
    if (sqlite3_bind_parameter_count(stmt.get()) != static_cast<int>(statement.value_count()))
      return nullptr;
    return shapes_.Add(CachedShape{shapes_.key(), std::move(stmt)})->stmt.get();
  }

  // Binds each value as its literal in the text would give it: a text as
  // itself, Null as NULL, a number as SQLite's tokenizer reads it (an integer
  // when written as one and within 64 bits, otherwise a real number).
  void BindShaped(sqlite3_stmt* stmt, const Statement& statement) {
    for (size_t i = 0; i < statement.value_count(); ++i) {
      const Value& value = statement.value(i);
      const int at = static_cast<int>(i) + 1;
      int rc = SQLITE_OK;
      switch (value.kind) {
        case Value::Kind::kNull:
          rc = sqlite3_bind_null(stmt, at);
          break;
        case Value::Kind::kText:
        case Value::Kind::kDate: {
          const std::string_view text = statement.chars(i);
          rc = sqlite3_bind_text(stmt, at, text.data(), static_cast<int>(text.size()),
                                 SQLITE_STATIC);
          break;
        }
        case Value::Kind::kNumber:
          if (value.is_integer) {
            rc = sqlite3_bind_int64(stmt, at, value.integer);
          } else {
            rc = sqlite3_bind_double(stmt, at, RealOf(value, statement.chars(i)));
          }
          break;
      }
      if (rc != SQLITE_OK) {
        sqlite3_clear_bindings(stmt);
        FailFrom(db_.get(), rc);
      }
    }
  }

  // The real number that SQLite reads from a number written `chars`: exact
  // values (1.25, 5., 1e3) are the same in any correct conversion; for the
  // rest SQLite converts the unsigned digits itself, with the routine its
  // tokenizer uses (through a text value it converts), and the sign applies.
  double RealOf(const Value& number, std::string_view chars) {
    if (number.is_double && number.digits <= kMostSignificantDigits) return number.real;
    const bool negative = !chars.empty() && chars[0] == '-';
    if (!chars.empty() && (chars[0] == '-' || chars[0] == '+')) chars.remove_prefix(1);
    auto found = reals_.find(std::string(chars));
    if (found == reals_.end()) {
      if (!real_of_) real_of_ = Prepare("SELECT ?1");
      sqlite3_stmt* stmt = real_of_.get();
      sqlite3_bind_text(stmt, 1, chars.data(), static_cast<int>(chars.size()), SQLITE_STATIC);
      const int rc = sqlite3_step(stmt);
      const double value = rc == SQLITE_ROW ? sqlite3_column_double(stmt, 0) : 0.0;
      sqlite3_reset(stmt);
      sqlite3_clear_bindings(stmt);
      if (rc != SQLITE_ROW) FailFrom(db_.get(), rc);
      if (reals_.size() >= kRealCacheSize) reals_.clear();
      found = reals_.emplace(chars, value).first;
    }
    return negative ? -found->second : found->second;
  }

  struct CachedShape {
    std::string shape;
    StmtHandle stmt;
  };

  DbHandle db_;
  ShapeCache<CachedShape> shapes_;
  StmtHandle real_of_;
  std::unordered_map<std::string, double> reals_;
  StmtHandle begin_, commit_, rollback_;
};

}  // namespace

std::unique_ptr<Backend> NewSqliteBackend() {
  return std::make_unique<SqliteBackend>();
}

FailureKind ClassifySqliteFailure(const ProviderError& error) {
  switch (error.number) {
    case kErrNoDatabaseFile:
      return FailureKind::kUnavailable;
    case SQLITE_CONSTRAINT_PRIMARYKEY:
    case SQLITE_CONSTRAINT_UNIQUE:
      return FailureKind::kUniqueViolation;
    default:
      break;
  }
  switch (error.number & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return FailureKind::kTransient;
    case SQLITE_FULL:
      return FailureKind::kStorageFull;
    case SQLITE_READONLY:
      return FailureKind::kReadOnly;
    case SQLITE_IOERR:
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB:
    case SQLITE_CANTOPEN:
      return FailureKind::kUnavailable;
    default:
      return FailureKind::kOther;
  }
}

}  // namespace kvt710::db
