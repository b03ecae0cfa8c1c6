// Connections and recordsets on each backend: the same properties on an SQLite
// file and on the PostgreSQL server, as the component and the host use them.
#include <cstdlib>
#include <filesystem>

#include "catalogue/catalogue.h"
#include "platform/automation/registry.h"
#include "platform/automation/safe_array.h"
#include "platform/db/connection.h"
#include "platform/db/product_schema.h"
#include "platform/db/schema.h"
#include "platform/db/statement.h"
#include "sql/KVT710H1.h"
#include "test_support.h"

namespace kvt710::db {
namespace {

using testing_support::Backend;
using testing_support::Failure;
using testing_support::ReadLines;
using testing_support::ScopedEnv;
using testing_support::TempDir;
using testing_support::TestDatabase;
using Texts = std::vector<std::string>;

// The values between the bars of `joined`.
Texts Split(const std::string& joined) {
  Texts values;
  for (size_t at = 0, bar; at <= joined.size(); at = bar + 1) {
    bar = std::min(joined.find('|', at), joined.size());
    values.push_back(joined.substr(at, bar - at));
  }
  return values;
}

// "`head` Values ( v, ...)" with each of `values` an Integer value.
Statement Insert(const std::string& head, const Texts& values) {
  Statement s;
  s.AppendText(head + " Values ( ");
  for (size_t i = 0; i < values.size(); ++i) {
    const sql::Literal literal =
        sql::RenderLiteral(sql::Form::kInteger, values[i], "v", DateTime{});
    s.AppendText(i == 0 ? "" : ",");
    s.AppendValue(literal.text, literal.value);
  }
  s.AppendText(")");
  return s;
}

constexpr const char* kSelection =
    "SELECT CUBS_DATA_FLG, CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_KANA_MEI, CUBS_NEWBST_COMING, "
    "CUBS_UPD_DATE FROM CBASE WHERE CUBS_DATA_FLG <> 2";

// How each backend reports a statement that is cut short and a refused login.
struct Reports {
  int32_t number;
  const char* sqlstate;
  const char* source;
  const char* description;
  const char* refused_login;  // its SQLSTATE
};
constexpr Reports kReports[] = {
    {1, "", "SQLite", "incomplete input", ""},
    {err::kProvider, "42601", "PostgreSQL", "syntax error at end of input", "08001"},
    {1064, "42000", "ODBC",
     "You have an error in your SQL syntax; check the manual that corresponds to your MariaDB "
     "server version for the right syntax to use near '' at line 1",
     "28000"},
    {1, "42601", "ODBC", "ERROR: syntax error at end of input; Error while executing the query",
     "08001"},
};

class BackendConformance : public ::testing::TestWithParam<Backend> {
 protected:
  bool Pg() const { return testing_support::OnPostgres(GetParam()); }
  bool Maria() const { return GetParam() == Backend::kMariaDB; }
  const Reports& Reported() const { return kReports[static_cast<int>(GetParam())]; }
  // The database's connection string with one more key (PostgreSQL: in keyword form).
  std::string With(const std::string& key, const std::string& value) const {
    if (GetParam() != Backend::kPostgreSQL)
      return db_.connection_string() + ";" + key + "=" + value;
    return std::string(std::getenv("KVT710_TEST_PG")) +
           ";Search Path=" + db_.Scalar("Select current_schema()") + ";" + key + "=" + value;
  }
  // Customers from..to: every fourth visited last on 2010/01/01, the others
  // the day before; every third kana Null, which the optimistic check must match.
  void AddCustomers(int from, int to) {
    cn_->BeginTrans();
    for (int key = from; key <= to; ++key) {
      const std::string kana = key % 3 == 0 ? "Null" : "'カナ" + std::to_string(key) + "'";
      const std::string visit = key % 4 == 0 ? "'2010/01/01'" : "'2009/12/31'";
      cn_->Execute(
          "Insert Into CBASE(CUBS_STORE_NO,CUBS_UNIQUE_KEY,CUBS_KANA_MEI,CUBS_DATA_FLG,"
          "CUBS_NEWBST_COMING,CUBS_UPD_DATE) Values ( '012'," +
          std::to_string(key) + "," + kana + ",'0'," + visit + ",'2001/02/03 04:05:06')");
    }
    cn_->CommitTrans();
  }

  TestDatabase db_{GetParam()};
  std::shared_ptr<Connection> cn_ = db_.Connect();
};

TEST_P(BackendConformance, OpensOnceKeepsToItsModeAndTheSchemaAppliesAgain) {
  for (const catalogue::TableInfo& table : catalogue::Tables())
    EXPECT_EQ(db_.Scalar("Select Count(*) From " + table.name), "0") << table.name;
  auto cn = Connection::Create();
  EXPECT_EQ(Failure([&] { cn->Execute("Select 1"); }).number(), err::kConnectionClosed);
  cn->set_connection_string(With("Mode", "ReadOnly"));
  cn->Open();
  EXPECT_EQ(cn->State(), kStateOpen);
  EXPECT_EQ(Failure([&] { cn->Open(); }).number(), kErrObjectOpen);
  EXPECT_EQ(testing_support::Rows(*cn, "Select Count(*) From CBASE"), Texts{"0"});
  EXPECT_NE(Failure([&] { cn->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY) Values (1)"); }).number(),
            0);
  EXPECT_EQ(ClassifyFailure(cn->errors().list().back()), FailureKind::kReadOnly);
  cn->Close();
  cn->Close();  // closing twice is harmless
  EXPECT_EQ(cn->State(), kStateClosed);
  cn->Open(With("Mode", "ReadWriteCreate"));
  cn->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY) Values (1)");

  const Texts layout =
      Pg() ? Texts{"Select string_agg(table_name||'.'||column_name||' '||data_type, ',' Order By "
                   "table_name, ordinal_position) From information_schema.columns Where "
                   "table_schema = current_schema()",
                   "Select string_agg(indexdef, ';' Order By indexname) From pg_indexes Where "
                   "schemaname = current_schema()"}
      : Maria()
          ? Texts{"Select group_concat(concat(table_name,'.',column_name,' ',column_type) Order By "
                  "table_name, ordinal_position) From information_schema.columns Where "
                  "table_schema = database()",
                  "Select group_concat(concat(index_name,'.',column_name) Order By table_name, "
                  "index_name, seq_in_index) From information_schema.statistics Where "
                  "table_schema = database()"}
          : Texts{"SELECT group_concat(sql, ';') FROM sqlite_master"};
  Texts before;
  for (const std::string& query : layout) before.push_back(db_.Scalar(query));
  CreateProductSchema(*cn);
  for (size_t i = 0; i < layout.size(); ++i) EXPECT_EQ(db_.Scalar(layout[i]), before[i]);
  EXPECT_EQ(db_.Scalar("Select Count(*) From CBASE"), "1");
}

TEST_P(BackendConformance, ACommandTextHoldsOneStatement) {
  const std::string insert =
      "Insert Into CSYOKN(CMNT_STORE_NO,CMNT_UNIQUE_KEY,CMNT_COMMENT_1) Values ( '012',1,'a')";
  for (const std::string& text : Texts{
           insert + ";" + insert, insert + ";\n-- note\n" + insert, "Delete From CSYOKN; " + insert,
           "Insert Into CSYOKN(CMNT_UNIQUE_KEY,CMNT_COMMENT_1) Values (1,'a');Delete From "
           "CBASE--')",
           insert + std::string(1, '\0') + "; Drop Table CBASE"})
    EXPECT_NE(Failure([&] { cn_->Execute(text); }).number(), 0) << text;
  EXPECT_EQ(db_.Scalar("Select Count(*) From CSYOKN"), "0");
  EXPECT_EQ(db_.Column("Select Count(*) From CBASE"), Texts{"0"});
  // No statement at all: refused by SQLite, run as nothing by the servers.
  EXPECT_EQ(Failure([&] { cn_->Execute("  -- nothing\n"); }).number() != 0,
            GetParam() == Backend::kSQLite);
  // A trailing ";", blanks and comments are no second statement.
  cn_->Execute(insert + ";  ");
  cn_->Execute(insert + " -- why\n/* more */ ;");
  EXPECT_EQ(db_.Scalar("Select Count(*) From CSYOKN"), "2");
}

// A refused open: PostgreSQL refuses the login, SQLite takes no password.
TEST_P(BackendConformance, ARefusedOpenKeepsItsPasswordOutOfItsErrors) {
  auto cn = Connection::Create();
  const Error refused = Failure([&] { cn->Open(With("Password", "\"Wr0ng;Secret'Pw\"")); });
  EXPECT_NE(refused.number(), 0);
  EXPECT_EQ(cn->State(), kStateClosed);
  ASSERT_EQ(cn->errors().list().size(), 1u);
  for (const std::string& text : {refused.description(), cn->errors().list()[0].description}) {
    for (const char* secret : {"Secret", "s3cr3t", "Wr0ng"})
      EXPECT_EQ(text.find(secret), std::string::npos) << text;
  }
  EXPECT_EQ(cn->errors().list()[0].sqlstate, Reported().refused_login);
  if (GetParam() != Backend::kPostgreSQL) return;
  // No password at all, to a server that wants one: its refusal, not a wait for input.
  std::string bare = std::getenv("KVT710_TEST_PG");
  const size_t pw = bare.find(";Password=");
  bare.erase(pw, bare.find(';', pw + 1) - pw);
  EXPECT_NE(Failure([&] { cn->Open(bare); }).number(), 0);
  EXPECT_EQ(cn->State(), kStateClosed);
  EXPECT_NE(cn->errors().list().back().description.find("password"), std::string::npos);
}

// Transactions are shown by the writers, the import and the sweeps; here the
// affected-row count and PostgreSQL's statement time limit.
TEST_P(BackendConformance, RowCountsAndCommandTimeout) {
  cn_->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY) Values (2)");
  EXPECT_EQ(cn_->ExecuteCount("Update CBASE Set CUBS_DATA_FLG = 2 Where CUBS_UNIQUE_KEY = 2"), 1);
  EXPECT_EQ(cn_->ExecuteCount("Update CBASE Set CUBS_DATA_FLG = 2 Where CUBS_UNIQUE_KEY = 3"), 0);
  if (GetParam() == Backend::kSQLite) return;  // SQLite statements have no time limit
  auto limited = Connection::Create();
  limited->set_command_timeout(1);
  limited->Open(db_.connection_string());
  const Error timed_out = Failure([&] {
    limited->Execute(Maria() ? "Select Count(*) From information_schema.columns a, "
                               "information_schema.columns b, information_schema.columns c"
                             : "Select pg_sleep(30)");
  });
  EXPECT_NE(timed_out.number(), 0) << timed_out.description();
  EXPECT_EQ(limited->errors().list().back().sqlstate, Maria() ? "HY018" : "57014")
      << limited->errors().list().back().description;
  EXPECT_EQ(limited->State(), kStateOpen);
}

// Two writers of neighbouring customers, neither stored yet, each locking
// its key first as the import does, do not wait for each other.
TEST_P(BackendConformance, WritersOfNeighbouringNewKeysDoNotWaitForEachOther) {
  if (GetParam() == Backend::kSQLite) GTEST_SKIP() << "SQLite takes one writer at a time";
  std::shared_ptr<Connection> writers[2];
  for (int i = 0; i < 2; ++i) {
    writers[i] = Connection::Create();
    writers[i]->set_command_timeout(3);  // a wait fails the statement
    writers[i]->Open(db_.connection_string());
    writers[i]->BeginTrans();
    writers[i]->Execute(
        "Update CBASE Set CUBS_UNIQUE_KEY = CUBS_UNIQUE_KEY Where "
        "CUBS_UNIQUE_KEY = " +
        std::to_string(100 + i));
  }
  for (int i = 0; i < 2; ++i)
    writers[i]->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY) Values (" + std::to_string(100 + i) +
                        ")");
  for (auto& writer : writers) writer->CommitTrans();
  EXPECT_EQ(db_.Scalar("Select Count(*) From CBASE"), "2");
}

TEST_P(BackendConformance, StaticRecordsetReadsEveryRowReadOnly) {
  cn_->Execute(
      "Insert Into CBASE(CUBS_UNIQUE_KEY,CUBS_STORE_NO,CUBS_CYL_SUM,CUBS_BIRTH_MD,CUBS_DATA_FLG)"
      " Values (1,'012',-1.25,0305,'0')");
  std::string long_text;  // longer than a driver hands over at once, split inside a character
  for (int i = 0; i < 3001; ++i) long_text += "山";
  cn_->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY,CUBS_KANA_MEI) Values (12345678901,'" +
               long_text + "x')");
  auto count = cn_->OpenRecordset("Select Count(*) As CNT From CBASE Where CUBS_UNIQUE_KEY=1",
                                  CursorType::kStatic, LockType::kReadOnly);
  EXPECT_EQ(count->Field("cnt"), Variant::Long(1));
  EXPECT_EQ(Failure([&] { count->Field("COUNT"); }).number(), kErrItemNotFound);
  EXPECT_EQ(Failure([&] { count->Update(); }).description(),
            "Operation is not allowed: the recordset is read-only");

  auto rows = cn_->OpenRecordset(
      "SELECT CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_CYL_SUM, CUBS_BIRTH_MD, CUBS_DATA_FLG, "
      "CUBS_KANA_MEI FROM CBASE ORDER BY CUBS_UNIQUE_KEY",
      CursorType::kStatic, LockType::kReadOnly);
  const std::vector<std::pair<const char*, Variant>> fields = {
      {"CUBS_UNIQUE_KEY", Variant::Long(1)},    {"Cubs_Store_No", Variant::String("012")},
      {"CUBS_CYL_SUM", Variant::Double(-1.25)}, {"CUBS_BIRTH_MD", Variant::Long(305)},
      {"CUBS_DATA_FLG", Variant::Long(0)},      {"CUBS_KANA_MEI", Variant::Null()}};
  for (const auto& [name, value] : fields) EXPECT_EQ(rows->Field(name), value) << name;
  rows->MoveNext();
  EXPECT_EQ(rows->Field("CUBS_UNIQUE_KEY"), Variant::Double(12345678901.0));
  EXPECT_EQ(rows->Field("CUBS_KANA_MEI"), Variant::String(long_text + "x"));
  rows->MoveNext();
  EXPECT_TRUE(rows->Eof());
  EXPECT_EQ(Failure([&] { rows->Field("CUBS_UNIQUE_KEY"); }).number(), kErrNoCurrentRow);
  rows->MoveFirst();
  EXPECT_EQ(rows->Field("CUBS_UNIQUE_KEY"), Variant::Long(1));
  rows->Close();
  EXPECT_EQ(Failure([&] { rows->Eof(); }).number(), err::kConnectionClosed);

  auto none = cn_->OpenRecordset("SELECT CUBS_UNIQUE_KEY FROM CBASE WHERE CUBS_UNIQUE_KEY = 0",
                                 CursorType::kStatic, LockType::kReadOnly);
  EXPECT_TRUE(none->Bof() && none->Eof());
}

TEST_P(BackendConformance, UpdateRefusesARowChangedMeanwhileAndQueriesItCannotPage) {
  AddCustomers(1, 3);
  auto rs = cn_->OpenRecordset(kSelection, CursorType::kDynamic, LockType::kOptimistic);
  ASSERT_EQ(rs->Field("CUBS_UNIQUE_KEY"), Variant::Long(1));
  // Row 2 is read with its page; another connection changes it afterwards.
  db_.Connect()->Execute("Update CBASE Set CUBS_KANA_MEI='ホカ' Where CUBS_UNIQUE_KEY=2");
  rs->SetField("CUBS_DATA_FLG", Variant::Integer(2));
  rs->Update();
  rs->MoveNext();
  EXPECT_EQ(rs->Field("CUBS_KANA_MEI"), Variant::String("カナ2"));  // as read
  rs->SetField("CUBS_DATA_FLG", Variant::Integer(2));
  const Error changed = Failure([&] { rs->Update(); });
  EXPECT_EQ(changed.number(), kErrRowChanged);
  EXPECT_NE(changed.description().find("changed by another user"), std::string::npos);
  EXPECT_EQ(cn_->errors().list().back().number, kErrRowChanged);
  EXPECT_EQ(db_.Column("Select CUBS_DATA_FLG From CBASE Order By CUBS_UNIQUE_KEY"),
            (Texts{"2", "0", "0"}));

  cn_->errors().Clear();
  for (const char* sql :
       {"SELECT * FROM CBASE", "SHOWIT CUBS_STORE_NO FROM CBASE", "SELECT Count(*) FROM CBASE",
        "SELECT A.CUBS_UNIQUE_KEY FROM CBASE A, CMENTE_T B",
        "SELECT MTRN_KBN FROM CMENTE_T WHERE MTRN_UNIQUE_KEY = 1", "UPDATE CBASE SET X = 1"})
    EXPECT_EQ(Failure([&] {
                cn_->OpenRecordset(sql, CursorType::kDynamic, LockType::kOptimistic);
              }).number(),
              kErrNotAllowed)
        << sql;
  EXPECT_EQ(cn_->errors().list().size(), 6u);
  // A column named like a keyword's start before FROM is still a column.
  auto two = cn_->OpenRecordset("SELECT CUBS_UNIQUE_KEY, CUBS_FAMILY_KEY FROM CBASE",
                                CursorType::kDynamic, LockType::kOptimistic);
  EXPECT_EQ(Failure([&] { two->Field("CUBS_FAMILY_KEY"); }).number(), 0);
  EXPECT_EQ(two->Field("CUBS_UNIQUE_KEY"), Variant::Long(1));
  EXPECT_NE(Failure([&] {
              cn_->OpenRecordset("SELECT CUBS_DATA_FLG FROM CBASE WHERE NO_SUCH_COLUMN = 1",
                                 CursorType::kDynamic, LockType::kOptimistic);
            }).number(),
            0);
}

// "ADODB.Connection" with its Errors and Recordset objects, late-bound as the
// host script and the sibling component use them.
TEST_P(BackendConformance, ObjectsWorkLateBound) {
  std::shared_ptr<Dispatch> cn = CreateObject("ADODB.Connection");
  cn->Put("ConnectionString", Variant::String(With("Password", "hunter2")));
  EXPECT_EQ(cn->Get("ConnectionString").ToString().find("hunter2"), std::string::npos);
  cn->Put("ConnectionString", Variant::String(db_.connection_string()));
  cn->Call("Open",
           {Variant::String(""), Variant::String(""), Variant::String(""), Variant::Long(-1)});

  EXPECT_EQ(cn->Call("BeginTrans"), Variant::Long(1));
  EXPECT_TRUE(cn->Call("Execute", {Variant::String("Insert Into CBASE(CUBS_UNIQUE_KEY,"
                                                   "CUBS_STORE_NO) Values (5,'012')"),
                                   Variant::Missing(), Variant::Long(1)})
                  .IsEmpty());
  std::vector<Variant> args = {Variant::String("Update CBASE Set CUBS_DATA_FLG = 2 "),
                               Variant::Long(0), Variant::Long(-1)};
  cn->Invoke("Execute", InvokeKind::kMethod, args);
  EXPECT_EQ(args[1], Variant::Long(1));  // records affected, by reference
  std::shared_ptr<Dispatch> rs =
      cn->Call("Execute", {Variant::String(" select CUBS_UNIQUE_KEY, CUBS_STORE_NO, "
                                           "CUBS_KANA_MEI From CBASE")})
          .ToObject();
  EXPECT_EQ(rs->Call("Fields", {Variant::String("cubs_store_no")}).ToObject()->Get("Value"),
            Variant::String("012"));
  std::shared_ptr<SafeArray> rows = rs->Call("GetRows").ToArray();
  ASSERT_EQ(rows->dims(), 2);
  EXPECT_EQ(rows->bounds(1).count() * 10 + rows->bounds(2).count(), 31);  // fields first
  EXPECT_EQ(rows->At(0, 0), Variant::Long(5));
  EXPECT_TRUE(rows->At(2, 0).IsNull());
  EXPECT_EQ(rs->Get("EOF"), Variant::Boolean(true));
  cn->Call("RollbackTrans");
  EXPECT_EQ(db_.Scalar("Select Count(*) From CBASE"), "0");

  EXPECT_THROW(cn->Call("Execute", {Variant::String("Delete From CGLASBS Where GLS_UNIQUE_KEY=")}),
               Error);
  std::shared_ptr<Dispatch> errors = cn->Get("Errors").ToObject();
  ASSERT_EQ(errors->Get("Count"), Variant::Long(1));
  std::shared_ptr<Dispatch> first = errors->Call("Item", {Variant::Long(0)}).ToObject();
  EXPECT_EQ(first->Get("Number"), Variant::Long(Reported().number));
  EXPECT_EQ(first->Get("SQLState").ToString() + first->Get("Source").ToString(),
            std::string(Reported().sqlstate) + Reported().source);
  EXPECT_EQ(first->Get("Description"), Variant::String(Reported().description));
  EXPECT_THROW(errors->Call("Item", {Variant::Long(1)}), Error);
  errors->Call("Clear");
  EXPECT_EQ(errors->Get("Count"), Variant::Long(0));
  cn->Call("Close");
  EXPECT_EQ(cn->Get("State"), Variant::Long(kStateClosed));
}

// Values of every sort the host may send: numbers with leading zeros, signs,
// blanks, exponents, separators, huge and tiny ones; texts with quotes, wide
// blanks, SQL of their own; dates; empty and blank texts; Null as text.
Texts Awkward() {
  Texts values = Split(
      "| |0|007|-0|+0|+5| 12 |1.0|5.|.5|-.5|-0.0|0.000|1e3|1E+3|2.5e-3|12.50e1|0.1|0.3|"
      "63.3|-1.25| -1.75 |1,234|1,234.5|99999999999999999999|9007199254740993|"
      "9007199254740993.0|9223372036854775807|9223372036854775808|-9223372036854775808|"
      "-9223372036854775809|123456789012345678901234567890.125|1e308|1e22|1e23|"
      "4.9e-324|5e-324|2.2250738585072014e-308|1.7976931348623157e308|"
      "0.30000000000000004|1.00000000000000000000001| 1,234.5e-1 |1234567890123456|"
      "12345678901234567|-9,223,372,036,854,775,808|18446744073709551616|0.1e1|.5E+1|"
      "-0.0e5|2.675|8.5e-1|1e-400|00000000000000000000001|"
      "0.000000000000000000000000000000000000125|it's|''|a''b|'|全角　スペース|　| 　 |"
      "2016/07/04|2016-7-4 9:08|1999/02/29|2000/02/29 23:59:59|0305|1231|abc|Null|\\|"
      "%_|\ttab|x;y|--c|1;Delete From CBASE|$1|?");
  values.push_back(std::string(308, '9'));
  values.push_back("1" + std::string(400, '0') + "e-400");
  return values;
}

// Statements of every value form with awkward values, into the customer
// master's columns of the form's type: stored through prepared shapes
// exactly as through their texts, value and type, and failing alike.
TEST_P(BackendConformance, PreparedShapesStoreWhatTheirTextsStore) {
  TestDatabase texts_db(GetParam());
  auto texts = Connection::Create();
  texts->Open(texts_db.connection_string() + (GetParam() == Backend::kPostgreSQL
                                                  ? "&prepared_statements=false"
                                                  : ";Prepared Statements=false"));
  ASSERT_TRUE(cn_->prepared_shapes());
  ASSERT_FALSE(texts->prepared_shapes());
  const catalogue::TableInfo& base = catalogue::Base();
  int key = 0, stored = 0;
  for (int f = 0; f <= static_cast<int>(sql::Form::kInteger); ++f) {
    const sql::Form form = static_cast<sql::Form>(f);
    Texts columns;
    for (const catalogue::ColumnInfo& c : base.columns)
      if (c.type == catalogue::TypeOf(form) && c.name != base.customer_key)
        columns.push_back(c.name);
    for (const std::string& value : Awkward()) {
      sql::Literal literal;
      if (Failure([&] {
            literal = sql::RenderLiteral(form, value, "v", DateTime{2016, 7, 4, 9, 8, 7});
          }).number() != 0)
        continue;
      Statement s;
      ++key;
      s.AppendText("Insert Into CBASE(CUBS_UNIQUE_KEY," + columns[key % columns.size()] +
                   ") Values ( " + std::to_string(key) + ",");
      s.AppendValue(literal.text, literal.value);
      s.AppendText(")");
      const int32_t outcome = Failure([&] { cn_->Execute(s); }).number();
      EXPECT_EQ(Failure([&] { texts->Execute(s); }).number(), outcome) << s;
      stored += outcome == 0;
    }
  }
  EXPECT_GT(stored, key * 2 / 3);
  // Each value with its type; the shapes were prepared on one side only.
  std::string values = "row_to_json(CBASE)::text";
  const std::string prepared =
      Pg() ? "Select count(*) From pg_prepared_statements"
           : "Select count(*) From sqlite_stmt Where sql Like '%?%' And sql Not Like '%stmt%'";
  if (!Pg()) {
    values.clear();
    for (const catalogue::ColumnInfo& c : base.columns)
      values +=
          (values.empty() ? "" : "||' '||") +
          (Maria() ? "quote(" + c.name + ")" : "typeof(" + c.name + ")||quote(" + c.name + ")");
  }
  const std::string query = "Select " + values + " From CBASE Order By CUBS_UNIQUE_KEY";
  EXPECT_EQ(db_.Column(query), texts_db.Column(query));
  if (Maria()) return;  // its driver does not describe parameters: every statement runs as text
  EXPECT_EQ(testing_support::Rows(*texts, prepared), Texts{"0"});
  EXPECT_NE(testing_support::Rows(*cn_, prepared), Texts{"0"});
}

// Statements run in order inside a transaction (on PostgreSQL, once their
// shapes are prepared, in one pipeline): the first failure stops them and
// is raised, and each statement that ran is traced. A value holding NUL is
// refused as its text is.
TEST_P(BackendConformance, ExecuteAllStopsAtTheFirstFailure) {
  TempDir dir;
  const auto trace = dir / "trace.jsonl";
  const std::string head = "Insert Into CBASE(CUBS_UNIQUE_KEY)";
  const Statement one = Insert(head, {"1"}), two = Insert(head, {"2"}), three = Insert(head, {"3"});
  cn_->BeginTrans();
  cn_->ExecuteAll({&one, &two});
  cn_->CommitTrans();
  cn_->BeginTrans();
  {
    ScopedEnv tracing("KVT710_TRACE_SQL", trace.string());
    EXPECT_NE(Failure([&] { cn_->ExecuteAll({&three, &one, &two}); }).number(), 0);
  }
  EXPECT_EQ(ClassifyFailure(cn_->errors().list().back()), FailureKind::kUniqueViolation);
  EXPECT_EQ(cn_->errors().list().size(), 1u);
  cn_->RollbackTrans();
  EXPECT_EQ(ReadLines(trace),
            (Texts{R"x({"sql":"Insert Into CBASE(CUBS_UNIQUE_KEY) Values ( 3)","ok":true})x",
                   R"x({"sql":"Insert Into CBASE(CUBS_UNIQUE_KEY) Values ( 1)","ok":false})x"}));
  cn_->ExecuteAll({&three});
  EXPECT_EQ(db_.Column("Select CUBS_UNIQUE_KEY From CBASE Order By 1"), (Texts{"1", "2", "3"}));
  Value text;
  text.kind = Value::Kind::kText;
  text.at = 1;
  text.size = 3;
  Statement nul;
  nul.AppendText("Insert Into CSYOKN(CMNT_UNIQUE_KEY,CMNT_COMMENT_1) Values ( 902,");
  nul.AppendValue(std::string("'a\0b'", 5), text);
  nul.AppendText(")");
  EXPECT_NE(Failure([&] { cn_->Execute(nul); }).number(), 0);
  EXPECT_EQ(db_.Scalar("Select Count(*) From CSYOKN Where CMNT_UNIQUE_KEY = 902"), "0");
}

// A database behind a driver whose dialect the ODBC provider does not know
// (SQLite's own ODBC driver) is refused at Open, naming it and the known ones.
TEST(OdbcProvider, RefusesADatabaseWhoseDialectItDoesNotKnow) {
  TempDir dir;
  auto cn = Connection::Create();
  const Error e =
      Failure([&] { cn->Open("Driver={SQLite3};Database=" + (dir / "shop.db").string()); });
  if (cn->errors().list().at(0).sqlstate == "IM002" && !std::getenv("KVT710_REQUIRE_ODBC"))
    GTEST_SKIP() << "the SQLite ODBC driver is not installed";
  EXPECT_EQ(e.description(),
            "The ODBC data source is a SQLite database, which this provider does not know (it "
            "knows MariaDB, MySQL, PostgreSQL, Microsoft SQL Server)");
  EXPECT_EQ(cn->State(), kStateClosed);
}

INSTANTIATE_TEST_SUITE_P(Backends, BackendConformance,
                         ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710::db
