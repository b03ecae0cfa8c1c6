// The writers' injection property over the fuzz targets' seed corpus: on
// SQLite through the typed writers (the fuzz harness itself), on PostgreSQL
// through the late-bound layer, where the server's parser judges every
// statement and every quoted text is read back.
#include <algorithm>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "batch/KVT710C3.h"
#include "platform/automation/registry.h"
#include "platform/db/connection.h"
#include "platform/db/product_schema.h"
#include "test_support.h"
#include "tests/fuzz/injection_harness.h"

namespace kvt710 {
namespace {

namespace fs = std::filesystem;
using fuzz::Family;
using testing_support::Backend;
using testing_support::ScopedSettings;
using testing_support::TempDir;
using testing_support::TestDatabase;

constexpr Family kFamilies[] = {Family::kMaster, Family::kHistory, Family::kFamily};

std::vector<fs::path> CorpusFiles(Family family) {
  std::vector<fs::path> files;
  const fs::path folder = fs::path(KVT710_SOURCE_DIR) / "tests/fuzz/corpus" / FamilyName(family);
  for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

std::string Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Violations throw while a test runs, so that each one names its input.
class ThrowingViolations {
 public:
  ThrowingViolations() {
    fuzz::SetViolationHandler([](const std::string& what) { throw std::runtime_error(what); });
  }
  ~ThrowingViolations() { fuzz::SetViolationHandler({}); }
};

// Runs every corpus file of every family through `run`; expects each
// family's corpus to produce statements and refusals both.
template <class RunOne>
void ReplayCorpus(RunOne&& run) {
  ThrowingViolations violations;
  for (Family family : kFamilies) {
    fuzz::Outcome total;
    const std::vector<fs::path> files = CorpusFiles(family);
    for (const fs::path& file : files) {
      const std::string data = Bytes(file);
      try {
        const fuzz::Outcome o =
            run(family, reinterpret_cast<const uint8_t*>(data.data()), data.size());
        total.statements += o.statements;
        total.refused += o.refused;
      } catch (const std::exception& e) {
        ADD_FAILURE() << FamilyName(family) << "/" << file.filename().string() << ": " << e.what();
      }
    }
    std::printf("corpus %s: %zu inputs, %d statements checked, %d calls refused\n",
                FamilyName(family), files.size(), total.statements, total.refused);
    EXPECT_GE(files.size(), 20u) << FamilyName(family);
    EXPECT_GE(total.statements, static_cast<int>(files.size() / 2)) << FamilyName(family);
    EXPECT_GT(total.refused, 0) << FamilyName(family);
  }
}

TEST(InjectionCorpus, EveryInputKeepsThePropertyOnSQLite) {
  ScopedSettings settings;  // no system parameters
  ReplayCorpus([](Family family, const uint8_t* data, size_t size) {
    return fuzz::CheckInputCounted(family, data, size);
  });
}

// The checks themselves: statements that a broken writer could queue are caught.
TEST(InjectionCorpus, CheckerCatchesBrokenStatements) {
  ScopedSettings settings;
  ThrowingViolations violations;
  TempDir dir;
  const std::string path = (dir / "shop.db").string();
  {
    auto connection = db::Connection::Create();
    connection->Open("Provider=SQLite;Mode=ReadWriteCreate;Data Source=" + path);
    db::CreateProductSchema(*connection);
    fuzz::SeedRows(*connection);
  }
  fuzz::SqliteChecker checker(path);
  const fuzz::Expected comment{
      fuzz::Shape::kInsert, "CSYOKN", {"CMNT_STORE_NO", "CMNT_UNIQUE_KEY", "CMNT_COMMENT_1"}, {}};
  const std::string head =
      "Insert Into CSYOKN(CMNT_STORE_NO,CMNT_UNIQUE_KEY,CMNT_COMMENT_1) Values ( ";
  const std::vector<fuzz::Expected> allowed = {comment};  // a match points into it
  auto shape_of = [&](const std::string& sql) {
    std::string why;
    return fuzz::MatchShape(sql, allowed, &why);
  };
  const std::vector<fuzz::ExpectedText> texts = {{"CMNT_COMMENT_1", "it's", false}};

  // The right statement passes every check, and its text reads back.
  const std::string good = head + "'001',12,'it''s')";
  ASSERT_TRUE(shape_of(good));
  EXPECT_NO_THROW(checker.Check(good, *shape_of(good), texts));
  // A text that reads back differently is caught.
  EXPECT_THROW(checker.Check(good, *shape_of(good), {{"CMNT_COMMENT_1", "its", false}}),
               std::runtime_error);

  // Shapes: a second row, a second statement, an expression, a comment, a
  // subquery, an undoubled quote: none is one literal per column.
  for (const std::string& bad :
       {head + "'001',12,'a'),('001',13,'b')", head + "'001',12,'a'); Delete From CBASE",
        head + "'001',12,'a'||'b')", head + "'001',12,'a') -- x",
        head + "'001',12,(Select CUBS_KANA_MEI From CBASE))", head + "'001',12,'it's')",
        head + "'001',12 + 1,'a')", head + "'001',?,'a')"}) {
    EXPECT_FALSE(shape_of(bad)) << bad;
  }
  // SQLite's own view, whatever the shape said: a tail, another table read,
  // a second row.
  const fuzz::Matched matched = *shape_of(good);
  EXPECT_THROW(checker.Check(good + "; Delete From CBASE", matched, {}), std::runtime_error);
  EXPECT_THROW(checker.Check(head + "'001',12,(Select CUBS_KANA_MEI From CBASE))", matched, {}),
               std::runtime_error);
  EXPECT_THROW(checker.Check(head + "'001',12,'a'),('001',13,'b')", matched, {}),
               std::runtime_error);
  EXPECT_THROW(checker.Check("Insert Into CBASE(CUBS_UNIQUE_KEY) Values (5)", matched, {}),
               std::runtime_error);
}

// ---------------------------------------------------------------------------
// PostgreSQL

// The server's view of one statement: EXPLAIN names every table the plan
// touches without running it; then the statement runs in a transaction that
// is rolled back, and the written row is read back.
class PostgresChecker : public fuzz::StatementChecker {
 public:
  explicit PostgresChecker(std::shared_ptr<db::Connection> connection)
      : connection_(std::move(connection)) {}

  void Check(const std::string& sql, const fuzz::Matched& shape,
             const std::vector<fuzz::ExpectedText>& texts) override {
    const fuzz::Expected& e = *shape.expected;
    const std::map<std::string, std::string>& types = ColumnTypes(e.table);
    connection_->BeginTrans();
    struct RollBack {
      db::Connection& c;
      ~RollBack() {
        try {
          c.RollbackTrans();
        } catch (const Error&) {
        }
        c.errors().Clear();
      }
    } roll_back{*connection_};

    nlohmann::json plan;
    try {
      auto rs = connection_->OpenRecordset("EXPLAIN (VERBOSE, FORMAT JSON) " + sql,
                                           db::CursorType::kStatic, db::LockType::kReadOnly);
      plan = nlohmann::json::parse(rs->Field("QUERY PLAN").ToString());
    } catch (const Error& error) {
      if (Acceptable()) return;
      fuzz::Violation("PostgreSQL refuses (" + Detail(error) + "): " + sql.substr(0, 300));
    }
    CheckPlan(plan.at(0).at("Plan"), e, sql);

    int64_t written = 0;
    try {
      written = connection_->ExecuteCount(sql);
    } catch (const Error& error) {
      if (Acceptable()) return;
      fuzz::Violation("PostgreSQL fails to run (" + Detail(error) + "): " + sql.substr(0, 300));
    }
    const bool insert = e.shape == fuzz::Shape::kInsert;
    if (insert && written != 1)
      fuzz::Violation("an INSERT wrote " + std::to_string(written) + " rows");
    if (texts.empty() || !(insert || (e.shape == fuzz::Shape::kUpdate && written == 1))) return;

    // The rows this transaction wrote.
    auto rs = connection_->OpenRecordset(
        "Select * From " + e.table + " Where xmin = pg_current_xact_id()::xid",
        db::CursorType::kStatic, db::LockType::kReadOnly);
    if (rs->Eof()) fuzz::Violation("the written row of " + e.table + " is missing");
    for (const fuzz::ExpectedText& t : texts) {
      if (!insert && std::find(shape.set_columns.begin(), shape.set_columns.end(), t.column) ==
                         shape.set_columns.end())
        continue;
      const auto type = types.find(Lower(t.column));
      if (type == types.end()) fuzz::Violation(e.table + " has no column " + t.column);
      if (type->second != "text" && type->second != "character varying") continue;
      const Variant value = rs->Field(t.column);
      const std::optional<std::string> stored =
          value.IsNull() ? std::nullopt : std::optional<std::string>(value.ToString());
      if (t.only_when_stored && !stored) continue;
      if (stored != t.value)
        fuzz::Violation(t.column + " reads back as " + (stored ? "'" + *stored + "'" : "Null") +
                        ", not " + (t.value ? "'" + *t.value + "'" : "Null"));
    }
    rs->MoveNext();
    if (!rs->Eof()) fuzz::Violation("more than one row written by: " + sql.substr(0, 300));
  }

 private:
  static std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }

  // A constraint or a value the column cannot hold, never a syntax error.
  bool Acceptable() const {
    const auto& list = connection_->errors().list();
    return !list.empty() && fuzz::IsAcceptableFailure(list.back());
  }
  std::string Detail(const Error& error) const {
    const auto& list = connection_->errors().list();
    return (list.empty() ? std::string("?") : list.back().sqlstate) + " " + error.description();
  }

  // The plan writes (or reads) the writer's table and touches no other.
  void CheckPlan(const nlohmann::json& top, const fuzz::Expected& e, const std::string& sql) {
    static const std::map<fuzz::Shape, std::string> kOperation = {
        {fuzz::Shape::kInsert, "Insert"},
        {fuzz::Shape::kUpdate, "Update"},
        {fuzz::Shape::kDelete, "Delete"},
        {fuzz::Shape::kFamilyCount, "Update"}};
    const auto op = kOperation.find(e.shape);
    if (op != kOperation.end()) {
      if (top.value("Node Type", "") != "ModifyTable" || top.value("Operation", "") != op->second)
        fuzz::Violation("PostgreSQL plans no " + op->second + " for: " + sql.substr(0, 300));
    } else if (top.value("Node Type", "") == "ModifyTable") {
      fuzz::Violation("PostgreSQL plans a write for a query: " + sql.substr(0, 300));
    }
    std::vector<const nlohmann::json*> pending = {&top};
    while (!pending.empty()) {
      const nlohmann::json& node = *pending.back();
      pending.pop_back();
      if (node.is_object()) {
        if (node.contains("Relation Name") && Lower(node["Relation Name"]) != Lower(e.table))
          fuzz::Violation("PostgreSQL's plan touches " + node["Relation Name"].get<std::string>() +
                          " in: " + sql.substr(0, 300));
        for (const auto& item : node.items()) pending.push_back(&item.value());
      } else if (node.is_array()) {
        for (const auto& item : node) pending.push_back(&item);
      }
    }
  }

  const std::map<std::string, std::string>& ColumnTypes(const std::string& table) {
    auto found = types_.find(table);
    if (found != types_.end()) return found->second;
    std::map<std::string, std::string>& types = types_[table];
    auto rs = connection_->OpenRecordset(
        "Select column_name, data_type From information_schema.columns Where table_schema = "
        "current_schema() And table_name = '" +
            Lower(table) + "'",
        db::CursorType::kStatic, db::LockType::kReadOnly);
    for (; !rs->Eof(); rs->MoveNext())
      types[rs->Field("column_name").ToString()] = rs->Field("data_type").ToString();
    return types;
  }

  std::shared_ptr<db::Connection> connection_;
  std::map<std::string, std::map<std::string, std::string>> types_;
};

bool HasPostgres() {
  const auto backends = testing_support::TestBackends();
  return std::find(backends.begin(), backends.end(), Backend::kPostgreSQL) != backends.end();
}

TEST(InjectionReplay, CorpusThroughTheLateBoundLayerOnPostgreSQL) {
  if (!HasPostgres()) GTEST_SKIP() << "no PostgreSQL server (KVT710_TEST_PG)";
  TestDatabase database(Backend::kPostgreSQL);
  fuzz::SeedRows(*database.Connect());
  ScopedSettings settings;
  settings.UseConnection(database.connection_string());

  fuzz::Environment environment;
  environment.dispatch = CreateObject("KVT710.KVT710C3");
  environment.batch = std::dynamic_pointer_cast<KVT710C3>(environment.dispatch);
  ASSERT_NE(environment.batch, nullptr);
  ASSERT_EQ(environment.dispatch->Get("DBStatus").ToLong(), emDbNomal);
  environment.caller = database.Connect();
  environment.dispatch->PutRef("DBCon", Variant::Object(environment.caller));
  TempDir dir;
  environment.trace = dir / "trace.jsonl";
  PostgresChecker checker(database.Connect());
  environment.checker = &checker;

  ReplayCorpus([&](Family family, const uint8_t* data, size_t size) {
    return fuzz::Run(environment, family, data, size);
  });
}

}  // namespace
}  // namespace kvt710
