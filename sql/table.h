// Table descriptions and the one statement builder that every writer uses.
//
// A writer's parameters are a plain struct P. Its table is described as data:
// one row per column with the column's name, its value form and the member
// of P that feeds it (a text, a whole number, or one element of an array
// parameter, which is rendered in place). Its parameter list (names in call
// order, optional or not) is described the same way for the late-bound
// binding. The builder renders a row in column order and writes the INSERT
// or UPDATE statement; the exact blanks and keyword spellings live here, once.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/automation/error.h"
#include "platform/automation/safe_array.h"
#include "platform/db/statement.h"
#include "sql/KVT710H1.h"

namespace kvt710::sql {

// Where a value lives in the parameter struct P.
template <class P>
struct Source {
  enum class Kind { kNone, kText, kNumber, kArray, kElement, kElement2 };
  Kind kind = Kind::kNone;
  std::string P::*text = nullptr;
  int32_t P::*number = nullptr;
  std::shared_ptr<SafeArray> P::*array = nullptr;
  int32_t i = 0, j = 0;  // subscripts of an element

  static Source None() { return {}; }
  static Source Text(std::string P::*m) { return {Kind::kText, m, nullptr, nullptr, 0, 0}; }
  static Source Number(int32_t P::*m) { return {Kind::kNumber, nullptr, m, nullptr, 0, 0}; }
  static Source Array(std::shared_ptr<SafeArray> P::*m) {
    return {Kind::kArray, nullptr, nullptr, m, 0, 0};
  }
  static Source Element(std::shared_ptr<SafeArray> P::*m, int32_t i) {
    return {Kind::kElement, nullptr, nullptr, m, i, 0};
  }
  static Source Element(std::shared_ptr<SafeArray> P::*m, int32_t i, int32_t j) {
    return {Kind::kElement2, nullptr, nullptr, m, i, j};
  }
};

template <class P>
struct Column {
  std::string name;
  Form form;
  Source<P> source;
  // An UPDATE leaves the column out when its value renders as Null.
  bool update_skips_null = false;
};

template <class P>
struct Table {
  std::string name;
  std::vector<Column<P>> columns;
  // The order in which the columns are rendered, when it is not column
  // order: a failure leaves exactly the array elements before it rendered.
  std::vector<size_t> render_order = {};
};

// One parameter of a writer, in call order, for the late-bound binding.
template <class P>
struct Param {
  std::string name;
  Source<P> target;
  bool optional = false;
};

// One parameter of a writer as a caller sees it: what it takes, whether it
// may be omitted and the columns it feeds (none when the writer computes
// from it or does not store it).
struct ParamInfo {
  enum class Type { kText, kNumber, kArray, kArray2 };
  std::string name;
  Type type = Type::kText;
  int32_t rows = 0, cols = 0;  // an array's highest subscripts
  bool optional = false;
  std::vector<std::string> columns;
};

// `params` described against `table`: a parameter feeds every column whose
// source reads the same member of P.
template <class P>
std::vector<ParamInfo> DescribeParams(const Table<P>& table, const std::vector<Param<P>>& params) {
  using K = typename Source<P>::Kind;
  std::vector<ParamInfo> infos;
  for (const Param<P>& param : params) {
    const Source<P>& t = param.target;
    ParamInfo info{param.name, ParamInfo::Type::kText, 0, 0, param.optional, {}};
    if (t.kind == K::kNumber) info.type = ParamInfo::Type::kNumber;
    if (t.kind == K::kArray) info.type = ParamInfo::Type::kArray;
    for (const Column<P>& column : table.columns) {
      const Source<P>& s = column.source;
      bool same = false;
      if (t.kind == K::kText) same = s.kind == K::kText && s.text == t.text;
      if (t.kind == K::kNumber) same = s.kind == K::kNumber && s.number == t.number;
      if (t.kind == K::kArray) {
        same = (s.kind == K::kElement || s.kind == K::kElement2) && s.array == t.array;
        if (same && s.kind == K::kElement2) info.type = ParamInfo::Type::kArray2;
        if (same) info.rows = std::max(info.rows, s.i), info.cols = std::max(info.cols, s.j);
      }
      if (same) info.columns.push_back(column.name);
    }
    infos.push_back(std::move(info));
  }
  return infos;
}

// A column with its rendered literal and what the literal stands for.
struct Value {
  const std::string* column = nullptr;
  std::string_view literal;
  db::Value value;
  bool in_update = true;

  // A literal that a writer computed itself (it must outlive the value).
  void Set(const Literal& computed) {
    literal = computed.text;
    value = computed.value;
  }
};

// A rendered row: one value per column, in column order. The literals live
// in `buffer`; a writer may point a value at a literal that it keeps itself.
// Neither copied nor moved, so that the values keep pointing into the buffer.
struct Row {
  Row() = default;
  Row(const Row&) = delete;
  Row& operator=(const Row&) = delete;

  std::vector<Value> values;
  std::string buffer;
};

// The sixteen (or n) columns prefix1..prefixN fed by elements 1..n of one array.
template <class P>
void AddElementColumns(std::vector<Column<P>>& columns, const std::string& prefix,
                       const std::string& suffix, int32_t count, Form form,
                       std::shared_ptr<SafeArray> P::*array, int32_t first = 0) {
  for (int32_t n = 1; n <= count; ++n) {
    Source<P> source =
        first == 0 ? Source<P>::Element(array, n) : Source<P>::Element(array, first, n);
    columns.push_back({prefix + std::to_string(n) + suffix, form, source});
  }
}

// Renders one value of `params`, appended to `out`, and returns what it
// stands for. Array elements are written back rendered: the arrays are the
// caller's, shared, so the texts of `params` stay as given.
template <class P>
db::Value RenderSource(std::string& out, const Column<P>& column, const P& params,
                       const DateTime& now) {
  const Source<P>& s = column.source;
  using K = typename Source<P>::Kind;
  switch (s.kind) {
    case K::kText:
      return RenderTo(out, column.form, params.*(s.text), column.name, now);
    case K::kNumber:
      return RenderTo(out, Form::kInteger, std::to_string(params.*(s.number)), column.name, now);
    case K::kElement:
    case K::kElement2: {
      const std::shared_ptr<SafeArray>& array = params.*(s.array);
      if (!array)
        throw Error(err::kSubscript, "Subscript out of range: no array for " + column.name);
      Variant& element = s.kind == K::kElement ? array->At(s.i) : array->At(s.i, s.j);
      const size_t start = out.size();
      db::Value value = element.IsString()
                            ? RenderTo(out, column.form, element.string_ref(), column.name, now)
                            : RenderTo(out, column.form, element.ToString(), column.name, now);
      element = Variant::String(out.substr(start));
      return value;
    }
    case K::kNone:
    case K::kArray:
      break;
  }
  return RenderTo(out, column.form, {}, column.name, now);
}

// Renders every column of `table` into `row`, in its render order; the
// values are in column order.
template <class P>
void RenderRow(const Table<P>& table, const P& params, const DateTime& now, Row& row) {
  const size_t n = table.columns.size();
  row.values.assign(n, Value{});
  row.buffer.clear();
  row.buffer.reserve(n * 12);  // most literals are short
  std::vector<size_t> starts(n), ends(n);
  for (size_t k = 0; k < n; ++k) {
    const size_t i = table.render_order.empty() ? k : table.render_order[k];
    starts[i] = row.buffer.size();
    row.values[i].value = RenderSource(row.buffer, table.columns[i], params, now);
    ends[i] = row.buffer.size();
  }
  // The buffer has stopped growing: the values can point into it now.
  const std::string_view all = row.buffer;
  for (size_t i = 0; i < n; ++i) {
    const Column<P>& column = table.columns[i];
    const std::string_view literal = all.substr(starts[i], ends[i] - starts[i]);
    Value& value = row.values[i];
    value.column = &column.name;
    value.literal = literal;
    value.in_update = !(column.update_skips_null && literal == "Null");
  }
}

// "Insert Into T(c1,c2,...) Values ( v1,v2,...)". The statement knows where
// each value lies in its text (its shape, see db::Statement).
db::Statement BuildInsert(const std::string& table, const std::vector<Value>& row);

// "Update T Set c1=v1,c2=v2,... Where k1=w1 And k2=w2": columns whose value
// is not in_update are left out. `order`, when not empty, lists the row's
// indices in the order the SET clause names them.
db::Statement BuildUpdate(const std::string& table, const std::vector<Value>& row,
                          const std::vector<Value>& where, const std::vector<size_t>& order = {});

// The position of `column` in `table`; throws when it has no such column.
template <class P>
size_t ColumnIndex(const Table<P>& table, const std::string& column) {
  for (size_t i = 0; i < table.columns.size(); ++i)
    if (table.columns[i].name == column) return i;
  throw Error(err::kInternal, "Table " + table.name + " has no column " + column);
}

}  // namespace kvt710::sql
