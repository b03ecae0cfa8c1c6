// Whole-import benchmark: the demo's customers imported through the component
// end to end, against a raw baseline that runs the very same statement texts
// straight through the database's own client library, in the same process.
//
//   import_bench [--customers N] [--rounds R] [--seed S] [--no-sqlite] [--no-pg]
//                [--no-mariadb] [--no-pg-odbc]
//                [--raw-one-connection] [--pipeline] [--raw-prepared]
//   import_bench --scale 1000,10000,100000 [--customers N] [--no-pg]
//   import_bench --only a-text|b-raw|a-shapes ...   (one kind of run, for profiling)
//
// Import runs, in the order A-text B A-shapes, repeated R times (default 2),
// each on a fresh database:
//   A  the component: per customer a transaction of the host connection,
//      Initialize, the document's calls through the late-bound interface
//      (arguments in parameter order, as an automation host passes them),
//      Execute (or DelExecute), commit - what `kvt710 import` does, without
//      reading its JSON into named arguments; with prepared shapes
//      ("A-shapes") and without ("Prepared Statements=false", "A-text");
//   B  the raw baseline: per customer BEGIN, the same texts - the existence
//      checks (Select Count(*) ...), the DELETEs of Execute (or the UPDATE of
//      DelExecute) and the queued statements - each prepared, run and
//      finalized (SQLite) or sent with PQexec (PostgreSQL), COMMIT. The
//      existence checks run on a second connection, as the component runs
//      them on its own connection (--raw-one-connection: on the same one).
//      --pipeline adds, on PostgreSQL, "B-pipe": the same with the writes
//      sent in one libpq pipeline; "B-prep": the writes as prepared
//      statements of their shapes (values as text); "B-prep-pipe": both.
//      --raw-prepared adds, on SQLite, "B-prep": the writes as prepared
//      statements of their shapes, kept, each value bound as its literal
//      plainly reads - the ceiling of what prepared shapes can reach.
// Only the per-customer database work is timed; making the documents and,
// for B, the texts is not. Prints customers/s and statements/s per run and
// the ratios A-text/B and A-shapes/B over all rounds, of the best rounds, and
// by the CPU time of the benchmark's thread.
//
// --scale K1,K2,...: for each K a fresh database is bulk-filled with K
// customers (a master, a maintenance and one row in each history table,
// written by the database itself in one statement a table), then N demo
// customers (default 1000) are imported through the component with prepared
// shapes; prints the time per customer against the first K.
//
// SQLite files go to a fresh folder under $TMPDIR (WAL, synchronous NORMAL);
// PostgreSQL runs when KVT710_TEST_PG holds a connection string, each run in
// a schema of its own, dropped afterwards.
//
// Through ODBC: MariaDB when KVT710_TEST_MARIADB holds an ODBC connection
// string (each run in a database of its own, utf8mb4 with a binary no-pad
// collation), PostgreSQL when KVT710_TEST_PG_ODBC does (each run in a schema
// of its own, set as the search path when the driver connects); both
// dropped afterwards. There is no raw ODBC baseline, so these targets run A
// only (A-text and A-shapes), compared with the native PostgreSQL A-shapes
// of the same process when that ran; --scale skips them (the bulk fill is
// written through the raw clients).
#include <fcntl.h>
#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

#include "batch/KVT710C3.h"
#include "batch/statement_queue.h"
#include "bench/bench_servers.h"
#include "bench/settle_heap.h"
#include "cli/demo_data.h"
#include "cli/json_values.h"
#include "component/server.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/error.h"
#include "platform/db/connection.h"
#include "platform/db/connection_string.h"
#include "platform/db/postgres/pg_conninfo.h"
#include "platform/db/product_schema.h"
#include "platform/db/sqlite/date_collation.h"
#include "platform/db/statement.h"
#include "platform/settings/settings.h"
#include "sql/KVT710H1.h"

namespace {

namespace fs = std::filesystem;
using kvt710::Error;
using kvt710::KVT710C3;
using kvt710::NamedArg;
using kvt710::Variant;
using kvt710::bench::Engine;
using kvt710::db::Connection;
using Clock = std::chrono::steady_clock;
using json = nlohmann::json;

[[noreturn]] void Die(const std::string& message) {
  std::fprintf(stderr, "import_bench: %s\n", message.c_str());
  std::exit(1);
}

// ---------------------------------------------------------------------------
// The databases

struct Target {
  Engine engine = Engine::kSQLite;
  const char* name = "SQLite";  // in the output
  std::string admin;            // a server's connection string, from the environment
  fs::path dir;                 // SQLite: the folder of the files; B: the scratch folder
  // Whether the raw client can reach it (the B runs, the bulk fill): not through ODBC.
  bool raw() const { return engine == Engine::kSQLite || engine == Engine::kPostgreSQL; }
};

// A fresh, empty database with the product's schema: an SQLite file, or a
// schema or database of its own on a server.
class Database {
 public:
  Database(const Target& target, const std::string& name) : target_(target) {
    if (target.engine == Engine::kSQLite) {
      path_ = target.dir / (name + ".db");
      fs::remove(path_);
      fs::remove(path_.string() + "-wal");
      fs::remove(path_.string() + "-shm");
      connection_string_ = "Provider=SQLite;Data Source=" + path_.string();
      create_ = ";Mode=ReadWriteCreate";
    } else {
      server_.emplace(target.engine, target.admin,
                      "bench_" + name + "_" + std::to_string(getpid()));
      connection_string_ = server_->connection_string();
    }
    auto connection = Connection::Create();
    connection->Open(connection_string_ + create_);
    kvt710::db::CreateProductSchema(*connection);
  }
  const std::string& connection_string() const { return connection_string_; }
  const fs::path& path() const { return path_; }
  bool postgres() const { return target_.engine == Engine::kPostgreSQL; }

 private:
  Target target_;
  fs::path path_;
  std::optional<kvt710::bench::ServerNamespace> server_;
  std::string connection_string_;
  std::string create_;  // what the schema's connection adds to create a missing file
};

// A raw client connection: the SQLite C API or libpq, nothing of ours but
// the date collation that the schema's date columns need.
class RawConnection {
 public:
  explicit RawConnection(const Database& database) {
    if (!database.postgres()) {
      if (sqlite3_open_v2(database.path().c_str(), &sqlite_, SQLITE_OPEN_READWRITE, nullptr) !=
          SQLITE_OK)
        Die("cannot open " + database.path().string());
      sqlite3_busy_timeout(sqlite_, 5000);
      sqlite3_create_collation_v2(
          sqlite_, kvt710::db::sqlite::kDateCollation, SQLITE_UTF8, nullptr,
          [](void*, int n1, const void* p1, int n2, const void* p2) {
            return kvt710::db::sqlite::CompareCollationDates(
                std::string_view(static_cast<const char*>(p1), static_cast<size_t>(n1)),
                std::string_view(static_cast<const char*>(p2), static_cast<size_t>(n2)));
          },
          nullptr);
      Run("PRAGMA journal_mode=WAL");
      Run("PRAGMA synchronous=NORMAL");
      return;
    }
    const auto info = kvt710::db::postgres::BuildConnInfo(
        kvt710::db::ParseConnectionString(database.connection_string()));
    std::vector<const char*> keys, values;
    for (const auto& [k, v] : info.options) {
      keys.push_back(k.c_str());
      values.push_back(v.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    pg_ = PQconnectdbParams(keys.data(), values.data(), 0);
    if (PQstatus(pg_) != CONNECTION_OK) Die("cannot connect to PostgreSQL");
  }
  ~RawConnection() {
    for (auto& [shape, stmt] : sqlite_prepared_) sqlite3_finalize(stmt);
    if (sqlite_ != nullptr) sqlite3_close_v2(sqlite_);
    if (pg_ != nullptr) PQfinish(pg_);
  }

  // Runs one statement text as it is, reading any rows it returns.
  void Run(const std::string& sql) {
    if (sqlite_ != nullptr) {
      sqlite3_stmt* stmt = nullptr;
      if (sqlite3_prepare_v2(sqlite_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr) !=
          SQLITE_OK)
        Die(std::string("SQLite: ") + sqlite3_errmsg(sqlite_) + ": " + sql.substr(0, 200));
      int rc;
      while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) sqlite3_column_int64(stmt, 0);
      if (rc != SQLITE_DONE) Die(std::string("SQLite: ") + sqlite3_errmsg(sqlite_));
      sqlite3_finalize(stmt);
      return;
    }
    PGresult* result = PQexec(pg_, sql.c_str());
    const ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_TUPLES_OK && PQntuples(result) > 0) PQgetvalue(result, 0, 0);
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
      Die(std::string("PostgreSQL: ") + PQerrorMessage(pg_) + ": " + sql.substr(0, 200));
    PQclear(result);
  }
  // PostgreSQL: sends the texts in one pipeline (extended protocol, one
  // sync at the end) and reads their results.
  void RunPipelined(const std::vector<std::string>& texts, size_t first) {
    if (PQenterPipelineMode(pg_) != 1) Die("cannot enter pipeline mode");
    for (size_t i = first; i < texts.size(); ++i) {
      if (PQsendQueryParams(pg_, texts[i].c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) != 1)
        Die(std::string("PostgreSQL: ") + PQerrorMessage(pg_));
    }
    if (PQpipelineSync(pg_) != 1) Die("cannot sync the pipeline");
    for (size_t i = first; i < texts.size(); ++i) {
      while (PGresult* result = PQgetResult(pg_)) {
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
          Die(std::string("PostgreSQL: ") + PQerrorMessage(pg_) + ": " + texts[i].substr(0, 200));
        PQclear(result);
      }
    }
    PGresult* sync = PQgetResult(pg_);
    if (PQresultStatus(sync) != PGRES_PIPELINE_SYNC) Die("the pipeline did not sync");
    PQclear(sync);
    if (PQexitPipelineMode(pg_) != 1) Die("cannot leave pipeline mode");
  }
  // PostgreSQL: runs shaped statements as prepared statements of their
  // shapes (prepared on first use, kept), values as text; in one pipeline
  // when `pipelined`. Unshaped ones run as text.
  void RunPrepared(const std::vector<kvt710::db::Statement>& statements, bool pipelined) {
    if (sqlite_ != nullptr) return RunPreparedSqlite(statements);
    if (pipelined && PQenterPipelineMode(pg_) != 1) Die("cannot enter pipeline mode");
    size_t sent = 0;
    for (const kvt710::db::Statement& s : statements) {
      if (!s.has_shape()) {
        if (pipelined) {
          if (PQsendQueryParams(pg_, s.text().c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) !=
              1)
            Die(std::string("PostgreSQL: ") + PQerrorMessage(pg_));
          ++sent;
        } else {
          Run(s.text());
        }
        continue;
      }
      std::string shape;
      s.ShapeInto(shape, true);
      auto found = prepared_.find(shape);
      if (found == prepared_.end()) {
        const std::string name = "raw_" + std::to_string(prepared_.size());
        if (pipelined) {
          if (PQsendPrepare(pg_, name.c_str(), shape.c_str(), 0, nullptr) != 1)
            Die(std::string("PostgreSQL: ") + PQerrorMessage(pg_));
          ++sent;
        } else {
          PGresult* r = PQprepare(pg_, name.c_str(), shape.c_str(), 0, nullptr);
          if (PQresultStatus(r) != PGRES_COMMAND_OK)
            Die(std::string("PostgreSQL: ") + PQerrorMessage(pg_));
          PQclear(r);
        }
        found = prepared_.emplace(shape, name).first;
      }
      std::vector<std::string> values(s.value_count());
      std::vector<const char*> pointers(s.value_count(), nullptr);
      for (size_t i = 0; i < s.value_count(); ++i) {
        if (s.value(i).kind == kvt710::db::Value::Kind::kNull) continue;
        values[i] = std::string(s.chars(i));
        pointers[i] = values[i].c_str();
      }
      const int n = static_cast<int>(pointers.size());
      if (pipelined) {
        if (PQsendQueryPrepared(pg_, found->second.c_str(), n, pointers.data(), nullptr, nullptr,
                                0) != 1)
          Die(std::string("PostgreSQL: ") + PQerrorMessage(pg_));
        ++sent;
      } else {
        PGresult* r =
            PQexecPrepared(pg_, found->second.c_str(), n, pointers.data(), nullptr, nullptr, 0);
        if (PQresultStatus(r) != PGRES_COMMAND_OK)
          Die(std::string("PostgreSQL: ") + PQerrorMessage(pg_));
        PQclear(r);
      }
    }
    if (!pipelined) return;
    if (PQpipelineSync(pg_) != 1) Die("cannot sync the pipeline");
    for (size_t i = 0; i < sent; ++i) {
      while (PGresult* result = PQgetResult(pg_)) {
        const ExecStatusType status = PQresultStatus(result);
        if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
          Die(std::string("PostgreSQL: ") + PQerrorMessage(pg_));
        PQclear(result);
      }
    }
    PGresult* sync = PQgetResult(pg_);
    if (PQresultStatus(sync) != PGRES_PIPELINE_SYNC) Die("the pipeline did not sync");
    PQclear(sync);
    if (PQexitPipelineMode(pg_) != 1) Die("cannot leave pipeline mode");
  }
  // PostgreSQL: runs a text whose failure does not matter.
  void TryRun(const std::string& sql) { PQclear(PQexec(pg_, sql.c_str())); }
  void Begin() { Run(sqlite_ != nullptr ? "BEGIN IMMEDIATE" : "BEGIN"); }
  void Commit() { Run("COMMIT"); }

 private:
  sqlite3* sqlite_ = nullptr;
  PGconn* pg_ = nullptr;
  // SQLite: the statements by their shapes, prepared on first use and kept;
  // each value bound as the plain reading of its literal (text, integer,
  // real, NULL). Unshaped ones run as text.
  void RunPreparedSqlite(const std::vector<kvt710::db::Statement>& statements) {
    using Kind = kvt710::db::Value::Kind;
    for (const kvt710::db::Statement& s : statements) {
      if (!s.has_shape()) {
        Run(s.text());
        continue;
      }
      std::string shape;
      s.ShapeInto(shape);
      sqlite3_stmt*& stmt = sqlite_prepared_[shape];
      if (stmt == nullptr &&
          sqlite3_prepare_v3(sqlite_, shape.data(), static_cast<int>(shape.size()),
                             SQLITE_PREPARE_PERSISTENT, &stmt, nullptr) != SQLITE_OK)
        Die(std::string("SQLite: ") + sqlite3_errmsg(sqlite_));
      std::vector<std::string> texts(s.value_count());
      for (size_t i = 0; i < s.value_count(); ++i) {
        const kvt710::db::Value& value = s.value(i);
        const int at = static_cast<int>(i) + 1;
        texts[i] = std::string(s.chars(i));
        if (value.kind == Kind::kNull) {
          sqlite3_bind_null(stmt, at);
        } else if (value.kind != Kind::kNumber) {
          sqlite3_bind_text(stmt, at, texts[i].data(), static_cast<int>(texts[i].size()),
                            SQLITE_STATIC);
        } else if (value.is_integer) {
          sqlite3_bind_int64(stmt, at, value.integer);
        } else {
          sqlite3_bind_double(stmt, at, std::strtod(texts[i].c_str(), nullptr));
        }
      }
      int rc;
      while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
      }
      if (rc != SQLITE_DONE) Die(std::string("SQLite: ") + sqlite3_errmsg(sqlite_));
      sqlite3_reset(stmt);
      sqlite3_clear_bindings(stmt);
    }
  }

  std::unordered_map<std::string, std::string> prepared_;  // shape -> statement name
  std::unordered_map<std::string, sqlite3_stmt*> sqlite_prepared_;
};

// ---------------------------------------------------------------------------
// The customers

// A call as a host makes it through the late-bound interface: the method's
// name and its arguments in parameter order.
struct Call {
  std::string method;
  std::vector<Variant> args;
};
struct Customer {
  std::string key;
  bool deleting = false;
  std::vector<Call> calls;
};

// Demo document `index`, its named arguments put in parameter order as the
// import command does before it calls (host work, not timed).
Customer MakeCustomer(kvt710::Dispatch& batch, uint64_t seed, int64_t index) {
  const json document = kvt710::cli::DemoCustomer(seed, index);
  Customer customer;
  customer.key = document.at("key").get<std::string>();
  customer.deleting = document.value("delete", false);
  for (const json& call : document.at("calls")) {
    const std::string method = call.begin().key();
    std::vector<NamedArg> named;
    for (const auto& [name, value] : call.begin().value().items())
      named.push_back({name, kvt710::cli::ImportValue(value)});
    customer.calls.push_back(
        {method, kvt710::ArrangeNamedArgs(method, batch.ParameterNames(method), std::move(named))});
  }
  return customer;
}

bool Failed(const Variant& result) {
  return result.type() == Variant::Type::kLong && result.ToLong() == -1;
}

std::shared_ptr<KVT710C3> NewBatch(const std::string& connection_string) {
  auto batch = KVT710C3::Create(
      kvt710::Settings::WithValues({{kvt710::kCommonSection, "area", "1"},
                                    {kvt710::kCommonSection, "DBPARMC", connection_string}}));
  if (batch->DBStatus() != kvt710::emDbNomal) Die("the batch object has no connection");
  return batch;
}

// Runs the customer's writer calls (not Execute); returns how many existence
// checks they made.
int WriterCalls(KVT710C3& batch, Customer& customer) {
  batch.Call("Initialize");
  int checks = 0;
  for (Call& call : customer.calls) {
    if (call.method == "SetBaseData" || call.method == "SetMENTEData") ++checks;
    if (Failed(batch.Invoke(call.method, kvt710::InvokeKind::kMethod, call.args)))
      Die(call.method + " failed for customer " + customer.key);
  }
  return checks;
}

// ---------------------------------------------------------------------------
// The runs

// The start of one customer's timed work: wall-clock seconds and the
// thread's CPU seconds (user and system); on a machine shared with other
// work the CPU time is the steadier measure. The heap is settled first
// (settle_heap.h): where the cost of freeing the untimed document lands (the
// component's first statement in A, the untimed recording of the texts in
// B) must not decide the comparison.
struct Timer {
  Timer() {
    kvt710::bench::SettleHeap();
    wall = Clock::now();
    cpu = Cpu();
  }
  static double Cpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
  }
  Clock::time_point wall;
  double cpu = 0;
};

struct Result {
  int64_t customers = 0;
  int64_t statements = 0;
  double seconds = 0;
  double cpu_seconds = 0;
  void Add(const Timer& started) {
    seconds += std::chrono::duration<double>(Clock::now() - started.wall).count();
    cpu_seconds += Timer::Cpu() - started.cpu;
  }
  double CustomersPerSecond() const { return static_cast<double>(customers) / seconds; }
  double StatementsPerSecond() const { return static_cast<double>(statements) / seconds; }
  double CustomersPerCpuSecond() const { return static_cast<double>(customers) / cpu_seconds; }
};

// A: the component, customers [first, first + count) of the demo set.
Result RunComponent(const Database& database, bool prepared, uint64_t seed, int64_t first,
                    int64_t count) {
  // Both connections, the caller's and the batch object's own (its existence
  // checks), run texts in A-text.
  const std::string connection_string =
      database.connection_string() + (prepared ? "" : ";Prepared Statements=false");
  auto batch = NewBatch(connection_string);
  auto caller = Connection::Create();
  caller->Open(connection_string);
  batch->SetDBCon(caller);
  Result result;
  for (int64_t i = first; i < first + count; ++i) {
    Customer customer = MakeCustomer(*batch, seed, i);
    std::vector<Variant> key = {Variant::String(customer.key)};
    const Timer start;
    caller->BeginTrans();
    const int checks = WriterCalls(*batch, customer);
    const Variant done = batch->Invoke(customer.deleting ? "DelExecute" : "Execute",
                                       kvt710::InvokeKind::kMethod, key);
    if (Failed(done)) Die("DelExecute failed for customer " + customer.key);
    caller->CommitTrans();
    result.Add(start);
    ++result.customers;
    result.statements += checks + batch->Queue()->Count() + (customer.deleting ? 1 : 8);
  }
  return result;
}

// The statement texts that the component runs for a customer, in order, as
// its trace records them: written by a batch object that only queues.
class TextRecorder {
 public:
  TextRecorder(const Database& database, const fs::path& trace)
      : batch_(NewBatch(database.connection_string())), trace_(trace) {}

  KVT710C3& batch() { return *batch_; }
  // How many of the last customer's texts are existence checks (the first ones).
  size_t checks() const { return checks_; }

  std::vector<std::string> Texts(Customer& customer) {
    fs::remove(trace_);
    setenv("KVT710_TRACE_SQL", trace_.c_str(), 1);
    WriterCalls(*batch_, customer);
    unsetenv("KVT710_TRACE_SQL");
    std::vector<std::string> texts;
    std::ifstream in(trace_);
    for (std::string line; std::getline(in, line);) texts.push_back(json::parse(line).at("sql"));
    checks_ = texts.size();
    static const char* const kHistory[][2] = {
        {"CGLASBS", "GLS_UNIQUE_KEY"},  {"CGLASDTL", "GLS_UNIQUE_KEY"},
        {"CCNTBS", "CNT_UNIQUE_KEY"},   {"CCNTDTL", "CNT_UNIQUE_KEY"},
        {"CHOCHOBS", "HOC_UNIQUE_KEY"}, {"CHOCHODTL", "HOCD_UNIQUE_KEY"},
        {"CSYOKN", "CMNT_UNIQUE_KEY"},  {"CSALE", "CSALE_UNIQUE_KEY"}};
    writes_.clear();
    if (customer.deleting) {
      writes_.emplace_back("Update CBASE Set CUBS_DATA_FLG = 2 Where CUBS_UNIQUE_KEY = " +
                           customer.key);
    } else {
      for (const auto& h : kHistory) {
        kvt710::db::Statement d;
        d.AppendText(std::string("Delete From ") + h[0] + " Where " + h[1] + "=");
        const kvt710::sql::Literal key =
            kvt710::sql::RenderLiteral(kvt710::sql::Form::kKey, customer.key, "UniqueKey", {});
        d.AppendValue(key.text, key.value);
        writes_.push_back(std::move(d));
      }
    }
    const kvt710::StatementQueue& queue = *batch_->Queue();
    for (int32_t q = 1; q <= queue.Count(); ++q) writes_.push_back(queue.Statement(q));
    for (const kvt710::db::Statement& w : writes_) texts.push_back(w.text());
    return texts;
  }
  // The writes of the last customer with their shapes.
  const std::vector<kvt710::db::Statement>& writes() const { return writes_; }

 private:
  std::shared_ptr<KVT710C3> batch_;
  fs::path trace_;
  size_t checks_ = 0;
  std::vector<kvt710::db::Statement> writes_;
};

enum class RawMode {
  kTwoConnections,    // existence checks on a second connection, as the component runs them
  kOneConnection,     // everything on one connection
  kPipeline,          // PostgreSQL: as kTwoConnections, the writes sent in one pipeline
  kPrepared,          // as kTwoConnections, the writes prepared by shape
  kPreparedPipeline,  // PostgreSQL: both
};

// B: the raw baseline over the same customers.
Result RunRaw(const Database& database, const fs::path& scratch, uint64_t seed, int64_t count,
              RawMode mode) {
  RawConnection raw(database);
  std::optional<RawConnection> checks;
  if (mode != RawMode::kOneConnection) checks.emplace(database);
  RawConnection& check = checks ? *checks : raw;
  TextRecorder recorder(database, scratch / "texts.jsonl");
  Result result;
  for (int64_t i = 0; i < count; ++i) {
    Customer customer = MakeCustomer(recorder.batch(), seed, i);
    const std::vector<std::string> texts = recorder.Texts(customer);
    const size_t writes = recorder.checks();  // the existence checks come first
    const Timer start;
    raw.Begin();
    for (size_t t = 0; t < writes; ++t) check.Run(texts[t]);
    if (mode == RawMode::kPipeline) {
      raw.RunPipelined(texts, writes);
    } else if (mode == RawMode::kPrepared || mode == RawMode::kPreparedPipeline) {
      raw.RunPrepared(recorder.writes(), mode == RawMode::kPreparedPipeline);
    } else {
      for (size_t t = writes; t < texts.size(); ++t) raw.Run(texts[t]);
    }
    raw.Commit();
    result.Add(start);
    ++result.customers;
    result.statements += static_cast<int64_t>(texts.size());
  }
  return result;
}

// Customers with keys 100000001.. written by the database itself.
void BulkFill(const Database& database, int64_t count) {
  RawConnection raw(database);
  const std::string n = std::to_string(count);
  const std::string numbers =
      database.postgres()
          ? " FROM generate_series(1, " + n + ") AS n(i)"
          : " FROM (WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + n +
                ") SELECT i FROM n)";
  const std::string key = "(100000000 + i)";
  const std::string date = database.postgres() ? "DATE '2015-01-01' + (i % 3000)"
                                               : "strftime('%Y/%m/%d', '2015-01-01', "
                                                 "'+' || (i % 3000) || ' days')";
  const std::string stamp =
      database.postgres() ? "TIMESTAMP '2016-07-04 09:08:07'" : "'2016/07/04 09:08:07'";
  const std::vector<std::string> fills = {
      "INSERT INTO CBASE (CUBS_STORE_NO, CUBS_UNIQUE_KEY, CUBS_KANA_MEI, CUBS_FAMILY_KEY, "
      "CUBS_FAMILY_KBN, CUBS_DATA_FLG, CUBS_NEWBST_COMING, CUBS_UPD_DATE) SELECT '001', " +
          key + ", 'ﾔﾏﾀﾞ', " + key + ", '1', 0, " + date + ", " + stamp + numbers,
      "INSERT INTO CMENTE_T (MTRN_STORE_NO, MTRN_HT_KBN, MTRN_UNIQUE_KEY, MTRN_KBN) SELECT "
      "'001', 1, " +
          key + ", 1" + numbers,
      "INSERT INTO CGLASBS (GLS_STORE_NO, GLS_UNIQUE_KEY, GLS_HISTORY_NO) SELECT '001', " + key +
          ", 1" + numbers,
      "INSERT INTO CGLASDTL (GLS_STORE_NO, GLS_UNIQUE_KEY, GLS_HISTORY_NO) SELECT '001', " + key +
          ", 1" + numbers,
      "INSERT INTO CCNTBS (CNT_STORE_NO, CNT_UNIQUE_KEY, CNT_HISTORY_NO) SELECT '001', " + key +
          ", 1" + numbers,
      "INSERT INTO CCNTDTL (CNT_STORE_NO, CNT_UNIQUE_KEY, CNT_HISTORY_NO) SELECT '001', " + key +
          ", 1" + numbers,
      "INSERT INTO CHOCHOBS (HOC_STORE_NO, HOC_UNIQUE_KEY, HOC_HISTORY_NO) SELECT '001', " + key +
          ", 1" + numbers,
      "INSERT INTO CHOCHODTL (HOCD_STORE_NO, HOCD_UNIQUE_KEY, HOCD_HISTORY_NO) SELECT '001', " +
          key + ", 1" + numbers,
      "INSERT INTO CSALE (CSALE_STORE_NO, CSALE_UNIQUE_KEY, CSALE_KIND, CSALE_HISTORY_NO) SELECT "
      "'001', " +
          key + ", 1, 1" + numbers,
      "INSERT INTO CSYOKN (CMNT_STORE_NO, CMNT_UNIQUE_KEY, CMNT_COMMENT_1) SELECT '001', " + key +
          ", 'コメント'" + numbers,
  };
  for (const std::string& fill : fills) {
    raw.Begin();
    raw.Run(fill);
    raw.Commit();
  }
  raw.Run(database.postgres() ? "ANALYZE CBASE, CMENTE_T, CGLASBS, CGLASDTL, CCNTBS, CCNTDTL, "
                                "CHOCHOBS, CHOCHODTL, CSALE, CSYOKN"
                              : "ANALYZE");
  // The fill's log and its writing to disk are not the measured customers'
  // work: unflushed, the first checkpoint's sync of the file would wait for
  // the whole fill.
  if (database.postgres()) {
    raw.TryRun("CHECKPOINT");  // needs the right to; without it the server's own schedule holds
  } else {
    raw.Run("PRAGMA wal_checkpoint(TRUNCATE)");
    const int fd = ::open(database.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) Die("cannot flush " + database.path().string());
    ::close(fd);
  }
}

// ---------------------------------------------------------------------------

struct Options {
  int64_t customers = -1;
  int rounds = 2;
  uint64_t seed = 1;
  bool sqlite = true;
  std::vector<Engine> skipped;  // servers left out by their options
  std::string only;             // run only this kind (for profiling): a-text, b-raw or a-shapes
  bool raw_one_connection = false;
  bool raw_prepared = false;
  bool pipeline = false;
  std::vector<int64_t> scale;
};

Options Parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) Die(arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--customers") {
      o.customers = std::stoll(next());
    } else if (arg == "--rounds") {
      o.rounds = std::stoi(next());
    } else if (arg == "--seed") {
      o.seed = std::stoull(next());
    } else if (arg == "--no-sqlite") {
      o.sqlite = false;
    } else if (arg == "--raw-one-connection") {
      o.raw_one_connection = true;
    } else if (arg == "--raw-prepared") {
      o.raw_prepared = true;
    } else if (arg == "--pipeline") {
      o.pipeline = true;
    } else if (arg == "--only") {
      o.only = next();
    } else if (arg == "--scale") {
      std::stringstream list(next());
      for (std::string k; std::getline(list, k, ',');) o.scale.push_back(std::stoll(k));
    } else if (const auto* server = kvt710::bench::ServerLeftOutBy(arg)) {
      o.skipped.push_back(server->engine);
    } else {
      Die("unknown argument " + arg + " (see the comment at the top of bench/import_bench.cc)");
    }
  }
  return o;
}

void PrintRun(const char* db, const char* kind, int round, const Result& r) {
  std::printf(
      "%-15s %-9s round %d: %6lld customers in %7.3f s  %8.1f customers/s  %9.0f "
      "statements/s  (cpu %7.3f s, %8.1f customers/cpu-s)\n",
      db, kind, round, static_cast<long long>(r.customers), r.seconds, r.CustomersPerSecond(),
      r.StatementsPerSecond(), r.cpu_seconds, r.CustomersPerCpuSecond());
  std::fflush(stdout);
}

// All rounds of one kind of run, and its best round (on a machine shared
// with other work the best round is the nearest to an unloaded one).
struct Total : Result {
  double best = 0;
};

void Add(Total& total, const Result& r) {
  total.customers += r.customers;
  total.statements += r.statements;
  total.seconds += r.seconds;
  total.cpu_seconds += r.cpu_seconds;
  total.best = std::max(total.best, r.CustomersPerSecond());
}

// The summary of a target that no raw client reaches (ODBC): A alone, and
// against `reference`, the native PostgreSQL A-shapes of this process, when
// that ran.
void PrintWithoutBaseline(const char* db, const Total& text, const Total& shapes,
                          const Total* reference) {
  std::printf(
      "%-15s summary: no raw ODBC baseline; A-text %.1f customers/s (%.0f statements/s), "
      "A-shapes %.1f/s (%.0f statements/s); A-shapes/A-text %.3f\n",
      db, text.CustomersPerSecond(), text.StatementsPerSecond(), shapes.CustomersPerSecond(),
      shapes.StatementsPerSecond(), shapes.CustomersPerSecond() / text.CustomersPerSecond());
  std::printf("%-15s best rounds: A-text %.1f customers/s, A-shapes %.1f\n", db, text.best,
              shapes.best);
  std::printf("%-15s by CPU time: A-text %.1f customers/cpu-s, A-shapes %.1f\n", db,
              text.CustomersPerCpuSecond(), shapes.CustomersPerCpuSecond());
  if (reference != nullptr && reference->customers > 0) {
    std::printf(
        "%-15s against native PostgreSQL A-shapes %.1f customers/s: A-text %.3f, A-shapes "
        "%.3f (best rounds %.3f, %.3f)\n",
        db, reference->CustomersPerSecond(),
        text.CustomersPerSecond() / reference->CustomersPerSecond(),
        shapes.CustomersPerSecond() / reference->CustomersPerSecond(), text.best / reference->best,
        shapes.best / reference->best);
  }
  std::printf("\n");
  std::fflush(stdout);
}

// The import runs on one target; returns its A-shapes total. `reference`:
// the native PostgreSQL A-shapes total that targets without a raw baseline
// are compared with, or nullptr.
Total ImportRuns(const Target& target, const Options& o, const Total* reference) {
  const char* db = target.name;
  const int64_t n = o.customers > 0 ? o.customers : 2000;
  Total text_total, raw_total, shapes_total, pipe_totals[3];
  auto wanted = [&](const char* kind) { return o.only.empty() || o.only == kind; };
  for (int round = 1; round <= o.rounds; ++round) {
    if (wanted("a-text")) {
      Database database(target, "a_text");
      const Result r = RunComponent(database, false, o.seed, 0, n);
      PrintRun(db, "A-text", round, r);
      Add(text_total, r);
    }
    if (wanted("b-raw") && target.raw()) {
      Database database(target, "b_raw");
      const Result r =
          RunRaw(database, target.dir, o.seed, n,
                 o.raw_one_connection ? RawMode::kOneConnection : RawMode::kTwoConnections);
      PrintRun(db, "B-raw", round, r);
      Add(raw_total, r);
    }
    if (o.raw_prepared && target.engine == Engine::kSQLite) {
      Database database(target, "b_prep");
      const Result r = RunRaw(database, target.dir, o.seed, n, RawMode::kPrepared);
      PrintRun(db, "B-prep", round, r);
      Add(pipe_totals[1], r);
    }
    if (o.pipeline && target.engine == Engine::kPostgreSQL) {
      const std::pair<RawMode, const char*> kinds[] = {{RawMode::kPipeline, "B-pipe"},
                                                       {RawMode::kPrepared, "B-prep"},
                                                       {RawMode::kPreparedPipeline, "B-prep-pipe"}};
      for (size_t k = 0; k < std::size(kinds); ++k) {
        Database database(target, "b_pipe");
        const Result r = RunRaw(database, target.dir, o.seed, n, kinds[k].first);
        PrintRun(db, kinds[k].second, round, r);
        Add(pipe_totals[k], r);
      }
    }
    if (wanted("a-shapes")) {
      Database database(target, "a_shapes");
      const Result r = RunComponent(database, true, o.seed, 0, n);
      PrintRun(db, "A-shapes", round, r);
      Add(shapes_total, r);
    }
  }
  if (pipe_totals[1].customers > 0 && target.engine == Engine::kSQLite) {
    std::printf(
        "%-15s prepared: B-prep %.1f customers/s = %.3f x B-raw (best rounds %.3f); "
        "A-shapes/B-prep %.3f (best rounds %.3f)\n",
        db, pipe_totals[1].CustomersPerSecond(),
        pipe_totals[1].CustomersPerSecond() / raw_total.CustomersPerSecond(),
        pipe_totals[1].best / raw_total.best,
        shapes_total.CustomersPerSecond() / pipe_totals[1].CustomersPerSecond(),
        shapes_total.best / pipe_totals[1].best);
  }
  if (pipe_totals[0].customers > 0) {
    std::printf(
        "%-15s pipeline: B-pipe %.1f customers/s = %.3f x B-raw; B-prep %.1f/s, B-prep-pipe "
        "%.1f/s = %.3f x B-prep\n",
        db, pipe_totals[0].CustomersPerSecond(),
        pipe_totals[0].CustomersPerSecond() / raw_total.CustomersPerSecond(),
        pipe_totals[1].CustomersPerSecond(), pipe_totals[2].CustomersPerSecond(),
        pipe_totals[2].CustomersPerSecond() / pipe_totals[1].CustomersPerSecond());
    std::printf(
        "%-15s pipeline, best rounds: B-raw %.1f, B-pipe %.1f, B-prep %.1f, B-prep-pipe %.1f "
        "customers/s; B-prep-pipe/B-prep %.3f\n",
        db, raw_total.best, pipe_totals[0].best, pipe_totals[1].best, pipe_totals[2].best,
        pipe_totals[2].best / pipe_totals[1].best);
  }
  if (!o.only.empty()) return shapes_total;
  if (!target.raw()) {
    PrintWithoutBaseline(db, text_total, shapes_total, reference);
    return shapes_total;
  }
  std::printf(
      "%-15s summary: B-raw %.1f customers/s (%.0f statements/s), A-text %.1f/s, A-shapes "
      "%.1f/s; A-text/B-raw %.3f, A-shapes/B-raw %.3f\n",
      db, raw_total.CustomersPerSecond(), raw_total.StatementsPerSecond(),
      text_total.CustomersPerSecond(), shapes_total.CustomersPerSecond(),
      text_total.CustomersPerSecond() / raw_total.CustomersPerSecond(),
      shapes_total.CustomersPerSecond() / raw_total.CustomersPerSecond());
  std::printf(
      "%-15s best rounds: B-raw %.1f customers/s, A-text %.1f, A-shapes %.1f; A-text/B-raw "
      "%.3f, A-shapes/B-raw %.3f\n",
      db, raw_total.best, text_total.best, shapes_total.best, text_total.best / raw_total.best,
      shapes_total.best / raw_total.best);
  std::printf(
      "%-15s by CPU time: B-raw %.1f customers/cpu-s, A-text %.1f, A-shapes %.1f; A-text/B-raw "
      "%.3f, A-shapes/B-raw %.3f\n\n",
      db, raw_total.CustomersPerCpuSecond(), text_total.CustomersPerCpuSecond(),
      shapes_total.CustomersPerCpuSecond(),
      text_total.CustomersPerCpuSecond() / raw_total.CustomersPerCpuSecond(),
      shapes_total.CustomersPerCpuSecond() / raw_total.CustomersPerCpuSecond());
  std::fflush(stdout);
  return shapes_total;
}

void ScaleRuns(const Target& target, const Options& o) {
  const char* db = target.name;
  if (!target.raw()) {
    std::printf("%-15s no --scale runs: the bulk fill is written through a raw client\n", db);
    return;
  }
  const int64_t n = o.customers > 0 ? o.customers : 1000;
  double first = 0, first_cpu = 0;
  for (const int64_t stored : o.scale) {
    Database database(target, "scale");
    const auto fill_start = Clock::now();
    BulkFill(database, stored);
    const double fill = std::chrono::duration<double>(Clock::now() - fill_start).count();
    const Result r = RunComponent(database, true, o.seed, 0, n);
    const double per_customer = r.seconds / static_cast<double>(r.customers) * 1e6;
    const double cpu_per_customer = r.cpu_seconds / static_cast<double>(r.customers) * 1e6;
    if (first == 0) first = per_customer;
    if (first_cpu == 0) first_cpu = cpu_per_customer;
    std::printf(
        "%-15s %8lld stored (filled in %6.1f s): %6lld customers, %7.1f us/customer "
        "(%6.1f customers/s), %.2f x the first; cpu %7.1f us/customer, %.2f x the first\n",
        db, static_cast<long long>(stored), fill, static_cast<long long>(r.customers), per_customer,
        r.CustomersPerSecond(), per_customer / first, cpu_per_customer,
        cpu_per_customer / first_cpu);
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  kvt710::RegisterServer();
  const Options o = Parse(argc, argv);
  try {
    Target sqlite_target;
    sqlite_target.dir =
        fs::temp_directory_path() / ("kvt710-import-bench-" + std::to_string(getpid()));
    fs::create_directories(sqlite_target.dir);
    std::vector<Target> targets;
    if (o.sqlite) targets.push_back(sqlite_target);
    for (const kvt710::bench::Server& server : kvt710::bench::kServers) {
      const std::string admin = kvt710::bench::ServerConnectionString(server);
      if (admin.empty() || std::ranges::count(o.skipped, server.engine) > 0) continue;
      Target t = sqlite_target;
      t.engine = server.engine;
      t.name = server.name;
      t.admin = admin;
      targets.push_back(t);
    }
    std::optional<Total> native_pg;  // A-shapes, what the ODBC targets are compared with
    for (const Target& target : targets) {
      if (!o.scale.empty()) {
        ScaleRuns(target, o);
        continue;
      }
      const Total shapes = ImportRuns(target, o, native_pg ? &*native_pg : nullptr);
      if (target.engine == Engine::kPostgreSQL) native_pg = shapes;
    }
    fs::remove_all(sqlite_target.dir);
  } catch (const Error& e) {
    Die(e.description());
  }
  return 0;
}
