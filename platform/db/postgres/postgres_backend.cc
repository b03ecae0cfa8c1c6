#include "platform/db/postgres/postgres_backend.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string_view>

#include "platform/automation/error.h"
#include "platform/db/postgres/pg_conninfo.h"
#include "platform/db/shape_cache.h"
#include "platform/db/statement.h"
#include "platform/db/text_values.h"
#include "platform/text/ascii.h"

namespace kvt710::db {
namespace {

constexpr const char* kSource = "PostgreSQL";
constexpr const char* kSqlStateCannotConnect = "08001";
constexpr const char* kSqlStateConnectionLost = "08006";

// Parameter types (pg_type OIDs) that take a bare number as the text would:
// the text's numeric constant converts to them as their own input reads the
// number. Whole-number types read only digits, so they take integers only.
constexpr Oid kInt8 = 20, kInt2 = 21, kInt4 = 23, kFloat4 = 700, kFloat8 = 701, kNumeric = 1700;
constexpr Oid kBool = 16, kOid = 26, kDate = 1082, kTimestamp = 1114, kTimestampTz = 1184;

// How a result column of the type reads from its text.
TextType TextTypeOf(Oid type) {
  switch (type) {
    case kInt2:
    case kInt4:
    case kInt8:
    case kOid:
    case kNumeric:
    case kFloat4:
    case kFloat8:
      return TextType::kNumber;
    case kBool:
      return TextType::kBoolean;
    case kDate:
      return TextType::kDate;
    case kTimestamp:
    case kTimestampTz:
      return TextType::kTimestamp;
    default:
      return TextType::kText;
  }
}

bool TakesBareNumber(Oid type, const Value& number) {
  switch (type) {
    case kNumeric:
    case kFloat4:
    case kFloat8:
      return true;
    case kInt2:
    case kInt4:
    case kInt8:
      return number.whole;
    default:
      return false;
  }
}

struct ConnDeleter {
  void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct ResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using ConnPtr = std::unique_ptr<PGconn, ConnDeleter>;
using ResultPtr = std::unique_ptr<PGresult, ResultDeleter>;

// libpq's messages end in a newline and may span lines ("FATAL:  ...\n\t...");
// a new line that starts a sentence ends the one before.
std::string OneLine(std::string_view text) {
  std::string out;
  bool blank = false;
  bool line_break = false;
  for (char c : text) {
    if (c == '\n' || c == '\r') line_break = true;
    if (c == '\n' || c == '\r' || c == '\t' || c == ' ') {
      blank = true;
      continue;
    }
    if (blank && !out.empty()) {
      if (line_break && c >= 'A' && c <= 'Z' &&
          std::string_view(".:;?!").find(out.back()) == std::string_view::npos) {
        out += '.';
      }
      out += ' ';
    }
    blank = line_break = false;
    out += c;
  }
  return out;
}

ProviderFailure Failure(std::string description, std::string sqlstate) {
  return ProviderFailure(
      ProviderError{err::kProvider, std::move(description), std::move(sqlstate), kSource});
}

std::string ErrorField(const PGresult* result, int field) {
  const char* value = result != nullptr ? PQresultErrorField(result, field) : nullptr;
  return value != nullptr ? std::string(value) : std::string();
}

// The one place where a failed statement becomes a ProviderFailure: the
// server's SQLSTATE and primary message (with its detail), or, when the
// connection broke, 08006 and a description that says so.
ProviderFailure StatementFailure(const PGresult* result, PGconn* conn) {
  std::string sqlstate = ErrorField(result, PG_DIAG_SQLSTATE);
  std::string message = ErrorField(result, PG_DIAG_MESSAGE_PRIMARY);
  const std::string detail = ErrorField(result, PG_DIAG_MESSAGE_DETAIL);
  if (message.empty() && result != nullptr) message = OneLine(PQresultErrorMessage(result));
  if (message.empty()) message = OneLine(PQerrorMessage(conn));
  if (message.empty()) message = "unknown error";
  if (!detail.empty()) message += " (" + OneLine(detail) + ")";
  if (PQstatus(conn) == CONNECTION_BAD) {
    if (sqlstate.empty()) sqlstate = kSqlStateConnectionLost;
    message = "Connection to the PostgreSQL server lost: " + message;
  }
  return Failure(std::move(message), std::move(sqlstate));
}

void IgnoreNotice(void*, const char*) {}

void RefuseNul(std::string_view text, const char* what) {
  if (text.find('\0') != std::string_view::npos) {
    throw Failure(std::string("The ") + what + " contains a NUL character", "22021");
  }
}

class PostgresCursor final : public RowCursor {
 public:
  explicit PostgresCursor(ResultPtr result) : result_(std::move(result)) {
    if (PQresultStatus(result_.get()) != PGRES_TUPLES_OK) return;
    rows_ = PQntuples(result_.get());
    const int fields = PQnfields(result_.get());
    for (int i = 0; i < fields; ++i) {
      columns_.emplace_back(PQfname(result_.get(), i));
      types_.push_back(TextTypeOf(PQftype(result_.get(), i)));
    }
  }

  const std::vector<std::string>& columns() const override { return columns_; }

  bool Next(std::vector<Variant>& row) override {
    if (next_ >= rows_) return false;
    row.clear();
    row.reserve(columns_.size());
    for (int i = 0; i < static_cast<int>(columns_.size()); ++i) {
      if (PQgetisnull(result_.get(), next_, i)) {
        row.push_back(Variant::Null());
      } else {
        const std::string_view text(PQgetvalue(result_.get(), next_, i),
                                    static_cast<size_t>(PQgetlength(result_.get(), next_, i)));
        row.push_back(ValueFromText(types_[i], text));
      }
    }
    ++next_;
    return true;
  }

 private:
  ResultPtr result_;
  std::vector<std::string> columns_;
  std::vector<TextType> types_;
  int rows_ = 0;
  int next_ = 0;
};

// Unquoted names fold to lower case, as the statements that name them do.
std::string FoldedName(const std::string& table) {
  return table.find('"') == std::string::npos ? text::ToLowerAscii(table) : table;
}

class PostgresBackend final : public Backend {
 public:
  void CheckKeys(const ConnectionParameters& params) const override {
    postgres::BuildConnInfo(params);
  }

  void Open(const ConnectionParameters& params, int32_t command_timeout_seconds) override {
    Close();
    const postgres::ConnInfo info = postgres::BuildConnInfo(params);
    std::vector<const char*> keywords;
    std::vector<const char*> values;
    for (const auto& [keyword, value] : info.options) {
      keywords.push_back(keyword.c_str());
      values.push_back(value.c_str());
    }
    keywords.push_back(nullptr);
    values.push_back(nullptr);

    ConnPtr conn(PQconnectdbParams(keywords.data(), values.data(), 0));
    if (!conn) throw Failure("Cannot connect to the PostgreSQL server: out of memory", "08001");
    if (PQstatus(conn.get()) != CONNECTION_OK) {
      throw Failure("Cannot connect to the PostgreSQL server: " +
                        WithoutSecret(OneLine(PQerrorMessage(conn.get())), info.password),
                    kSqlStateCannotConnect);
    }
    PQsetNoticeProcessor(conn.get(), IgnoreNotice, nullptr);

    const int64_t timeout_ms =
        command_timeout_seconds > 0 ? int64_t{command_timeout_seconds} * 1000 : 0;
    const std::string setup =
        "SET standard_conforming_strings = on; SET DateStyle = 'ISO, YMD'; "
        "SET statement_timeout = " +
        std::to_string(timeout_ms);
    ResultPtr result(PQexec(conn.get(), setup.c_str()));
    if (!result || PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
      throw StatementFailure(result.get(), conn.get());
    }
    RequireSetting(conn.get(), "standard_conforming_strings", "on");
    RequireSetting(conn.get(), "client_encoding", "UTF8");
    conn_ = std::move(conn);
  }

  bool IsOpen() const override { return conn_ && PQstatus(conn_.get()) == CONNECTION_OK; }
  std::string ClientLibrary() const override {
    // PQlibVersion gives major * 10000 + minor for versions 10 and later.
    const int version = PQlibVersion();
    return "libpq " + std::to_string(version / 10000) + "." + std::to_string(version % 10000);
  }

  void Close() override {
    shapes_.Clear();
    conn_.reset();
  }

  void Execute(const std::string& sql) override { Run(sql, {}); }

  int64_t ExecuteBound(const std::string& sql, const std::vector<Variant>& values) override {
    const ResultPtr result = Run(sql, values);
    const char* tuples = PQcmdTuples(result.get());
    return (tuples != nullptr && *tuples != '\0') ? std::strtoll(tuples, nullptr, 10) : 0;
  }

  // Values go as text, their types taken from the prepared shape as the
  // server inferred them. A bare number goes only where the text's numeric
  // constant would convert the same way; otherwise the text runs.
  void ExecuteShaped(const Statement& statement) override {
    if (!RunShaped(statement)) Execute(statement.text());
  }

  // Inside a transaction, with every shape already prepared, the statements
  // go to the server in one pipeline: one round trip instead of one each. A
  // failure aborts the transaction, and the server skips the statements
  // after it, as running them one by one would stop there.
  void ExecuteAll(const std::vector<const Statement*>& statements, bool shaped,
                  size_t* done) override {
    PGconn* conn = Connected();
    *done = 0;
    if (statements.size() < 2 || statements.size() > Shapes::kCapacity / 2 ||
        PQtransactionStatus(conn) != PQTRANS_INTRANS)
      return Backend::ExecuteAll(statements, shaped, done);
    for (const Statement* s : statements) {
      // Refused one by one, where the refusal stops the run.
      if (s->text().find('\0') != std::string::npos)
        return Backend::ExecuteAll(statements, shaped, done);
    }
    std::vector<const PreparedShape*> shapes(statements.size(), nullptr);
    for (size_t i = 0; i < statements.size(); ++i) {
      if (!shaped || !statements[i]->has_shape()) continue;
      shapes[i] = shapes_.Find(*statements[i], true);
      if (shapes[i] == nullptr) return Backend::ExecuteAll(statements, shaped, done);
    }

    if (PQenterPipelineMode(conn) != 1) return Backend::ExecuteAll(statements, shaped, done);
    bool sent = true;
    for (size_t i = 0; i < statements.size() && sent; ++i) {
      const Statement& s = *statements[i];
      if (shapes[i] != nullptr && TakesValues(*shapes[i], s)) {
        BindValues(s);
        sent =
            PQsendQueryPrepared(conn, shapes[i]->name.c_str(), static_cast<int>(pointers_.size()),
                                pointers_.data(), nullptr, nullptr, 0) == 1;
      } else {
        sent = PQsendQueryParams(conn, s.text().c_str(), 0, nullptr, nullptr, nullptr, nullptr,
                                 0) == 1;
      }
    }
    if (sent) sent = PQpipelineSync(conn) == 1;
    std::optional<ProviderFailure> failure;
    if (!sent) failure = StatementFailure(nullptr, conn);
    // Every statement's results, then the sync; the first failure is kept.
    size_t ran = 0;
    bool synced = false;
    for (int nulls = 0; sent && !synced && nulls < 2;) {
      ResultPtr result(PQgetResult(conn));
      if (!result) {
        // A statement's results end with a null; two in a row: nothing more comes.
        if (++nulls == 2 && !failure) failure = StatementFailure(nullptr, conn);
        continue;
      }
      nulls = 0;
      switch (PQresultStatus(result.get())) {
        case PGRES_PIPELINE_SYNC:
          synced = true;
          break;
        case PGRES_COMMAND_OK:
        case PGRES_TUPLES_OK:
        case PGRES_EMPTY_QUERY:
          if (!failure) ++ran;
          break;
        case PGRES_PIPELINE_ABORTED:
          break;
        default:
          if (!failure) failure = StatementFailure(result.get(), conn);
      }
    }
    PQexitPipelineMode(conn);
    *done = ran;
    if (failure) throw *failure;
  }

  std::unique_ptr<RowCursor> Query(const std::string& sql) override {
    return std::make_unique<PostgresCursor>(Run(sql, {}));
  }

  std::unique_ptr<RowCursor> QueryBound(const std::string& sql,
                                        const std::vector<Variant>& values) override {
    return std::make_unique<PostgresCursor>(Run(sql, values));
  }

  std::unique_ptr<RowCursor> QueryShaped(const Statement& statement) override {
    ResultPtr result = RunShaped(statement);
    if (!result) return Query(statement.text());
    return std::make_unique<PostgresCursor>(std::move(result));
  }

  void Begin() override { Run("BEGIN", {}); }
  void Commit() override { Run("COMMIT", {}); }
  void Rollback() override { Run("ROLLBACK", {}); }

  std::vector<std::string> PrimaryKey(const std::string& table) override {
    const std::string name = FoldedName(table);
    const ResultPtr result =
        Run("SELECT a.attname FROM pg_index i JOIN pg_attribute a ON a.attrelid = i.indrelid AND "
            "a.attnum = ANY (i.indkey) WHERE i.indrelid = to_regclass($1) AND i.indisprimary "
            "ORDER BY array_position(i.indkey::int2[], a.attnum)",
            {Variant::String(name)});
    std::vector<std::string> columns;
    for (int row = 0; row < PQntuples(result.get()); ++row) {
      columns.push_back(text::ToUpperAscii(PQgetvalue(result.get(), row, 0)));
    }
    return columns;
  }

  std::string SchemaScript() const override { return "postgresql"; }

  bool HasTable(const std::string& table) override {
    const ResultPtr result =
        Run("SELECT to_regclass($1) IS NOT NULL", {Variant::String(FoldedName(table))});
    return std::string(PQgetvalue(result.get(), 0, 0)) == "t";
  }

  std::vector<std::string> IndexNames(const std::string& table) override {
    const ResultPtr result =
        Run("SELECT upper(c.relname) FROM pg_index i JOIN pg_class c ON c.oid = i.indexrelid "
            "WHERE i.indrelid = to_regclass($1)",
            {Variant::String(FoldedName(table))});
    std::vector<std::string> names;
    for (int row = 0; row < PQntuples(result.get()); ++row)
      names.push_back(PQgetvalue(result.get(), row, 0));
    return names;
  }

  std::string Placeholder(int n) const override { return "$" + std::to_string(n); }

  std::string NullSafeEquals(const std::string& column, const std::string& value) const override {
    return column + " IS NOT DISTINCT FROM " + value;
  }

 private:
  static void RequireSetting(PGconn* conn, const char* name, const char* expected) {
    const char* value = PQparameterStatus(conn, name);
    if (value == nullptr || std::strcmp(value, expected) != 0) {
      throw Failure(std::string("The PostgreSQL server does not run with ") + name + " " + expected,
                    "0A000");
    }
  }

  PGconn* Connected() {
    if (!conn_)
      throw Error(err::kConnectionClosed, "Operation is not allowed when the object is closed.");
    if (PQstatus(conn_.get()) != CONNECTION_OK) {
      throw Failure("Connection to the PostgreSQL server lost; open the connection again",
                    kSqlStateConnectionLost);
    }
    return conn_.get();
  }

  // Runs one statement through the extended protocol, values bound as text
  // with their types left to the server.
  // Runs a statement through its prepared shape and returns its checked
  // result; null, with nothing sent, when the statement must run as text.
  ResultPtr RunShaped(const Statement& statement) {
    PGconn* conn = Connected();
    const PreparedShape* shape = Prepared(conn, statement);
    if (shape == nullptr || !TakesValues(*shape, statement)) return nullptr;
    BindValues(statement);
    ResultPtr result(PQexecPrepared(conn, shape->name.c_str(), static_cast<int>(pointers_.size()),
                                    pointers_.data(), nullptr, nullptr, 0));
    Check(conn, result);
    return result;
  }

  ResultPtr Run(const std::string& sql, const std::vector<Variant>& values) {
    PGconn* conn = Connected();
    RefuseNul(sql, "command text");
    std::vector<std::optional<std::string>> texts;
    texts.reserve(values.size());
    for (const Variant& value : values) {
      texts.push_back(ParamText(value));
      if (texts.back()) RefuseNul(*texts.back(), "value");
    }
    std::vector<const char*> pointers;
    pointers.reserve(texts.size());
    for (const auto& text : texts) pointers.push_back(text ? text->c_str() : nullptr);

    ResultPtr result(PQexecParams(conn, sql.c_str(), static_cast<int>(pointers.size()), nullptr,
                                  pointers.data(), nullptr, nullptr, 0));
    Check(conn, result);
    return result;
  }

  // Throws the failure of a statement's result; COPY is refused.
  static void Check(PGconn* conn, const ResultPtr& result) {
    switch (result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR) {
      case PGRES_COMMAND_OK:
      case PGRES_TUPLES_OK:
      case PGRES_EMPTY_QUERY:
        return;
      case PGRES_COPY_IN:
      case PGRES_COPY_OUT:
      case PGRES_COPY_BOTH:
        AbandonCopy(conn);
        throw Failure("COPY is not supported on this connection", "0A000");
      default:
        throw StatementFailure(result.get(), conn);
    }
  }

  // Brings the connection out of a COPY that a command text started.
  static void AbandonCopy(PGconn* conn) {
    PQputCopyEnd(conn, "COPY is not supported on this connection");
    char* buffer = nullptr;
    while (PQgetCopyData(conn, &buffer, 0) > 0) PQfreemem(buffer);
    while (ResultPtr(PQgetResult(conn))) {
    }
  }

  // Fills pointers_ with the statement's values as text: a number as it is
  // written, without the blanks around it.
  void BindValues(const Statement& statement) {
    const size_t count = statement.value_count();
    if (texts_.size() < count) texts_.resize(count);
    pointers_.assign(count, nullptr);
    for (size_t i = 0; i < count; ++i) {
      if (statement.value(i).kind == Value::Kind::kNull) continue;
      texts_[i].assign(statement.chars(i));
      pointers_[i] = texts_[i].c_str();
    }
  }

  struct PreparedShape {
    std::string shape;  // with $1, $2, ... as placeholders
    std::string name;
    std::vector<Oid> types;  // as the server inferred them
  };

  // True when the shape takes the statement's values bound as the text
  // would: the right count, and each bare number where the server reads it
  // alike.
  static bool TakesValues(const PreparedShape& shape, const Statement& statement) {
    return statement.FitsParameters(shape.types, TakesBareNumber);
  }

  // The server-side prepared statement of the statement's shape, prepared
  // and described on first use; nullptr when the shape does not prepare
  // (the text then runs and reports whatever is wrong with it).
  const PreparedShape* Prepared(PGconn* conn, const Statement& statement) {
    if (const PreparedShape* kept = shapes_.Find(statement, true)) return kept;
    PreparedShape shape{shapes_.key(), "kvt710_shape_" + std::to_string(++shapes_prepared_), {}};
    ResultPtr prepared(PQprepare(conn, shape.name.c_str(), shape.shape.c_str(), 0, nullptr));
    if (!prepared || PQresultStatus(prepared.get()) != PGRES_COMMAND_OK) {
      // Inside a transaction the failure has aborted it, so the text cannot
      // run any more: the shape's failure is the text's own (the same
      // analysis of the same statement).
      if (PQtransactionStatus(conn) == PQTRANS_INERROR)
        throw StatementFailure(prepared.get(), conn);
      return nullptr;
    }
    ResultPtr described(PQdescribePrepared(conn, shape.name.c_str()));
    if (!described || PQresultStatus(described.get()) != PGRES_COMMAND_OK)
      throw StatementFailure(described.get(), conn);
    for (int i = 0; i < PQnparams(described.get()); ++i)
      shape.types.push_back(PQparamtype(described.get(), i));
    // A DEALLOCATE of the forgotten one that fails (an aborted transaction)
    // only leaves an unused statement on the server.
    return shapes_.Add(std::move(shape), [conn](const PreparedShape& forgotten) {
      ResultPtr(PQexec(conn, ("DEALLOCATE " + forgotten.name).c_str()));
    });
  }

  ConnPtr conn_;
  using Shapes = ShapeCache<PreparedShape>;
  Shapes shapes_;
  uint64_t shapes_prepared_ = 0;
  std::vector<std::string> texts_;
  std::vector<const char*> pointers_;
};

}  // namespace

std::unique_ptr<Backend> NewPostgresBackend() {
  return std::make_unique<PostgresBackend>();
}

FailureKind ClassifyPostgresFailure(const ProviderError& error) {
  const std::string& state = error.sqlstate;
  // 40001 serialization failure, 40P01 deadlock, 55P03 lock not available.
  if (state == "40001" || state == "40P01" || state == "55P03") return FailureKind::kTransient;
  if (state == "23505") return FailureKind::kUniqueViolation;
  if (state == "53100") return FailureKind::kStorageFull;
  if (state == "25006") return FailureKind::kReadOnly;  // read-only transaction
  // Class 08: the connection; 57P01-57P03: the server shut down or is starting.
  if (state.starts_with("08") || state == "57P01" || state == "57P02" || state == "57P03")
    return FailureKind::kUnavailable;
  return FailureKind::kOther;
}

}  // namespace kvt710::db
