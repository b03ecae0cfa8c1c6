#include <cctype>
#include <optional>
#include <string_view>
#include <type_traits>

#include "platform/automation/safe_array.h"
#include "platform/db/backend.h"
#include "platform/db/recordsets.h"
#include "platform/text/ascii.h"

namespace kvt710::db {
namespace {

// A small reader of "SELECT columns FROM table [WHERE condition]" texts:
// keywords compare without regard to case and must stand alone.
class QueryText {
 public:
  explicit QueryText(std::string text) : text_(std::move(text)) {}
  size_t pos() const { return pos_; }
  void Seek(size_t pos) { pos_ = pos; }

  // Consumes `word` (after blanks) when it is there as a whole word.
  bool Keyword(std::string_view word) {
    SkipSpace();
    if (!WordAt(pos_, word)) return false;
    pos_ += word.size();
    return true;
  }
  // The position of the first whole word `word` after blanks, from here on.
  size_t Find(std::string_view word) const {
    for (size_t i = pos_; i < text_.size(); ++i)
      if (IsSpace(text_[i]) && WordAt(i + 1, word) && i + 1 + word.size() < text_.size() &&
          IsSpace(text_[i + 1 + word.size()]))
        return i + 1;
    return std::string::npos;
  }
  std::optional<std::string> Identifier() {
    SkipSpace();
    size_t begin = pos_;
    while (pos_ < text_.size() &&
           (std::isalnum(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '_'))
      ++pos_;
    if (pos_ == begin || std::isdigit(static_cast<unsigned char>(text_[begin])))
      return std::nullopt;
    return text_.substr(begin, pos_ - begin);
  }
  // What is left, without blanks around it and without a final ";".
  std::string Rest() const {
    size_t begin = pos_, end = text_.size();
    while (begin < end && IsSpace(text_[begin])) ++begin;
    while (end > begin && (IsSpace(text_[end - 1]) || text_[end - 1] == ';')) --end;
    return text_.substr(begin, end - begin);
  }

 private:
  static bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
  void SkipSpace() {
    while (pos_ < text_.size() && IsSpace(text_[pos_])) ++pos_;
  }
  bool WordAt(size_t at, std::string_view word) const {
    if (at + word.size() > text_.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
      if (text::ToUpperAscii(text_[at + i]) != word[i]) return false;
    size_t after = at + word.size();
    return after == text_.size() ||
           !(std::isalnum(static_cast<unsigned char>(text_[after])) || text_[after] == '_');
  }

  std::string text_;
  size_t pos_ = 0;
};

constexpr const char* kSource = "ADODB.Recordset";
constexpr int kPageRows = 500;

Error NoCurrentRow() {
  return Error(kErrNoCurrentRow,
               "Either BOF or EOF is True, or the current record has been deleted", kSource);
}

// Runs `body`, which sends `sql`, and traces the text with its outcome.
template <class F>
auto Traced(Connection& connection, const std::string& sql, F&& body) -> decltype(body()) {
  try {
    if constexpr (std::is_void_v<decltype(body())>) {
      body();
      connection.Trace(sql, true);
    } else {
      auto result = body();
      connection.Trace(sql, true);
      return result;
    }
  } catch (...) {
    connection.Trace(sql, false);
    throw;
  }
}

class RecordsetBase : public Recordset {
 public:
  explicit RecordsetBase(std::shared_ptr<Connection> connection)
      : connection_(std::move(connection)) {}

  std::vector<std::string> FieldNames() const override { return columns_; }

 protected:
  // Runs a public operation: a failure is recorded in the connection's Errors
  // before it leaves, as for the connection's own operations.
  template <class F>
  auto Guard(F&& body) const -> decltype(body()) {
    try {
      return body();
    } catch (const Error& e) {
      connection_->RecordFailure(e);
      throw;
    } catch (const std::exception& e) {
      const Error error(kvt710::err::kInternal, std::string("Internal error: ") + e.what(),
                        kSource);
      connection_->RecordFailure(error);
      throw error;
    }
  }

  void RequireOpen() const {
    if (closed_) {
      throw Error(kvt710::err::kConnectionClosed,
                  "Operation is not allowed when the object is closed", kSource);
    }
  }

  size_t IndexOf(std::string_view name) const {
    for (size_t i = 0; i < columns_.size(); ++i) {
      if (text::EqualsIgnoreCase(columns_[i], name)) return i;
    }
    throw Error(kErrItemNotFound,
                "Item cannot be found in the collection corresponding to the requested name: " +
                    std::string(name),
                kSource);
  }

  std::shared_ptr<Connection> connection_;
  std::vector<std::string> columns_;
  bool closed_ = false;
};

// Every row in memory; navigation only.
class StaticRecordset : public RecordsetBase {
 public:
  StaticRecordset(std::shared_ptr<Connection> connection, const Statement& query, bool shaped)
      : RecordsetBase(std::move(connection)) {
    Backend& backend = connection_->backend();
    std::unique_ptr<RowCursor> cursor =
        shaped && query.has_shape() ? backend.QueryShaped(query) : backend.Query(query.text());
    columns_ = cursor->columns();
    std::vector<Variant> row;
    while (cursor->Next(row)) rows_.push_back(row);
  }

  bool Bof() const override {
    return Guard([&] {
      RequireOpen();
      return rows_.empty();
    });
  }
  bool Eof() const override {
    return Guard([&] {
      RequireOpen();
      return position_ >= rows_.size();
    });
  }
  void MoveFirst() override {
    Guard([&] {
      RequireOpen();
      position_ = 0;
    });
  }
  void MoveNext() override {
    Guard([&] {
      RequireOpen();
      if (position_ >= rows_.size()) throw NoCurrentRow();
      ++position_;
    });
  }
  Variant Field(std::string_view name) const override {
    return Guard([&] {
      RequireOpen();
      const size_t i = IndexOf(name);
      if (position_ >= rows_.size()) throw NoCurrentRow();
      return rows_[position_][i];
    });
  }
  void SetField(std::string_view, Variant) override {
    Guard([&] { ReadOnly(); });
  }
  void Update() override {
    Guard([&] { ReadOnly(); });
  }
  void Close() override {
    closed_ = true;
    rows_.clear();
  }

 private:
  void ReadOnly() const {
    RequireOpen();
    throw Error(kErrNotAllowed, "Operation is not allowed: the recordset is read-only", kSource);
  }

  std::vector<std::vector<Variant>> rows_;
  size_t position_ = 0;
};

// The rows of one table, read page by page in key order; changes to the
// current row are saved by its key under an optimistic check of every value
// read. Rows changed so that they no longer match the condition are not
// visited again, since a page starts after the last key seen.
class UpdatableRecordset : public RecordsetBase {
 public:
  UpdatableRecordset(std::shared_ptr<Connection> connection, const std::string& sql)
      : RecordsetBase(std::move(connection)) {
    Parse(sql);
    Backend& backend = connection_->backend();
    const std::vector<std::string> key = backend.PrimaryKey(table_);
    if (key.size() != 1) {
      throw Error(kErrNotAllowed,
                  "Operation is not allowed: an updatable recordset needs a table with a "
                  "one-column key, and " +
                      table_ + " has none",
                  kSource);
    }
    key_ = key[0];
    FetchPage(std::nullopt);
    no_rows_ = page_.empty();
  }

  bool Bof() const override {
    return Guard([&] {
      RequireOpen();
      return no_rows_;
    });
  }
  bool Eof() const override {
    return Guard([&] {
      RequireOpen();
      return index_ >= page_.size();
    });
  }
  void MoveFirst() override {
    Guard([&] {
      RequireOpen();
      SavePending();
      if (page_number_ != 0) FetchPage(std::nullopt);
      index_ = 0;
      no_rows_ = page_.empty();
    });
  }
  void MoveNext() override {
    Guard([&] {
      RequireOpen();
      if (index_ >= page_.size()) throw NoCurrentRow();
      SavePending();
      ++index_;
      if (index_ == page_.size() && page_.size() == static_cast<size_t>(kPageRows)) {
        const Variant last_key = page_.back().back();
        FetchPage(last_key);
      }
    });
  }
  Variant Field(std::string_view name) const override {
    return Guard([&] {
      RequireOpen();
      const size_t i = IndexOf(name);
      if (index_ >= page_.size()) throw NoCurrentRow();
      return pending_[i] ? *pending_[i] : page_[index_][i];
    });
  }
  void SetField(std::string_view name, Variant value) override {
    Guard([&] {
      RequireOpen();
      const size_t i = IndexOf(name);
      if (index_ >= page_.size()) throw NoCurrentRow();
      pending_[i] = std::move(value);
    });
  }
  void Update() override {
    Guard([&] {
      RequireOpen();
      if (index_ >= page_.size()) throw NoCurrentRow();
      SavePending();
    });
  }
  void Close() override {
    closed_ = true;  // changes not saved by Update are dropped
    page_.clear();
    pending_.assign(columns_.size(), std::nullopt);
  }

 private:
  void Parse(const std::string& sql) {
    const Error not_allowed(kErrNotAllowed,
                            "Operation is not allowed: an updatable recordset needs a query of "
                            "the form SELECT columns FROM table [WHERE condition]",
                            kSource);
    QueryText text(sql);
    if (!text.Keyword("SELECT")) throw not_allowed;
    size_t from = text.Find("FROM");
    if (from == std::string::npos) throw not_allowed;
    const std::string list = sql.substr(text.pos(), from - text.pos());
    text.Seek(from);
    text.Keyword("FROM");
    std::optional<std::string> table = text.Identifier();
    if (!table) throw not_allowed;
    table_ = *table;
    if (text.Keyword("WHERE")) {
      condition_ = text.Rest();
      if (condition_->empty()) throw not_allowed;
    } else if (!text.Rest().empty()) {
      throw not_allowed;
    }
    size_t begin = 0;
    while (begin <= list.size()) {
      size_t comma = list.find(',', begin);
      if (comma == std::string::npos) comma = list.size();
      QueryText item(list.substr(begin, comma - begin));
      std::optional<std::string> name = item.Identifier();
      if (!name || !item.Rest().empty()) {
        throw Error(kErrNotAllowed,
                    "Operation is not allowed: an updatable recordset selects plain column "
                    "names only",
                    kSource);
      }
      columns_.push_back(*name);
      begin = comma + 1;
    }
    pending_.assign(columns_.size(), std::nullopt);
  }

  // Reads the page of rows after `after_key` (the first page when nullopt).
  // Each row holds the selected columns and, last, the key.
  void FetchPage(const std::optional<Variant>& after_key) {
    Backend& backend = connection_->backend();
    std::string sql = "SELECT ";
    for (const std::string& column : columns_) sql += column + ", ";
    sql += key_ + " FROM " + table_;
    std::vector<Variant> values;
    if (condition_) sql += " WHERE (" + *condition_ + ")";
    if (after_key) {
      sql += std::string(condition_ ? " AND " : " WHERE ") + key_ + " > " + backend.Placeholder(1);
      values.push_back(*after_key);
    }
    sql = backend.FirstRows(sql + " ORDER BY " + key_, kPageRows);
    std::vector<std::vector<Variant>> rows;
    Traced(*connection_, sql, [&] {
      std::unique_ptr<RowCursor> cursor = backend.QueryBound(sql, values);
      std::vector<Variant> row;
      while (cursor->Next(row)) rows.push_back(row);
    });
    page_ = std::move(rows);
    page_number_ = after_key ? page_number_ + 1 : 0;
    index_ = 0;
    pending_.assign(columns_.size(), std::nullopt);
  }

  // Writes the changed fields of the current row, provided that the row still
  // holds every value read; "The row was changed by another user" otherwise.
  void SavePending() {
    std::vector<size_t> changed;
    for (size_t i = 0; i < pending_.size(); ++i) {
      if (pending_[i]) changed.push_back(i);
    }
    if (changed.empty() || index_ >= page_.size()) return;
    Backend& backend = connection_->backend();
    std::vector<Variant>& row = page_[index_];
    std::vector<Variant> values;
    std::string sql = "UPDATE " + table_ + " SET ";
    for (size_t k = 0; k < changed.size(); ++k) {
      values.push_back(*pending_[changed[k]]);
      sql += (k ? ", " : "") + columns_[changed[k]] + " = " +
             backend.Placeholder(static_cast<int>(values.size()));
    }
    values.push_back(row.back());
    sql += " WHERE " + key_ + " = " + backend.Placeholder(static_cast<int>(values.size()));
    for (size_t i = 0; i < columns_.size(); ++i) {
      values.push_back(row[i]);
      sql += " AND " + backend.NullSafeEquals(columns_[i],
                                              backend.Placeholder(static_cast<int>(values.size())));
    }
    const int64_t count =
        Traced(*connection_, sql, [&] { return backend.ExecuteBound(sql, values); });
    if (count == 0) {
      throw Error(kErrRowChanged,
                  "The row was changed by another user since it was read; the change was not "
                  "saved",
                  kSource);
    }
    for (size_t i : changed) {
      if (text::EqualsIgnoreCase(columns_[i], key_)) row.back() = *pending_[i];
      row[i] = std::move(*pending_[i]);
      pending_[i].reset();
    }
  }

  std::string table_;
  std::string key_;
  std::optional<std::string> condition_;
  std::vector<std::vector<Variant>> page_;
  std::vector<std::optional<Variant>> pending_;
  size_t page_number_ = 0;
  size_t index_ = 0;
  bool no_rows_ = true;
};

// Fields(name).Value as a late-bound object.
class FieldObject : public Dispatch {
 public:
  FieldObject(std::shared_ptr<Recordset> recordset, std::string name)
      : recordset_(std::move(recordset)), name_(std::move(name)) {}

  Variant Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) override {
    static const DispatchTable<FieldObject> table({
        {"Value", InvokeKind::kPropertyGet,
         [](FieldObject& f, Args&) { return f.recordset_->Field(f.name_); }},
        {"Value", InvokeKind::kPropertyPut,
         [](FieldObject& f, Args& a) {
           f.recordset_->SetField(f.name_, a.Raw(a.size() - 1));
           return Variant();
         }},
        {"", InvokeKind::kPropertyGet,
         [](FieldObject& f, Args&) { return f.recordset_->Field(f.name_); }},
        {"", InvokeKind::kPropertyPut,
         [](FieldObject& f, Args& a) {
           f.recordset_->SetField(f.name_, a.Raw(a.size() - 1));
           return Variant();
         }},
        {"Name", InvokeKind::kPropertyGet,
         [](FieldObject& f, Args&) { return Variant::String(f.name_); }},
    });
    return table.Invoke(*this, member, kind, args);
  }

 private:
  std::shared_ptr<Recordset> recordset_;
  std::string name_;
};

Variant FieldByArgument(Recordset& r, Args& a) {
  const Variant& which = a.Raw(0);
  const std::vector<std::string> names = r.FieldNames();
  const auto type = which.type();
  std::string name;
  if (type == Variant::Type::kInteger || type == Variant::Type::kLong ||
      type == Variant::Type::kDouble) {
    const int32_t index = which.ToLong();
    if (index < 0 || static_cast<size_t>(index) >= names.size()) {
      throw Error(kErrItemNotFound,
                  "Item cannot be found in the collection corresponding to the requested ordinal",
                  kSource);
    }
    name = names[static_cast<size_t>(index)];
  } else {
    name = which.ToString();
    bool known = false;
    for (const std::string& n : names) known = known || text::EqualsIgnoreCase(n, name);
    if (!known) {
      throw Error(
          kErrItemNotFound,
          "Item cannot be found in the collection corresponding to the requested name: " + name,
          kSource);
    }
  }
  return Variant::Object(std::make_shared<FieldObject>(r.shared_from_this(), name));
}

// The rows from the current one to the end, fields first, as GetRows gives
// them; the recordset is left at its end.
Variant GetRows(Recordset& r) {
  const std::vector<std::string> names = r.FieldNames();
  std::vector<std::vector<Variant>> rows;
  while (!r.Eof()) {
    std::vector<Variant> row;
    for (const std::string& name : names) row.push_back(r.Field(name));
    rows.push_back(std::move(row));
    r.MoveNext();
  }
  auto array = std::make_shared<SafeArray>(
      std::vector<SafeArray::Bounds>{SafeArray::Bounds::Of(0, static_cast<int64_t>(names.size())),
                                     SafeArray::Bounds::Of(0, static_cast<int64_t>(rows.size()))});
  for (size_t j = 0; j < rows.size(); ++j) {
    for (size_t i = 0; i < names.size(); ++i)
      array->At(static_cast<int32_t>(i), static_cast<int32_t>(j)) = rows[j][i];
  }
  return Variant::Array(array);
}

}  // namespace

std::shared_ptr<Recordset> OpenStaticRecordset(std::shared_ptr<Connection> connection,
                                               const Statement& query, bool shaped) {
  return std::make_shared<StaticRecordset>(std::move(connection), query, shaped);
}

std::shared_ptr<Recordset> OpenUpdatableRecordset(std::shared_ptr<Connection> connection,
                                                  const std::string& sql) {
  return std::make_shared<UpdatableRecordset>(std::move(connection), sql);
}

Variant Recordset::Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) {
  static const DispatchTable<Recordset> table({
      {"Fields", InvokeKind::kMethod, FieldByArgument, {"Index"}},
      {"Collect",
       InvokeKind::kPropertyGet,
       [](Recordset& r, Args& a) { return r.Field(a.String(0)); },
       {"Index"}},
      {"BOF", InvokeKind::kPropertyGet,
       [](Recordset& r, Args&) { return Variant::Boolean(r.Bof()); }},
      {"EOF", InvokeKind::kPropertyGet,
       [](Recordset& r, Args&) { return Variant::Boolean(r.Eof()); }},
      {"MoveFirst", InvokeKind::kMethod,
       [](Recordset& r, Args&) {
         r.MoveFirst();
         return Variant();
       }},
      {"MoveNext", InvokeKind::kMethod,
       [](Recordset& r, Args&) {
         r.MoveNext();
         return Variant();
       }},
      {"Update", InvokeKind::kMethod,
       [](Recordset& r, Args&) {
         r.Update();
         return Variant();
       }},
      {"Close", InvokeKind::kMethod,
       [](Recordset& r, Args&) {
         r.Close();
         return Variant();
       }},
      {"GetRows", InvokeKind::kMethod, [](Recordset& r, Args&) { return GetRows(r); }},
  });
  return table.Invoke(*this, member, kind, args);
}

}  // namespace kvt710::db
