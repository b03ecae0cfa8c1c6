// The one INSERT/UPDATE builder, driven by a small table description.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/automation/safe_array.h"
#include "sql/table.h"

namespace kvt710::sql {
namespace {

const DateTime kNow{2016, 7, 4, 9, 8, 7};

struct P {
  std::string a, b, c;
  int32_t n = 0;
  std::shared_ptr<SafeArray> flags;
};

Table<P> MakeTable() {
  Table<P> table{"T",
                 {{"a", Form::kQuotedUnchanged, Source<P>::Text(&P::a)},
                  {"b", Form::kNumber, Source<P>::Text(&P::b)},
                  {"c", Form::kText, Source<P>::Text(&P::c), true},
                  {"n", Form::kInteger, Source<P>::Number(&P::n)}}};
  AddElementColumns(table.columns, "F", "_X", 2, Form::kPlainText, &P::flags);
  table.columns.push_back({"u", Form::kTimestamp, Source<P>::None()});
  return table;
}

TEST(StatementBuilderTest, InsertAndUpdateText) {
  const Table<P> table = MakeTable();
  P params{"x", "1", "", -5, SafeArray::OfStrings(1, {"1", " "})};
  Row rendered;
  RenderRow(table, params, kNow, rendered);
  const std::vector<Value>& row = rendered.values;

  EXPECT_EQ(BuildInsert(table.name, row),
            "Insert Into T(a,b,c,n,F1_X,F2_X,u) Values ( 'x',1,Null,-5,'1',Null,"
            "'2016/07/04 09:08:07')");
  // Column c renders Null and is left out of the UPDATE; the rest keep table order.
  const std::vector<Value> where = {row[ColumnIndex(table, "b")], row[0]};
  EXPECT_EQ(BuildUpdate(table.name, row, where),
            "Update T Set a='x',b=1,n=-5,F1_X='1',F2_X=Null,u='2016/07/04 09:08:07'"
            " Where b=1 And a='x'");
  const db::Statement update = BuildUpdate(table.name, row, {row[1]}, {3, 0, 2, 1});
  EXPECT_EQ(update, "Update T Set n=-5,a='x',b=1 Where b=1");
  // Each value travels with its literal: what a prepared shape binds.
  std::string bound;
  for (size_t i = 0; i < update.value_count(); ++i)
    bound += "[" + std::string(update.chars(i)) + "]";
  EXPECT_EQ(bound, "[-5][x][1][1]");

  // The array elements were rendered in place, so the caller sees the literals.
  EXPECT_EQ(params.flags->At(1).ToString(), "'1'");
  EXPECT_EQ(params.flags->At(2).ToString(), "Null");
}

TEST(StatementBuilderTest, RefusedValueOrMissingElementStopsTheRow) {
  const Table<P> table = MakeTable();
  P params{"x", "1", "c", 0, SafeArray::OfStrings(0, {"a", "b"})};  // index 2 is missing
  Row row;
  try {
    RenderRow(table, params, kNow, row);
    FAIL() << "an array without index 2 was accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), err::kSubscript);
  }
  EXPECT_EQ(params.flags->At(1).ToString(), "'b'");  // rendered before the failure

  P no_array{"x", "1", "c", 0, nullptr};
  EXPECT_THROW(RenderRow(table, no_array, kNow, row), Error);
  EXPECT_THROW(ColumnIndex(table, "zz"), Error);
}

}  // namespace
}  // namespace kvt710::sql
