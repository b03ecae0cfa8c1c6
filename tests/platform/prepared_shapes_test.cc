// Prepared shapes: a statement's shape and values, and shaped statements on
// an SQLite connection storing what their text stores in every affinity,
// traced and failing as their text.
#include <sqlite3.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/db/connection.h"
#include "platform/db/statement.h"
#include "platform/text/number.h"
#include "sql/KVT710H1.h"
#include "test_support.h"

namespace kvt710::db {
namespace {

using testing_support::ScopedEnv;
using testing_support::TempDir;

// A value as the writers render it.
sql::Literal Lit(sql::Form form, std::string_view value) {
  return sql::RenderLiteral(form, value, "v", DateTime{2016, 7, 4, 9, 8, 7});
}

// A statement of fixed parts and values, in turn: fixed, value, fixed, ...
Statement Shaped(const std::vector<std::string>& fixed, const std::vector<sql::Literal>& values) {
  Statement s;
  for (size_t i = 0; i < fixed.size(); ++i) {
    s.AppendText(fixed[i]);
    if (i < values.size()) s.AppendValue(values[i].text, values[i].value);
  }
  return s;
}

TEST(PreparedShapesTest, StatementKnowsItsShapeAndValues) {
  const Statement s = Shaped({"Insert Into T(a,b,c,d) Values ( ", ",", ",", ",", ")"},
                             {Lit(sql::Form::kText, " it's "), Lit(sql::Form::kNumber, " -1,5e3 "),
                              Lit(sql::Form::kText, " "), Lit(sql::Form::kDate, "2016-7-4")});
  EXPECT_EQ(s, "Insert Into T(a,b,c,d) Values ( 'it''s', -15e3 ,Null,'2016/07/04')");
  EXPECT_TRUE(s.has_shape());
  EXPECT_EQ(s.Shape(), "Insert Into T(a,b,c,d) Values ( ?,?,?,?)");
  std::string numbered;
  s.ShapeInto(numbered, true);
  EXPECT_EQ(numbered, "Insert Into T(a,b,c,d) Values ( $1,$2,$3,$4)");
  ASSERT_EQ(s.value_count(), 4u);
  std::string values;
  for (size_t i = 0; i < s.value_count(); ++i)
    values +=
        std::to_string(static_cast<int>(s.value(i).kind)) + "[" + std::string(s.chars(i)) + "]";
  EXPECT_EQ(values, "2[it's]1[-15e3]0[]3[2016/07/04]");
  EXPECT_FALSE(Statement("Delete From T").has_shape());
}

// Number literals: the awkward ones by hand, then many random ones.
std::vector<std::string> NumberLiterals() {
  std::vector<std::string> literals = {"0",
                                       "-0",
                                       "+0",
                                       "007",
                                       "-007",
                                       " 12 ",
                                       "+5",
                                       "1.0",
                                       "5.",
                                       ".5",
                                       "-.5",
                                       "-0.0",
                                       "0.000",
                                       "1e3",
                                       "1E+3",
                                       "2.5e-3",
                                       "12.50e1",
                                       "0.1",
                                       "0.3",
                                       "-1.25",
                                       "63.3",
                                       "1.7976931348623157e308",
                                       "4.9e-324",
                                       "2.2250738585072014e-308",
                                       "1e308",
                                       "1e-400",
                                       "123456789012345678",
                                       "9007199254740992",
                                       "9007199254740993",
                                       "9007199254740993.0",
                                       "9223372036854775807",
                                       "9223372036854775808",
                                       "-9223372036854775808",
                                       "-9223372036854775809",
                                       "99999999999999999999",
                                       "000000000000000000000000001",
                                       "18446744073709551616",
                                       "0.30000000000000004",
                                       "1.00000000000000000000001",
                                       "123456789012345678901234567890.123",
                                       "0.000000000000000000000000000000000000125",
                                       "1e22",
                                       "1e23",
                                       "5e-324",
                                       "8.5e-1",
                                       std::string(308, '9'),
                                       "1" + std::string(400, '0') + "e-400"};
  std::mt19937 random(20161207);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  auto digits = [&](int n) {
    std::string d;
    for (int i = 0; i < n; ++i) d += static_cast<char>('0' + pick(10));
    return d;
  };
  for (int i = 0; i < 4000; ++i) {
    std::string token;
    if (pick(4) == 0) token += std::string(static_cast<size_t>(pick(4)), '0');
    const int whole = pick(4) == 0 ? pick(25) : pick(6);
    token += digits(whole);
    if (pick(2) == 0 || whole == 0) {
      token += '.';
      token += digits(pick(3) == 0 ? pick(25) : pick(5) + (whole == 0 ? 1 : 0));
    }
    if (token.find_first_of("0123456789") == std::string::npos) token += '7';
    if (pick(3) == 0) {
      token += pick(2) == 0 ? 'e' : 'E';
      if (pick(2) == 0) token += pick(2) == 0 ? '+' : '-';
      token += digits(1 + pick(3));
    }
    const char* signs[] = {"", "", "-", "+"};
    literals.push_back(std::string(static_cast<size_t>(pick(2)), ' ') + signs[pick(4)] + token +
                       std::string(static_cast<size_t>(pick(2)), ' '));
  }
  return literals;
}

struct SqliteValue {
  int type = SQLITE_NULL;
  int64_t integer = 0;
  uint64_t real_bits = 0;
  std::string text;
  bool operator==(const SqliteValue&) const = default;
};

std::ostream& operator<<(std::ostream& out, const SqliteValue& v) {
  return out << "type " << v.type << " integer " << v.integer << " real bits " << std::hex
             << v.real_bits << std::dec << " text '" << v.text << "'";
}

SqliteValue ColumnOf(sqlite3_stmt* stmt, int i) {
  SqliteValue v;
  v.type = sqlite3_column_type(stmt, i);
  if (v.type == SQLITE_INTEGER) v.integer = sqlite3_column_int64(stmt, i);
  if (v.type == SQLITE_FLOAT) {
    const double d = sqlite3_column_double(stmt, i);
    std::memcpy(&v.real_bits, &d, sizeof d);
  }
  if (v.type == SQLITE_TEXT)
    v.text.assign(reinterpret_cast<const char*>(sqlite3_column_text(stmt, i)),
                  static_cast<size_t>(sqlite3_column_bytes(stmt, i)));
  return v;
}

// Every column of every row of `table`, in rowid order, read by SQLite.
std::vector<std::vector<SqliteValue>> Rows(const std::string& path, const std::string& table) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  std::unique_ptr<sqlite3, int (*)(sqlite3*)> guard(db, sqlite3_close);
  sqlite3_stmt* stmt = nullptr;
  const std::string sql = "SELECT * FROM " + table + " ORDER BY rowid";
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sql;
  std::vector<std::vector<SqliteValue>> rows;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    rows.emplace_back();
    for (int i = 0; i < sqlite3_column_count(stmt); ++i) rows.back().push_back(ColumnOf(stmt, i));
  }
  sqlite3_finalize(stmt);
  return rows;
}

class ShapedSqlite : public ::testing::Test {
 protected:
  std::shared_ptr<Connection> Open(const std::string& path, const std::string& options = {}) {
    auto c = Connection::Create();
    c->Open("Provider=SQLite;Mode=ReadWriteCreate;Data Source=" + path + options);
    // One column of each affinity, the last without any.
    c->Execute("CREATE TABLE T(k INTEGER, n NUMERIC, t TEXT, r REAL, x)");
    return c;
  }
  // The same value in every column.
  static Statement Insert(int k, const sql::Literal& value) {
    const sql::Literal key = Lit(sql::Form::kInteger, std::to_string(k));
    return Shaped({"Insert Into T(k,n,t,r,x) Values ( ", ",", ",", ",", ",", ")"},
                  {key, value, value, value, value});
  }
  // How many times SQLite ran a prepared statement of this exact text on
  // `c`, or -1 when this SQLite cannot list its statements.
  static int64_t Runs(Connection& c, const std::string& sql) {
    try {
      auto rs = c.OpenRecordset("Select run From sqlite_stmt Where sql = '" + sql + "'",
                                CursorType::kStatic, LockType::kReadOnly);
      return rs->Eof() ? 0 : static_cast<int64_t>(rs->Field("run").ToDouble());
    } catch (const Error&) {
      return -1;
    }
  }

  TempDir dir_;
};

TEST_F(ShapedSqlite, StoresWhatTheTextStoresInEveryAffinity) {
  const std::string on_path = (dir_ / "on.db").string();
  const std::string off_path = (dir_ / "off.db").string();
  auto on = Open(on_path);
  auto off = Open(off_path, ";Prepared Statements = False");
  EXPECT_TRUE(on->prepared_shapes());
  EXPECT_FALSE(off->prepared_shapes());

  std::vector<sql::Literal> literals;
  for (const std::string& number : NumberLiterals()) {
    if (!text::IsNumeric(number)) continue;  // beyond a double: written Null
    literals.push_back(Lit(sql::Form::kNumber, number));
    ASSERT_EQ(literals.back().text, number);
  }
  for (const char* text :
       {"", "it's", "'", "''", "　全角", " 12 ", "1e3", "007", "a?b", "$1", "\\"})
    literals.push_back(Lit(sql::Form::kQuotedUnchanged, text));
  literals.push_back(Lit(sql::Form::kText, ""));
  literals.push_back(Lit(sql::Form::kDate, "2016/7/4"));
  literals.push_back(Lit(sql::Form::kTimestamp, ""));
  on->BeginTrans();
  off->BeginTrans();
  for (size_t i = 0; i < literals.size(); ++i) {
    const Statement s = Insert(static_cast<int>(i), literals[i]);
    ASSERT_NO_THROW(on->Execute(s)) << s;
    ASSERT_NO_THROW(off->Execute(s)) << s;
  }
  on->CommitTrans();
  off->CommitTrans();
  const int64_t runs = Runs(*on, "Insert Into T(k,n,t,r,x) Values ( ?,?,?,?,?)");
  if (runs >= 0) {
    EXPECT_EQ(runs, static_cast<int64_t>(literals.size())) << "prepared once, run every time";
    EXPECT_EQ(Runs(*off, "Insert Into T(k,n,t,r,x) Values ( ?,?,?,?,?)"), 0);
  }

  const auto with = Rows(on_path, "T");
  const auto without = Rows(off_path, "T");
  ASSERT_EQ(with.size(), literals.size());
  ASSERT_EQ(without.size(), literals.size());
  for (size_t i = 0; i < literals.size(); ++i)
    EXPECT_EQ(with[i], without[i]) << "literal " << literals[i].text;
}

TEST_F(ShapedSqlite, CacheEvictsAndNulIsRefusedAsInTheText) {
  const std::string path = (dir_ / "shop.db").string();
  auto c = Open(path);
  // 200 shapes, twice round: more than the cache holds, each prepared again.
  for (int round = 0; round < 2; ++round) {
    for (int n = 1; n <= 200; ++n) {
      c->Execute(Shaped({"Insert Into T(k,n) Select ", ",",
                         " Where " + std::to_string(n) + "=" + std::to_string(n)},
                        {Lit(sql::Form::kInteger, std::to_string(n)),
                         Lit(sql::Form::kInteger, std::to_string(round))}));
    }
  }
  EXPECT_EQ(c->OpenRecordset("Select Count(*) As N, Sum(k) As S From T", CursorType::kStatic,
                             LockType::kReadOnly)
                ->Field("S")
                .ToDouble(),
            2 * 200 * 201 / 2);

  // A NUL byte is refused as in the text.
  Value text;
  text.kind = Value::Kind::kText;
  text.at = 1;
  text.size = 3;
  Statement nul;
  nul.AppendText("Insert Into T(k,t) Values ( 902,");
  nul.AppendValue(std::string("'a\0b'", 5), text);
  nul.AppendText(")");
  EXPECT_THROW(c->Execute(nul), Error);
  EXPECT_EQ(c->OpenRecordset("Select Count(*) As N From T Where k>900", CursorType::kStatic,
                             LockType::kReadOnly)
                ->Field("N")
                .ToLong(),
            0);
}

TEST_F(ShapedSqlite, TracesAndFailsWithTheText) {
  const std::string path = (dir_ / "shop.db").string();
  auto c = Open(path);
  c->Execute("CREATE TABLE U(k INTEGER PRIMARY KEY, v TEXT NOT NULL)");
  const std::string trace = (dir_ / "trace.jsonl").string();
  std::string shaped_error, text_error;
  {
    ScopedEnv env("KVT710_TRACE_SQL", trace);
    c->Execute(Shaped({"Insert Into U(k,v) Values ( ", ",", ")"},
                      {Lit(sql::Form::kInteger, "1"), Lit(sql::Form::kText, "it's")}));
    try {
      c->Execute(Shaped({"Insert Into U(k,v) Values ( ", ",", ")"},
                        {Lit(sql::Form::kInteger, "2"), Lit(sql::Form::kText, "")}));
      FAIL() << "Null went into a NOT NULL column";
    } catch (const Error& e) {
      shaped_error = e.description();
    }
  }
  try {
    c->Execute("Insert Into U(k,v) Values ( 2,Null)");
  } catch (const Error& e) {
    text_error = e.description();
  }
  EXPECT_EQ(shaped_error, text_error);
  EXPECT_EQ(c->errors().list().size(), 2u);

  std::ifstream in(trace);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const std::vector<std::string> expected = {
      "{\"sql\":\"Insert Into U(k,v) Values ( 1,'it''s')\",\"ok\":true}",
      "{\"sql\":\"Insert Into U(k,v) Values ( 2,Null)\",\"ok\":false}"};
  EXPECT_EQ(lines, expected);

  // The connection goes on after the failure; its statement was reset.
  c->Execute(Shaped({"Insert Into U(k,v) Values ( ", ",", ")"},
                    {Lit(sql::Form::kInteger, "2"), Lit(sql::Form::kText, "b")}));
  EXPECT_EQ(
      c->OpenRecordset("Select Count(*) As N From U", CursorType::kStatic, LockType::kReadOnly)
          ->Field("N")
          .ToLong(),
      2);
}

TEST(PreparedShapesOption, OnlyTrueOrFalseIsAccepted) {
  TempDir dir;
  for (const char* value : {"true", " TRUE ", "yes", "1", "on"}) {
    auto c = Connection::Create();
    c->Open("Provider=SQLite;Mode=ReadWriteCreate;Data Source=" + (dir / "a.db").string() +
            ";Prepared Statements=" + value);
    EXPECT_TRUE(c->prepared_shapes()) << value;
  }
  for (const char* value : {"false", "No", "0", "off"}) {
    auto c = Connection::Create();
    c->Open("Provider=SQLite;Mode=ReadWriteCreate;Data Source=" + (dir / "a.db").string() +
            ";prepared statements=" + value);
    EXPECT_FALSE(c->prepared_shapes()) << value;
  }
  auto c = Connection::Create();
  try {
    c->Open("Provider=SQLite;Mode=ReadWriteCreate;Data Source=" + (dir / "a.db").string() +
            ";Prepared Statements=sometimes");
    FAIL() << "an unknown value was accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kBadConnectionString);
  }
  EXPECT_EQ(c->State(), kStateClosed);
}

}  // namespace
}  // namespace kvt710::db
