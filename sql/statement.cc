#include <cstring>

#include "sql/table.h"

namespace kvt710::sql {
namespace {

// Writes the pieces of a statement into a text of the exact size at once:
// the writers build a few thousand statements a second, one piece at a time.
class Writer {
 public:
  explicit Writer(size_t size, size_t values) : text_(size, '\0'), out_(text_.data()) {
    spans_.reserve(values);
  }
  void Text(std::string_view piece) {
    std::memcpy(out_, piece.data(), piece.size());
    out_ += piece.size();
  }
  void Char(char c) { *out_++ = c; }
  void Value(std::string_view literal) {
    spans_.push_back(
        {static_cast<uint32_t>(out_ - text_.data()), static_cast<uint32_t>(literal.size())});
    Text(literal);
  }
  db::Statement Finish() {
    text_.resize(static_cast<size_t>(out_ - text_.data()));
    return db::Statement(std::move(text_), std::move(spans_));
  }

 private:
  std::string text_;
  char* out_;
  std::vector<db::Statement::Span> spans_;
};

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
  Writer w(size, row.size());
  w.Text(kInsert);
  w.Text(table);
  w.Char('(');
  for (size_t i = 0; i < row.size(); ++i) {
    if (i > 0) w.Char(',');
    w.Text(*row[i].column);
  }
  w.Text(kValues);
  for (size_t i = 0; i < row.size(); ++i) {
    if (i > 0) w.Char(',');
    w.Value(row[i].literal);
  }
  w.Char(')');
  return w.Finish();
}

db::Statement BuildUpdate(const std::string& table, const std::vector<Value>& row,
                          const std::vector<Value>& where, const std::vector<size_t>& order) {
  size_t size = kUpdate.size() + table.size() + kSet.size();
  for (const Value& v : row) size += v.column->size() + v.literal.size() + 2;
  for (const Value& v : where) size += kWhere.size() + v.column->size() + v.literal.size() + 1;
  Writer w(size, row.size() + where.size());
  w.Text(kUpdate);
  w.Text(table);
  w.Text(kSet);
  bool first = true;
  auto add = [&](const Value& v) {
    if (!v.in_update) return;
    if (!first) w.Char(',');
    first = false;
    w.Text(*v.column);
    w.Char('=');
    w.Value(v.literal);
  };
  if (order.empty()) {
    for (const Value& v : row) add(v);
  } else {
    for (size_t index : order) add(row.at(index));
  }
  for (size_t i = 0; i < where.size(); ++i) {
    w.Text(i == 0 ? kWhere : kAnd);
    w.Text(*where[i].column);
    w.Char('=');
    w.Value(where[i].literal);
  }
  return w.Finish();
}

}  // namespace kvt710::sql
