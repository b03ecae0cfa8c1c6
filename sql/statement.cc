#include "sql/table.h"

namespace kvt710::sql {

db::Statement BuildInsert(const std::string& table, const std::vector<Value>& row) {
  db::Statement statement;
  size_t size = table.size() + 26;
  for (const Value& v : row) size += v.column->size() + v.literal.size() + 2;
  statement.Reserve(size, row.size());
  statement.AppendText("Insert Into ");
  statement.AppendText(table);
  statement.AppendText('(');
  for (size_t i = 0; i < row.size(); ++i) {
    if (i > 0) statement.AppendText(',');
    statement.AppendText(*row[i].column);
  }
  statement.AppendText(") Values ( ");
  for (size_t i = 0; i < row.size(); ++i) {
    if (i > 0) statement.AppendText(',');
    statement.AppendValue(row[i].literal);
  }
  statement.AppendText(')');
  return statement;
}

db::Statement BuildUpdate(const std::string& table, const std::vector<Value>& row,
                          const std::vector<Value>& where, const std::vector<size_t>& order) {
  db::Statement statement;
  size_t size = table.size() + 16;
  for (const Value& v : row) size += v.column->size() + v.literal.size() + 2;
  for (const Value& v : where) size += v.column->size() + v.literal.size() + 6;
  statement.Reserve(size, row.size() + where.size());
  statement.AppendText("Update ");
  statement.AppendText(table);
  statement.AppendText(" Set ");
  bool first = true;
  auto add = [&](const Value& v) {
    if (!v.in_update) return;
    if (!first) statement.AppendText(',');
    first = false;
    statement.AppendText(*v.column);
    statement.AppendText('=');
    statement.AppendValue(v.literal);
  };
  if (order.empty()) {
    for (const Value& v : row) add(v);
  } else {
    for (size_t index : order) add(row.at(index));
  }
  for (size_t i = 0; i < where.size(); ++i) {
    statement.AppendText(i == 0 ? " Where " : " And ");
    statement.AppendText(*where[i].column);
    statement.AppendText('=');
    statement.AppendValue(where[i].literal);
  }
  return statement;
}

}  // namespace kvt710::sql
