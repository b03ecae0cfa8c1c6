#include "sql/table.h"

namespace kvt710::sql {
namespace {

constexpr std::string_view kInsert = "Insert Into ";
constexpr std::string_view kValues = ") Values ( ";
constexpr std::string_view kUpdate = "Update ";
constexpr std::string_view kSet = " Set ";
constexpr std::string_view kWhere = " Where ";
constexpr std::string_view kAnd = " And ";

}  // namespace

db::Statement BuildInsert(const std::string& table, const std::vector<Value>& row) {
  size_t size = kInsert.size() + table.size() + 1 + kValues.size() + 1;
  for (const Value& v : row) size += v.column->size() + v.literal.size() + 2;
  db::Statement s;
  s.Reserve(size, row.size());
  s.AppendText(kInsert);
  s.AppendText(table);
  s.AppendText('(');
  for (size_t i = 0; i < row.size(); ++i) {
    if (i > 0) s.AppendText(',');
    s.AppendText(*row[i].column);
  }
  s.AppendText(kValues);
  for (size_t i = 0; i < row.size(); ++i) {
    if (i > 0) s.AppendText(',');
    s.AppendValue(row[i].literal, row[i].value);
  }
  s.AppendText(')');
  return s;
}

db::Statement BuildUpdate(const std::string& table, const std::vector<Value>& row,
                          const std::vector<Value>& where, const std::vector<size_t>& order) {
  size_t size = kUpdate.size() + table.size() + kSet.size();
  for (const Value& v : row) size += v.column->size() + v.literal.size() + 2;
  for (const Value& v : where) size += kWhere.size() + v.column->size() + v.literal.size() + 1;
  db::Statement s;
  s.Reserve(size, row.size() + where.size());
  s.AppendText(kUpdate);
  s.AppendText(table);
  s.AppendText(kSet);
  bool first = true;
  auto add = [&](const Value& v) {
    if (!v.in_update) return;
    if (!first) s.AppendText(',');
    first = false;
    s.AppendText(*v.column);
    s.AppendText('=');
    s.AppendValue(v.literal, v.value);
  };
  if (order.empty()) {
    for (const Value& v : row) add(v);
  } else {
    for (size_t index : order) add(row.at(index));
  }
  for (size_t i = 0; i < where.size(); ++i) {
    s.AppendText(i == 0 ? kWhere : kAnd);
    s.AppendText(*where[i].column);
    s.AppendText('=');
    s.AppendValue(where[i].literal, where[i].value);
  }
  return s;
}

}  // namespace kvt710::sql
