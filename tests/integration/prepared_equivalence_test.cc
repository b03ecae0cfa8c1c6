// Prepared shapes store exactly what the statement texts store: every writer
// runs with awkward values on two databases of one backend, one connection
// with prepared shapes and one with "Prepared Statements=false", and every
// column of every table is compared afterwards, value and type (SQLite: the
// storage class and the exact bits; PostgreSQL: the value's text).
#include <sqlite3.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "batch/KVT710C3.h"
#include "batch/statement_queue.h"
#include "catalogue/catalogue.h"
#include "platform/clock.h"
#include "platform/db/connection.h"
#include "platform/settings/settings.h"
#include "test_support.h"

#if __has_include("tests/fuzz/injection_harness.h")
#include "tests/fuzz/injection_harness.h"
#define KVT710_HAS_FUZZ_CORPUS 1
#endif

namespace kvt710 {
namespace {

using testing_support::Backend;
using testing_support::ScopedSettings;
using testing_support::TestDatabase;

// Values of every sort the host may send: numbers with leading zeros, signs,
// blanks, exponents, separators, huge and tiny ones; texts with quotes,
// wide blanks, SQL of their own; dates; empty and blank texts; Null as text.
const std::vector<std::string>& Awkward() {
  static const std::vector<std::string> values = {"",
                                                  " ",
                                                  "0",
                                                  "007",
                                                  "-0",
                                                  "+5",
                                                  " 12 ",
                                                  "1.0",
                                                  "5.",
                                                  ".5",
                                                  "-.5",
                                                  "-0.0",
                                                  "1e3",
                                                  "1E+3",
                                                  "2.5e-3",
                                                  "0.1",
                                                  "63.3",
                                                  "-1.25",
                                                  " -1.75 ",
                                                  "1,234",
                                                  "1,234.5",
                                                  "99999999999999999999",
                                                  "9223372036854775807",
                                                  "9223372036854775808",
                                                  "-9223372036854775808",
                                                  "123456789012345678901234567890.125",
                                                  "1e308",
                                                  "4.9e-324",
                                                  "1.7976931348623157e308",
                                                  "0.30000000000000004",
                                                  " 1,234.5e-1 ",
                                                  "1234567890123456",
                                                  "12345678901234567",
                                                  "-9,223,372,036,854,775,808",
                                                  "18446744073709551616",
                                                  "0.1e1",
                                                  ".5E+1",
                                                  "-0.0e5",
                                                  "2.675",
                                                  "1e-400",
                                                  "00000000000000000000001",
                                                  "it's",
                                                  "''",
                                                  "a''b",
                                                  "'",
                                                  "全角　スペース",
                                                  "　",
                                                  " 　 ",
                                                  "2016/07/04",
                                                  "2016-7-4 9:08",
                                                  "1999/02/29",
                                                  "2000/02/29 23:59:59",
                                                  "abc",
                                                  "Null",
                                                  "NULL",
                                                  "\\",
                                                  "%_",
                                                  "\ttab",
                                                  "x;y",
                                                  "--c",
                                                  "1;Delete From CBASE",
                                                  "$1",
                                                  "?",
                                                  std::string(300, 'z'),
                                                  "1",
                                                  "2",
                                                  "3",
                                                  "12345",
                                                  "0305"};
  return values;
}

// Plain numbers, as keys and spare numbers must be.
const std::vector<std::string>& PlainNumbers() {
  static const std::vector<std::string> values = {"1",    " 2 ",
                                                  "+3",   "004",
                                                  "5.0",  "6.",
                                                  "-7",   ".5",
                                                  "-0",   "99999999999999999999",
                                                  "",     " 12.50 ",
                                                  "-0.0", "123456789012345"};
  return values;
}

// The customers' keys: one number written many ways.
std::string KeyOf(int customer) {
  static const char* const kForms[] = {"%d", " %d ", "+%d", "00%d", "%d.0", "%d.", "%d.000"};
  char buf[32];
  std::snprintf(buf, sizeof buf, kForms[customer % 7], 1001 + customer);
  return buf;
}

DateTime FixedNow() {
  return DateTime{2016, 7, 4, 9, 8, 7};
}

// One database, its batch object and its caller connection.
struct Side {
  Side(Backend backend, bool prepared) : database(backend) {
    batch = KVT710C3::Create(
        Settings::WithValues({{kCommonSection, "area", "1"},
                              {kCommonSection, "DBPARMC", database.connection_string()}}));
    std::string connection_string = database.connection_string();
    if (!prepared) {
      if (connection_string.rfind("postgresql://", 0) == 0) {
        connection_string += (connection_string.find('?') == std::string::npos ? "?" : "&") +
                             std::string("prepared_statements=false");
      } else {
        connection_string += ";Prepared Statements=false";
      }
    }
    caller = db::Connection::Create();
    caller->Open(connection_string);
    EXPECT_EQ(caller->prepared_shapes(), prepared);
    batch->SetDBCon(caller);
  }
  TestDatabase database;
  std::shared_ptr<KVT710C3> batch;
  std::shared_ptr<db::Connection> caller;
};

// The form of the column that parameter member `m` feeds.
template <class P>
sql::Form FormOf(const sql::Table<P>& table, std::string P::*m) {
  for (const sql::Column<P>& column : table.columns)
    if (column.source.kind == sql::Source<P>::Kind::kText && column.source.text == m)
      return column.form;
  return sql::Form::kPlainText;
}

// A writer's parameters for one call: every value from the corpora, chosen
// by the parameter's position and the round; keys as given.
template <class P>
P Fill(const sql::Table<P>& table, const std::vector<sql::Param<P>>& params, int round,
       const std::string& key, const std::string& history_no) {
  P p{};
  using K = typename sql::Source<P>::Kind;
  const auto& awkward = Awkward();
  const auto& plain = PlainNumbers();
  for (size_t i = 0; i < params.size(); ++i) {
    const sql::Param<P>& param = params[i];
    const size_t at = i * 7 + static_cast<size_t>(round);
    switch (param.target.kind) {
      case K::kText: {
        std::string& value = p.*(param.target.text);
        const sql::Form form = FormOf(table, param.target.text);
        if (param.name == "UniqueKey" || param.name == "DaihyoKey") {
          value = key;
        } else if (param.name == "HistoryNo") {
          value = history_no;
        } else if (form == sql::Form::kKey || form == sql::Form::kReserve) {
          value = plain[at % plain.size()];
        } else {
          value = awkward[at % awkward.size()];
        }
        break;
      }
      case K::kNumber: {
        static const int32_t kNumbers[] = {0, 1, -1, 2147483647, 7, 2};
        p.*(param.target.number) = kNumbers[at % std::size(kNumbers)];
        break;
      }
      case K::kArray: {
        // Its size from the columns that its elements feed.
        int32_t rows = 0, columns = 0;
        bool two = false;
        for (const sql::Column<P>& column : table.columns) {
          if (column.source.array != param.target.array) continue;
          two = column.source.kind == K::kElement2;
          rows = std::max(rows, column.source.i);
          columns = std::max(columns, column.source.j);
        }
        size_t k = at;
        auto next = [&] { return awkward[k++ % awkward.size()]; };
        if (two) {
          std::vector<std::vector<std::string>> items(static_cast<size_t>(rows));
          for (auto& row : items)
            for (int32_t j = 0; j < columns; ++j) row.push_back(next());
          p.*(param.target.array) = SafeArray::OfStrings2(1, 1, items);
        } else {
          std::vector<std::string> items;
          for (int32_t j = 0; j < rows; ++j) items.push_back(next());
          p.*(param.target.array) = SafeArray::OfStrings(1, items);
        }
        break;
      }
      default:
        break;
    }
  }
  return p;
}

class PreparedEquivalence : public ::testing::TestWithParam<Backend> {
 protected:
  // Runs `call` on both sides; the results must agree, raised errors included.
  void Both(const std::string& what, const std::function<int32_t(Side&)>& call) {
    std::string outcome[2];
    Side* sides[2] = {&on_, &off_};
    for (int s = 0; s < 2; ++s) {
      try {
        outcome[s] = std::to_string(call(*sides[s]));
      } catch (const Error& e) {
        outcome[s] = "raised " + std::to_string(e.number()) + ": " + e.description();
        if (sides[s]->caller->State() == db::kStateOpen) sides[s]->caller->errors().Clear();
      }
    }
    EXPECT_EQ(outcome[0], outcome[1]) << what;
    ++calls_;
    if (outcome[0] == "0") ++succeeded_;
  }

  template <class P>
  void Write(const char* name, const sql::Table<P>& table, const std::vector<sql::Param<P>>& params,
             int32_t (KVT710C3::*method)(const P&), int round, const std::string& key,
             const std::string& history_no = "1") {
    Both(std::string(name) + " round " + std::to_string(round) + " key " + key, [&](Side& side) {
      const P p = Fill(table, params, round, key, history_no);
      return ((*side.batch).*method)(p);
    });
  }

  // One customer's calls, then Execute (in a transaction of the host's when
  // `transaction`).
  void Customer(int customer, int round, bool transaction) {
    const std::string key = KeyOf(customer);
    Both("Initialize", [](Side& side) {
      side.batch->Initialize();
      return 0;
    });
    Write("SetBaseData", catalogue::BaseTable(), catalogue::BaseParamList(), &KVT710C3::SetBaseData,
          round, key);
    Write("SetMENTEData", catalogue::MenteTable(), catalogue::MenteParamList(),
          &KVT710C3::SetMENTEData, round, key);
    for (int n = 0; n < 2; ++n) {
      const int r = round * 2 + n;
      const std::string no = PlainNumbers()[static_cast<size_t>(r) % 8];
      Write("SetG_BaseData", catalogue::GlassesHeaderTable(), catalogue::GlassesHeaderParamList(),
            &KVT710C3::SetG_BaseData, r, key, no);
      Write("SetG_DTLData", catalogue::GlassesDetailTable(), catalogue::GlassesDetailParamList(),
            &KVT710C3::SetG_DTLData, r, key, no);
      Write("SetC_BaseData", catalogue::ContactHeaderTable(), catalogue::ContactHeaderParamList(),
            &KVT710C3::SetC_BaseData, r, key, no);
      Write("SetC_DTLData", catalogue::ContactDetailTable(), catalogue::ContactDetailParamList(),
            &KVT710C3::SetC_DTLData, r, key, no);
      Write("SetH_BaseData", catalogue::HearingHeaderTable(), catalogue::HearingHeaderParamList(),
            &KVT710C3::SetH_BaseData, r, key, no);
      Write("SetH_DTLData", catalogue::HearingDetailTable(), catalogue::HearingDetailParamList(),
            &KVT710C3::SetH_DTLData, r, key, no);
      Write("SetUriageData", catalogue::SalesLineTable(), catalogue::SalesLineParamList(),
            &KVT710C3::SetUriageData, r, key, no);
      Write("SetSYOKANData", catalogue::CommentTable(), catalogue::CommentParamList(),
            &KVT710C3::SetSYOKANData, r, key, no);
    }
    Both("FamilyCnt_Update", [&](Side& side) { return side.batch->FamilyCnt_Update(key); });
    Both("Execute " + key, [&](Side& side) {
      if (!transaction) return side.batch->Execute(key);
      side.caller->BeginTrans();
      try {
        side.batch->Execute(key);
      } catch (const Error&) {
        side.caller->RollbackTrans();
        throw;
      }
      side.caller->CommitTrans();
      return 0;
    });
  }

#ifdef KVT710_HAS_FUZZ_CORPUS
  // Each input of the fuzz corpus: the writer it chooses, called on both
  // sides, then its queue run statement by statement.
  void ReplayCorpus() {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(KVT710_SOURCE_DIR) / "tests" / "fuzz" / "corpus";
    const std::pair<fuzz::Family, const char*> families[] = {{fuzz::Family::kMaster, "master"},
                                                             {fuzz::Family::kHistory, "history"},
                                                             {fuzz::Family::kFamily, "family"}};
    for (const auto& [family, folder] : families) {
      if (!fs::is_directory(root / folder)) continue;
      std::vector<fs::path> files;
      for (const auto& entry : fs::directory_iterator(root / folder)) files.push_back(entry.path());
      std::sort(files.begin(), files.end());
      for (const fs::path& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string data((std::istreambuf_iterator<char>(in)), {});
        const fuzz::Input input =
            fuzz::Decode(family, reinterpret_cast<const uint8_t*>(data.data()), data.size());
        if (input.writer == nullptr) continue;
        ++replayed_;
        Both("corpus " + file.filename().string(), [&](Side& side) {
          side.batch->Initialize();
          return input.writer->typed(*side.batch, input.values);
        });
        const StatementQueue* queue = on_.batch->Queue();
        for (int32_t i = 1; queue != nullptr && i <= queue->Count(); ++i) {
          Both("corpus " + file.filename().string() + " statement " + std::to_string(i),
               [&](Side& side) {
                 side.caller->Execute(side.batch->Queue()->Statement(i));
                 return 0;
               });
        }
      }
    }
  }
#endif

  // Every row of every table, one text per column value with its type.
  static std::vector<std::string> Contents(const Side& side) {
    std::vector<std::string> out;
    if (side.database.backend() == Backend::kPostgreSQL) {
      for (const catalogue::TableInfo& table : catalogue::Tables()) {
        for (const std::string& row : side.database.Column("Select row_to_json(t)::text From " +
                                                           table.name + " t Order By 1"))
          out.push_back(table.name + " " + row);
      }
      return out;
    }
    const std::string& cs = side.database.connection_string();
    const std::string path = cs.substr(cs.find("Data Source=") + 12);
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> guard(db, sqlite3_close);
    for (const catalogue::TableInfo& table : catalogue::Tables()) {
      sqlite3_stmt* stmt = nullptr;
      const std::string sql = "SELECT * FROM " + table.name + " ORDER BY rowid";
      EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK);
      for (int row = 0; sqlite3_step(stmt) == SQLITE_ROW; ++row) {
        for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
          std::string value = table.name + " row " + std::to_string(row) + " " +
                              sqlite3_column_name(stmt, i) + ": ";
          switch (sqlite3_column_type(stmt, i)) {
            case SQLITE_INTEGER:
              value += "integer " + std::to_string(sqlite3_column_int64(stmt, i));
              break;
            case SQLITE_FLOAT: {
              const double d = sqlite3_column_double(stmt, i);
              uint64_t bits;
              std::memcpy(&bits, &d, sizeof bits);
              char buf[64];
              std::snprintf(buf, sizeof buf, "real %.17g (%016llx)", d,
                            static_cast<unsigned long long>(bits));
              value += buf;
              break;
            }
            case SQLITE_NULL:
              value += "null";
              break;
            default:
              value += "text '" +
                       std::string(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                                   static_cast<size_t>(sqlite3_column_bytes(stmt, i))) +
                       "'";
          }
          out.push_back(std::move(value));
        }
      }
      sqlite3_finalize(stmt);
    }
    return out;
  }

  // The number of shapes the caller connection holds prepared; -1 when
  // this SQLite cannot tell.
  static int64_t PreparedShapes(Side& side) {
    const bool pg = side.database.backend() == Backend::kPostgreSQL;
    try {
      auto rs = side.caller->OpenRecordset(
          pg ? "Select count(*) As N From pg_prepared_statements"
             : "Select count(*) As N From sqlite_stmt Where sql Like '%?%' And sql Not Like "
               "'%sqlite_stmt%'",
          db::CursorType::kStatic, db::LockType::kReadOnly);
      return static_cast<int64_t>(rs->Field("N").ToDouble());
    } catch (const Error&) {
      if (pg) throw;
      return -1;
    }
  }

  ScopedClock clock_{FixedNow};
  ScopedSettings settings_;
  Side on_{GetParam(), true};
  Side off_{GetParam(), false};
  int calls_ = 0, succeeded_ = 0, replayed_ = 0;
};

TEST_P(PreparedEquivalence, EveryWriterStoresTheSameValuesAndTypesBothWays) {
  constexpr int kCustomers = 14;
  // New customers, then the same customers again (UPDATEs of the master and
  // maintenance rows, history replaced), then one deleted.
  for (int round = 0; round < 2; ++round)
    for (int c = 0; c < kCustomers; ++c) Customer(c, round * 5 + c, c % 2 == 0);
  Both("DelExecute", [](Side& side) { return side.batch->DelExecute(KeyOf(3)); });
#ifdef KVT710_HAS_FUZZ_CORPUS
  ReplayCorpus();
  RecordProperty("corpus_inputs", replayed_);
#endif
  // Most calls succeed, so that most statements reach the databases.
  EXPECT_GT(succeeded_, calls_ * 2 / 3) << succeeded_ << " of " << calls_;

  // The shapes were prepared on one side only (SQLite lists its statements
  // when it is built to).
  const int64_t prepared = PreparedShapes(on_);
  if (prepared >= 0) {
    EXPECT_GT(prepared, 10);
    EXPECT_EQ(PreparedShapes(off_), 0);
  }

  const std::vector<std::string> with = Contents(on_);
  const std::vector<std::string> without = Contents(off_);
  // PostgreSQL: one line a row; SQLite: one a column value.
  EXPECT_GT(with.size(), GetParam() == Backend::kPostgreSQL ? 250u : 10000u);
  ASSERT_EQ(with.size(), without.size());
  size_t differences = 0;
  for (size_t i = 0; i < with.size() && differences < 20; ++i) {
    if (with[i] == without[i]) continue;
    ++differences;
    ADD_FAILURE() << "prepared: " << with[i] << "\n    text: " << without[i];
  }
}

// A customer master row with nothing but its keys.
BaseDataParams MinimalCustomer(const std::string& key) {
  BaseDataParams p;
  p.StoreCd = "001";
  p.UniqueKey = key;
  for (StringArray BaseDataParams::*array :
       {&BaseDataParams::BuyFlg, &BaseDataParams::C_FREE, &BaseDataParams::C_Free17,
        &BaseDataParams::C_Free18, &BaseDataParams::C_Free19, &BaseDataParams::EventFlg})
    p.*array = SafeArray::OfStrings(1, std::vector<std::string>(16));
  return p;
}

// Execute inside a host transaction: on PostgreSQL, once every shape is
// prepared, its statements go in one pipeline. Both ways it runs them in
// order, stops at the first failure, raises it, and traces what ran.
TEST_P(PreparedEquivalence, ExecuteInATransactionStopsAtTheFirstFailure) {
  testing_support::TempDir dir;
  const std::string trace = (dir / "trace.jsonl").string();
  for (Side* side : {&on_, &off_}) {
    KVT710C3& batch = *side->batch;
    db::Connection& caller = *side->caller;
    // Customer 1 prepares the shapes; customer 2 inserts its master row twice.
    ASSERT_EQ(batch.SetBaseData(MinimalCustomer("1")), 0);
    ASSERT_EQ(batch.SetSYOKANData({"001", "1", "first", ""}), 0);
    caller.BeginTrans();
    ASSERT_EQ(batch.Execute("1"), 0);
    caller.CommitTrans();

    batch.Initialize();
    ASSERT_EQ(batch.SetBaseData(MinimalCustomer("2")), 0);
    ASSERT_EQ(batch.SetBaseData(MinimalCustomer("2")), 0);
    ASSERT_EQ(batch.SetSYOKANData({"001", "2", "never", ""}), 0);
    std::filesystem::remove(trace);
    caller.BeginTrans();
    {
      testing_support::ScopedEnv env("KVT710_TRACE_SQL", trace);
      try {
        batch.Execute("2");
        ADD_FAILURE() << "a second master row for one key was accepted";
      } catch (const Error& e) {
        const std::string d = e.description();
        EXPECT_TRUE(d.find("duplicate key") != std::string::npos ||
                    d.find("UNIQUE constraint failed") != std::string::npos)
            << d;
      }
    }
    EXPECT_EQ(caller.errors().list().size(), 1u);
    caller.errors().Clear();
    caller.RollbackTrans();

    std::ifstream in(trace);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 10u) << "8 DELETEs, the first INSERT, the failed one";
    EXPECT_EQ(lines[0], R"({"sql":"Delete From CGLASBS Where GLS_UNIQUE_KEY=2","ok":true})");
    EXPECT_EQ(lines[8].rfind(R"({"sql":"Insert Into CBASE()", 0), 0u);
    EXPECT_NE(lines[8].find(R"("ok":true)"), std::string::npos);
    EXPECT_EQ(lines[9].rfind(R"({"sql":"Insert Into CBASE()", 0), 0u);
    EXPECT_NE(lines[9].find(R"("ok":false)"), std::string::npos);

    // The connection goes on: the same customer, written once, in a transaction.
    batch.Initialize();
    ASSERT_EQ(batch.SetBaseData(MinimalCustomer("2")), 0);
    ASSERT_EQ(batch.SetSYOKANData({"001", "2", "second", ""}), 0);
    caller.BeginTrans();
    ASSERT_EQ(batch.Execute("2"), 0);
    caller.CommitTrans();
  }
  for (Side* side : {&on_, &off_}) {
    EXPECT_EQ(side->database.Column("Select CMNT_COMMENT_1 From CSYOKN Order By 1"),
              (std::vector<std::string>{"first", "second"}));
    EXPECT_EQ(side->database.Scalar("Select Count(*) From CBASE"), "2");
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, PreparedEquivalence,
                         ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
