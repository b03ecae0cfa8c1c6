#include "sql/table.h"

namespace kvt710::sql {

std::string BuildInsert(const std::string& table, const std::vector<Value>& row) {
  std::string text = "Insert Into " + table + "(";
  size_t size = text.size() + 12;
  for (const Value& v : row) size += v.column->size() + v.literal.size() + 2;
  text.reserve(size);
  for (size_t i = 0; i < row.size(); ++i) {
    if (i > 0) text += ',';
    text += *row[i].column;
  }
  text += ") Values ( ";
  for (size_t i = 0; i < row.size(); ++i) {
    if (i > 0) text += ',';
    text += row[i].literal;
  }
  text += ')';
  return text;
}

std::string BuildUpdate(const std::string& table, const std::vector<Value>& row,
                        const std::vector<Value>& where, const std::vector<size_t>& order) {
  std::string text = "Update " + table + " Set ";
  bool first = true;
  auto add = [&](const Value& v) {
    if (!v.in_update) return;
    if (!first) text += ',';
    first = false;
    text += *v.column;
    text += '=';
    text += v.literal;
  };
  if (order.empty()) {
    for (const Value& v : row) add(v);
  } else {
    for (size_t index : order) add(row.at(index));
  }
  for (size_t i = 0; i < where.size(); ++i) {
    text += i == 0 ? " Where " : " And ";
    text += *where[i].column;
    text += '=';
    text += where[i].literal;
  }
  return text;
}

}  // namespace kvt710::sql
