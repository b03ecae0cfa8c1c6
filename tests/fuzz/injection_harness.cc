#include "injection_harness.h"

#include <sqlite3.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <set>
#include <stdexcept>

#include "batch/KVT710C3.h"
#include "batch/statement_queue.h"
#include "catalogue/catalogue.h"
#include "component/server.h"
#include "platform/automation/error.h"
#include "platform/automation/safe_array.h"
#include "platform/db/connection.h"
#include "platform/db/errors.h"
#include "platform/db/product_schema.h"
#include "platform/db/sqlite/date_collation.h"
#include "platform/settings/settings.h"
#include "platform/sibling/prw520.h"
#include "platform/text/ascii.h"

namespace kvt710::fuzz {
namespace fs = std::filesystem;

namespace {

std::function<void(const std::string&)>& Handler() {
  static std::function<void(const std::string&)> handler;
  return handler;
}

bool SameName(std::string_view a, std::string_view b) {
  return text::EqualsIgnoreCase(a, b);
}

// A statement for a message: at most 240 bytes, control bytes escaped.
std::string Shown(std::string_view sql) {
  std::string out;
  for (size_t i = 0; i < sql.size() && i < 240; ++i) {
    const auto c = static_cast<unsigned char>(sql[i]);
    if (c < 0x20 || c == 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (sql.size() > 240) out += "... (" + std::to_string(sql.size()) + " bytes)";
  return out;
}

// Valid UTF-8 without NUL, checked here independently of the library.
bool IsUtf8WithoutNul(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c == 0) return false;
    if (c < 0x80) {
      ++i;
      continue;
    }
    int extra;
    uint32_t code;
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1, code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2, code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3, code = c & 0x07;
    } else {
      return false;
    }
    if (i + static_cast<size_t>(extra) >= s.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto n = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
      if ((n & 0xC0) != 0x80) return false;
      code = (code << 6) | (n & 0x3F);
    }
    if ((extra == 2 && code < 0x800) || (extra == 3 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF))
      return false;
    i += static_cast<size_t>(extra) + 1;
  }
  return true;
}

std::string TrimSpaces(std::string_view s) {
  const size_t first = s.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(s.substr(first, s.find_last_not_of(' ') - first + 1));
}

// ---------------------------------------------------------------------------
// The statement text, token by token, as SQL reads it.

struct Token {
  enum Kind { kWord, kNumber, kString, kPunct, kEnd, kBad } kind;
  std::string text;  // a string's value without its quotes; for kBad the reason
};

bool IsWordStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}
bool IsDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}
bool IsWordChar(unsigned char c) {
  return IsWordStart(c) || IsDigit(c) || c == '$' || c >= 0x80;
}

std::vector<Token> Lex(std::string_view s) {
  std::vector<Token> tokens;
  size_t i = 0;
  const size_t n = s.size();
  auto at = [&](size_t k) -> unsigned char { return k < n ? static_cast<unsigned char>(s[k]) : 0; };
  auto bad = [&](std::string why) {
    tokens.push_back({Token::kBad, std::move(why) + " at byte " + std::to_string(i)});
    return tokens;
  };
  while (true) {
    while (i < n && (s[i] == ' ' || s[i] == '\t' || s[i] == '\n' || s[i] == '\r' || s[i] == '\f'))
      ++i;
    if (i >= n) break;
    const unsigned char c = at(i);
    if ((c == '-' && at(i + 1) == '-') || (c == '/' && at(i + 1) == '*')) return bad("a comment");
    if (IsWordStart(c)) {
      const size_t start = i;
      while (i < n && IsWordChar(at(i))) ++i;
      tokens.push_back({Token::kWord, std::string(s.substr(start, i - start))});
    } else if (IsDigit(c) || (c == '.' && IsDigit(at(i + 1)))) {
      const size_t start = i;
      while (IsDigit(at(i))) ++i;
      if (at(i) == '.') {
        ++i;
        while (IsDigit(at(i))) ++i;
      }
      if (at(i) == 'e' || at(i) == 'E') {
        ++i;
        if (at(i) == '+' || at(i) == '-') ++i;
        if (!IsDigit(at(i))) return bad("a broken exponent");
        while (IsDigit(at(i))) ++i;
      }
      if (IsWordChar(at(i)) || at(i) == '.') return bad("a number run into other characters");
      tokens.push_back({Token::kNumber, std::string(s.substr(start, i - start))});
    } else if (c == '\'') {
      std::string value;
      ++i;
      while (true) {
        if (i >= n) return bad("an unterminated string");
        if (s[i] == '\'') {
          if (at(i + 1) == '\'') {
            value += '\'';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        value += s[i++];
      }
      tokens.push_back({Token::kString, std::move(value)});
    } else if (c == '<' && at(i + 1) == '>') {
      tokens.push_back({Token::kPunct, "<>"});
      i += 2;
    } else if (std::string_view("(),=*+-;").find(static_cast<char>(c)) != std::string_view::npos) {
      tokens.push_back({Token::kPunct, std::string(1, static_cast<char>(c))});
      ++i;
    } else {
      return bad("an unexpected character");
    }
  }
  tokens.push_back({Token::kEnd, {}});
  return tokens;
}

class Cursor {
 public:
  explicit Cursor(const std::vector<Token>& tokens) : tokens_(tokens) {}

  const Token& Peek() const { return tokens_[std::min(pos_, tokens_.size() - 1)]; }
  bool Word(std::string_view word) {
    if (Peek().kind != Token::kWord || !SameName(Peek().text, word)) return false;
    ++pos_;
    return true;
  }
  bool Punct(std::string_view punct) {
    if (Peek().kind != Token::kPunct || Peek().text != punct) return false;
    ++pos_;
    return true;
  }
  bool Name(std::string* name) {
    if (Peek().kind != Token::kWord) return false;
    *name = Peek().text;
    ++pos_;
    return true;
  }
  // A number, optionally signed; its text without blanks.
  bool Number(std::string* text) {
    const size_t start = pos_;
    std::string sign;
    if (Peek().kind == Token::kPunct && (Peek().text == "+" || Peek().text == "-")) {
      sign = Peek().text;
      ++pos_;
    }
    if (Peek().kind != Token::kNumber) {
      pos_ = start;
      return false;
    }
    *text = sign + Peek().text;
    ++pos_;
    return true;
  }
  // One literal: a string, Null or a number.
  bool Literal() {
    if (Peek().kind == Token::kString) {
      ++pos_;
      return true;
    }
    if (Word("Null")) return true;
    std::string ignored;
    return Number(&ignored);
  }
  bool End() const { return Peek().kind == Token::kEnd; }
  std::string Where() const {
    const Token& t = Peek();
    switch (t.kind) {
      case Token::kEnd:
        return "the end";
      case Token::kBad:
        return t.text;
      case Token::kString:
        return "a string literal";
      default:
        return "\"" + Shown(t.text) + "\"";
    }
  }

 private:
  const std::vector<Token>& tokens_;
  size_t pos_ = 0;
};

bool MatchWhere(Cursor& c, const std::vector<std::string>& keys, std::string* why) {
  for (size_t k = 0; k < keys.size(); ++k) {
    if (!c.Word(k == 0 ? "Where" : "And") || !c.Word(keys[k]) || !c.Punct("=") || !c.Literal()) {
      *why = "where clause on " + keys[k] + " broken at " + c.Where();
      return false;
    }
  }
  return true;
}

bool MatchEnd(Cursor& c, std::string* why) {
  if (c.End()) return true;
  *why = "text goes on at " + c.Where();
  return false;
}

bool MatchInsert(Cursor& c, const Expected& e, std::string* why) {
  if (!c.Word("Insert") || !c.Word("Into") || !c.Word(e.table) || !c.Punct("(")) {
    *why = "no Insert Into " + e.table + "( at " + c.Where();
    return false;
  }
  for (size_t k = 0; k < e.columns.size(); ++k) {
    if ((k > 0 && !c.Punct(",")) || !c.Word(e.columns[k])) {
      *why = "column list differs at " + e.columns[k];
      return false;
    }
  }
  if (!c.Punct(")") || !c.Word("Values") || !c.Punct("(")) {
    *why = "no ) Values ( after the columns, at " + c.Where();
    return false;
  }
  for (size_t k = 0; k < e.columns.size(); ++k) {
    if ((k > 0 && !c.Punct(",")) || !c.Literal()) {
      *why = "value of " + e.columns[k] + " is not one literal, at " + c.Where();
      return false;
    }
  }
  if (!c.Punct(")")) {
    *why = "values go on after the last column, at " + c.Where();
    return false;
  }
  return MatchEnd(c, why);
}

bool MatchUpdate(Cursor& c, const Expected& e, Matched* m, std::string* why) {
  if (!c.Word("Update") || !c.Word(e.table) || !c.Word("Set")) {
    *why = "no Update " + e.table + " Set at " + c.Where();
    return false;
  }
  std::set<std::string> seen;
  do {
    std::string name;
    if (!c.Name(&name)) {
      *why = "no column name at " + c.Where();
      return false;
    }
    auto known = std::find_if(e.columns.begin(), e.columns.end(),
                              [&](const std::string& col) { return SameName(col, name); });
    if (known == e.columns.end()) {
      *why = "sets " + name + ", not a column it writes";
      return false;
    }
    if (!seen.insert(*known).second) {
      *why = "sets " + name + " twice";
      return false;
    }
    if (!c.Punct("=") || !c.Literal()) {
      *why = "value of " + name + " is not one literal, at " + c.Where();
      return false;
    }
    m->set_columns.push_back(*known);
  } while (c.Punct(","));
  return MatchWhere(c, e.keys, why) && MatchEnd(c, why);
}

bool MatchDelete(Cursor& c, const Expected& e, std::string* why) {
  std::string key;
  if (!c.Word("Delete") || !c.Word("From") || !c.Word(e.table) || !c.Word("Where") ||
      !c.Word(e.keys.at(0)) || !c.Punct("=") || !c.Number(&key)) {
    *why = "no Delete From " + e.table + " Where " + e.keys.at(0) + "=number, at " + c.Where();
    return false;
  }
  return MatchEnd(c, why);
}

bool MatchCount(Cursor& c, const Expected& e, std::string* why) {
  if (!c.Word("Select") || !c.Word("Count") || !c.Punct("(") || !c.Punct("*") || !c.Punct(")") ||
      !c.Word("As") || !c.Word("CNT") || !c.Word("From") || !c.Word(e.table)) {
    *why = "no Select Count(*) As CNT From " + e.table + " at " + c.Where();
    return false;
  }
  return MatchWhere(c, e.keys, why) && MatchEnd(c, why);
}

// Update CBASE Set CUBS_FAMILY_CNT= (Select Count(*) From CBASE Where
// CUBS_FAMILY_KEY=k And CUBS_UNIQUE_KEY<>k And CUBS_DATA_FLG='0') Where CUBS_UNIQUE_KEY=k
bool MatchFamilyCount(Cursor& c, Matched* m, std::string* why) {
  std::string k1, k2, k3;
  const bool ok = c.Word("Update") && c.Word("CBASE") && c.Word("Set") &&
                  c.Word("CUBS_FAMILY_CNT") && c.Punct("=") && c.Punct("(") && c.Word("Select") &&
                  c.Word("Count") && c.Punct("(") && c.Punct("*") && c.Punct(")") &&
                  c.Word("From") && c.Word("CBASE") && c.Word("Where") &&
                  c.Word("CUBS_FAMILY_KEY") && c.Punct("=") && c.Number(&k1) && c.Word("And") &&
                  c.Word("CUBS_UNIQUE_KEY") && c.Punct("<>") && c.Number(&k2) && c.Word("And") &&
                  c.Word("CUBS_DATA_FLG") && c.Punct("=") && c.Peek().kind == Token::kString &&
                  c.Peek().text == "0";
  if (!ok) {
    *why = "not the family count statement, at " + c.Where();
    return false;
  }
  c.Literal();
  if (!c.Punct(")") || !c.Word("Where") || !c.Word("CUBS_UNIQUE_KEY") || !c.Punct("=") ||
      !c.Number(&k3)) {
    *why = "family count statement broken at " + c.Where();
    return false;
  }
  if (k1 != k2 || k2 != k3) {
    *why = "family count statement names three different keys";
    return false;
  }
  m->set_columns = {"CUBS_FAMILY_CNT"};
  return MatchEnd(c, why);
}

// ---------------------------------------------------------------------------
// The writers as data.

template <class P>
std::vector<std::string> ColumnNames(const sql::Table<P>& table) {
  std::vector<std::string> names;
  for (const auto& column : table.columns) names.push_back(column.name);
  return names;
}

// A whole-number parameter from its text: the number when it is a plain
// 32-bit integer, else 0.
int32_t ParseLong(const std::string& text) {
  const std::string t = TrimSpaces(text);
  if (t.empty() || t.size() > 11) return 0;
  size_t i = (t[0] == '+' || t[0] == '-') ? 1 : 0;
  if (i == t.size()) return 0;
  for (size_t k = i; k < t.size(); ++k)
    if (!IsDigit(static_cast<unsigned char>(t[k]))) return 0;
  const long long value = std::stoll(t);
  return value < INT32_MIN || value > INT32_MAX ? 0 : static_cast<int32_t>(value);
}

template <class P>
Writer MakeWriter(std::string name, const sql::Table<P>& table,
                  const std::vector<sql::Param<P>>& params, int32_t (KVT710C3::*method)(const P&),
                  std::vector<Expected> queued, std::vector<Expected> sent = {}) {
  using K = typename sql::Source<P>::Kind;
  // How each parameter is filled: its slot, or the slots of its elements.
  struct Binding {
    const sql::Param<P>* param;
    size_t slot = 0;
    std::vector<size_t> element_slots;
  };
  Writer w;
  w.name = name;
  w.queued = std::move(queued);
  w.sent = std::move(sent);
  std::vector<Binding> bindings;
  for (const sql::Param<P>& param : params) {
    Binding b{&param, 0, {}};
    switch (param.target.kind) {
      case K::kText: {
        bool key = false;
        for (const auto& column : table.columns)
          if (column.source.kind == K::kText && column.source.text == param.target.text &&
              column.form == sql::Form::kKey)
            key = true;
        b.slot = w.slots.size();
        w.slots.push_back({param.name, 0, 0, key, false});
        break;
      }
      case K::kNumber:
        b.slot = w.slots.size();
        w.slots.push_back({param.name, 0, 0, false, true});
        break;
      case K::kArray:
        for (const auto& column : table.columns) {
          if ((column.source.kind == K::kElement || column.source.kind == K::kElement2) &&
              column.source.array == param.target.array) {
            b.element_slots.push_back(w.slots.size());
            w.slots.push_back({param.name, column.source.i, column.source.j, false, false});
          }
        }
        break;
      default:
        break;
    }
    bindings.push_back(std::move(b));
  }
  for (const auto& column : table.columns) {
    if (catalogue::TypeOf(column.form) != catalogue::ColumnType::kText) continue;
    for (const Binding& b : bindings) {
      if (column.source.kind == K::kText && b.param->target.kind == K::kText &&
          column.source.text == b.param->target.text) {
        w.text_columns.push_back({column.name, column.form, b.slot});
      }
      for (size_t s : b.element_slots) {
        if ((column.source.kind == K::kElement || column.source.kind == K::kElement2) &&
            column.source.array == b.param->target.array && column.source.i == w.slots[s].i &&
            column.source.j == w.slots[s].j) {
          w.text_columns.push_back({column.name, column.form, s});
        }
      }
    }
  }
  const std::vector<Slot> slots = w.slots;
  auto make_array = [slots](const Binding& b, const std::vector<std::string>& values) {
    int32_t rows = 0, cols = 0;
    for (size_t s : b.element_slots) {
      rows = std::max(rows, slots[s].i);
      cols = std::max(cols, slots[s].j);
    }
    std::vector<SafeArray::Bounds> dims = {{1, rows}};
    if (cols > 0) dims.push_back({1, cols});
    auto array = std::make_shared<SafeArray>(dims);
    for (size_t s : b.element_slots) {
      Variant& element = cols > 0 ? array->At(slots[s].i, slots[s].j) : array->At(slots[s].i);
      element = Variant::String(values[s]);
    }
    return array;
  };
  w.typed = [bindings, make_array, method](KVT710C3& batch, const std::vector<std::string>& v) {
    P p;
    for (const Binding& b : bindings) {
      switch (b.param->target.kind) {
        case K::kText:
          p.*(b.param->target.text) = v[b.slot];
          break;
        case K::kNumber:
          p.*(b.param->target.number) = ParseLong(v[b.slot]);
          break;
        case K::kArray:
          p.*(b.param->target.array) = make_array(b, v);
          break;
        default:
          break;
      }
    }
    try {
      return (batch.*method)(p);
    } catch (const Error&) {
      return kRaised;
    }
  };
  w.late_bound = [bindings, make_array, name](Dispatch& batch, const std::vector<std::string>& v) {
    std::vector<Variant> args;
    for (const Binding& b : bindings) {
      if (b.param->target.kind == K::kArray)
        args.push_back(Variant::Array(make_array(b, v)));
      else
        args.push_back(Variant::String(v[b.slot]));
    }
    try {
      return batch.Call(name, std::move(args)).ToLong();
    } catch (const Error&) {
      return kRaised;
    }
  };
  return w;
}

template <class P>
Expected Insert(const sql::Table<P>& table) {
  return {Shape::kInsert, table.name, ColumnNames(table), {}};
}

std::vector<Writer> MasterWriters() {
  const catalogue::TableInfo& base = catalogue::Base();
  const catalogue::TableInfo& mente = catalogue::Mente();
  const Expected base_update{Shape::kUpdate, base.name, ColumnNames(catalogue::BaseTable()),
                             base.row_key};
  const Expected mente_update{Shape::kUpdate, mente.name, ColumnNames(catalogue::MenteTable()),
                              mente.row_key};
  return {
      MakeWriter("SetBaseData", catalogue::BaseTable(), catalogue::BaseParamList(),
                 &KVT710C3::SetBaseData, {Insert(catalogue::BaseTable()), base_update},
                 {{Shape::kCount, base.name, {}, base.row_key}}),
      MakeWriter("SetMENTEData", catalogue::MenteTable(), catalogue::MenteParamList(),
                 &KVT710C3::SetMENTEData, {Insert(catalogue::MenteTable()), mente_update},
                 {{Shape::kCount, mente.name, {}, mente.row_key}}),
  };
}

std::vector<Writer> HistoryWriters() {
  return {
      MakeWriter("SetG_BaseData", catalogue::GlassesHeaderTable(),
                 catalogue::GlassesHeaderParamList(), &KVT710C3::SetG_BaseData,
                 {Insert(catalogue::GlassesHeaderTable())}),
      MakeWriter("SetG_DTLData", catalogue::GlassesDetailTable(),
                 catalogue::GlassesDetailParamList(), &KVT710C3::SetG_DTLData,
                 {Insert(catalogue::GlassesDetailTable())}),
      MakeWriter("SetC_BaseData", catalogue::ContactHeaderTable(),
                 catalogue::ContactHeaderParamList(), &KVT710C3::SetC_BaseData,
                 {Insert(catalogue::ContactHeaderTable())}),
      MakeWriter("SetC_DTLData", catalogue::ContactDetailTable(),
                 catalogue::ContactDetailParamList(), &KVT710C3::SetC_DTLData,
                 {Insert(catalogue::ContactDetailTable())}),
      MakeWriter("SetH_BaseData", catalogue::HearingHeaderTable(),
                 catalogue::HearingHeaderParamList(), &KVT710C3::SetH_BaseData,
                 {Insert(catalogue::HearingHeaderTable())}),
      MakeWriter("SetH_DTLData", catalogue::HearingDetailTable(),
                 catalogue::HearingDetailParamList(), &KVT710C3::SetH_DTLData,
                 {Insert(catalogue::HearingDetailTable())}),
      MakeWriter("SetUriageData", catalogue::SalesLineTable(), catalogue::SalesLineParamList(),
                 &KVT710C3::SetUriageData, {Insert(catalogue::SalesLineTable())}),
      MakeWriter("SetSYOKANData", catalogue::CommentTable(), catalogue::CommentParamList(),
                 &KVT710C3::SetSYOKANData, {Insert(catalogue::CommentTable())}),
  };
}

// The family methods, and Execute and DelExecute running a queue that
// FamilyUpdate filled. Slots: UniqueKey, DaihyoKey, KazokuKey.
std::vector<Writer> FamilyWriters() {
  const std::vector<Slot> slots = {{"UniqueKey", 0, 0, true, false},
                                   {"DaihyoKey", 0, 0, true, false},
                                   {"KazokuKey", 0, 0, true, false}};
  const catalogue::TableInfo& base = catalogue::Base();
  const Expected count{Shape::kFamilyCount, base.name, {"CUBS_FAMILY_CNT"}, {}};
  const Expected move{Shape::kUpdate, base.name, {"CUBS_FAMILY_KEY"}, base.row_key};
  const Expected mark{Shape::kUpdate, base.name, {"CUBS_DATA_FLG"}, base.row_key};
  std::vector<Expected> execute_sends = {move, count};
  for (const catalogue::TableInfo* table : catalogue::HistoryTables())
    execute_sends.push_back({Shape::kDelete, table->name, {}, {table->customer_key}});
  auto guarded = [](auto&& body) -> int32_t {
    try {
      return body();
    } catch (const Error&) {
      return kRaised;
    }
  };
  auto s = [](const std::string& v) { return Variant::String(v); };

  Writer count_writer{"FamilyCnt_Update", slots, {count}, {}, false, {}, {}, {}};
  count_writer.typed = [=](KVT710C3& b, const std::vector<std::string>& v) {
    return guarded([&] { return b.FamilyCnt_Update(v[0]); });
  };
  count_writer.late_bound = [=](Dispatch& d, const std::vector<std::string>& v) {
    return guarded([&] { return d.Call("FamilyCnt_Update", {s(v[0])}).ToLong(); });
  };

  Writer update_writer{"FamilyUpdate", slots, {move, count}, {}, false, {}, {}, {}};
  update_writer.typed = [=](KVT710C3& b, const std::vector<std::string>& v) {
    return guarded([&] { return b.FamilyUpdate(v[1], v[2]); });
  };
  update_writer.late_bound = [=](Dispatch& d, const std::vector<std::string>& v) {
    return guarded([&] { return d.Call("FamilyUpdate", {s(v[1]), s(v[2])}).ToLong(); });
  };

  Writer execute{"Execute", slots, {move, count}, execute_sends, true, {}, {}, {}};
  execute.typed = [=](KVT710C3& b, const std::vector<std::string>& v) {
    b.FamilyUpdate(v[1], v[2]);
    return guarded([&] { return b.Execute(v[0]); });
  };
  execute.late_bound = [=](Dispatch& d, const std::vector<std::string>& v) {
    guarded([&] { return d.Call("FamilyUpdate", {s(v[1]), s(v[2])}).ToLong(); });
    return guarded([&] { return d.Call("Execute", {s(v[0])}).ToLong(); });
  };

  Writer del_execute{"DelExecute", slots, {move, count}, {mark, move, count}, true, {}, {}, {}};
  del_execute.typed = [=](KVT710C3& b, const std::vector<std::string>& v) {
    b.FamilyUpdate(v[1], v[2]);
    return guarded([&] { return b.DelExecute(v[0]); });
  };
  del_execute.late_bound = [=](Dispatch& d, const std::vector<std::string>& v) {
    guarded([&] { return d.Call("FamilyUpdate", {s(v[1]), s(v[2])}).ToLong(); });
    return guarded([&] { return d.Call("DelExecute", {s(v[0])}).ToLong(); });
  };
  return {count_writer, update_writer, execute, del_execute};
}

// ---------------------------------------------------------------------------
// What a call sent to a database, read from the SQL trace.

struct SentStatement {
  std::string sql;
  bool ok = true;
};

class TraceCapture {
 public:
  explicit TraceCapture(fs::path file) : file_(std::move(file)) {
    if (file_.empty()) return;
    if (const char* old = std::getenv("KVT710_TRACE_SQL")) previous_ = old;
    std::ofstream(file_, std::ios::trunc);
    setenv("KVT710_TRACE_SQL", file_.c_str(), 1);
  }
  ~TraceCapture() { Restore(); }

  std::vector<SentStatement> Collect() {
    Restore();
    std::vector<SentStatement> sent;
    if (file_.empty()) return sent;
    std::ifstream in(file_, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
      const nlohmann::json entry = nlohmann::json::parse(line);
      sent.push_back({entry.at("sql").get<std::string>(), entry.at("ok").get<bool>()});
    }
    return sent;
  }

 private:
  void Restore() {
    if (file_.empty() || restored_) return;
    restored_ = true;
    if (previous_)
      setenv("KVT710_TRACE_SQL", previous_->c_str(), 1);
    else
      unsetenv("KVT710_TRACE_SQL");
  }

  fs::path file_;
  std::optional<std::string> previous_;
  bool restored_ = false;
};

// The provider errors that reached an error reporter during a call.
class ReportedErrors {
 public:
  ReportedErrors()
      : handle_(ListenForReports([this](const Report& report) {
          for (const ReportedProviderError& e : report.errors)
            errors.push_back({e.number, e.description, e.sqlstate, e.source});
        })) {}
  std::vector<db::ProviderError> errors;

 private:
  std::shared_ptr<void> handle_;
};

// ---------------------------------------------------------------------------
// The local SQLite set-up of CheckInput.

struct LocalSetup {
  fs::path dir;
  std::unique_ptr<SqliteChecker> checker;
  Environment environment;

  LocalSetup() {
    RegisterServer();
    std::string pattern = (fs::temp_directory_path() / "kvt710-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) Violation("set-up: cannot create a temporary folder");
    dir = pattern;
    const std::string connection_string =
        "Provider=SQLite;Data Source=" + (dir / "shop.db").string();
    {
      auto connection = db::Connection::Create();
      connection->Open(connection_string + ";Mode=ReadWriteCreate");
      db::CreateProductSchema(*connection);
      SeedRows(*connection);
    }
    Settings settings(dir / "settings.ini");
    settings.Set(kCommonSection, "area", "1");
    settings.Set(kCommonSection, "DBPARMC", connection_string);
    // The system parameter object reads the settings at their usual place.
    if (std::getenv("KVT710_SETTINGS") == nullptr)
      setenv("KVT710_SETTINGS", settings.file().c_str(), 1);
    environment.batch = KVT710C3::Create(settings);
    if (environment.batch->DBStatus() != emDbNomal)
      Violation("set-up: the batch object did not open its database");
    environment.caller = db::Connection::Create();
    environment.caller->Open(connection_string);
    environment.batch->SetDBCon(environment.caller);
    environment.trace = dir / "trace.jsonl";
    checker = std::make_unique<SqliteChecker>(dir / "shop.db");
    environment.checker = checker.get();
  }

  ~LocalSetup() {
    environment = {};
    checker.reset();
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
};

}  // namespace

const char* FamilyName(Family family) {
  switch (family) {
    case Family::kMaster:
      return "master";
    case Family::kHistory:
      return "history";
    case Family::kFamily:
      return "family";
  }
  return "?";
}

void Violation(const std::string& what) {
  if (Handler()) Handler()(what);
  std::fprintf(stderr, "INJECTION PROPERTY VIOLATED: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

void SetViolationHandler(std::function<void(const std::string&)> handler) {
  Handler() = std::move(handler);
}

const std::vector<Writer>& Writers(Family family) {
  static const std::vector<Writer> master = MasterWriters();
  static const std::vector<Writer> history = HistoryWriters();
  static const std::vector<Writer> family_writers = FamilyWriters();
  switch (family) {
    case Family::kMaster:
      return master;
    case Family::kHistory:
      return history;
    case Family::kFamily:
      break;
  }
  return family_writers;
}

Input Decode(Family family, const uint8_t* data, size_t size) {
  const std::vector<Writer>& writers = Writers(family);
  Input input;
  input.writer = &writers[size > 0 ? data[0] % writers.size() : 0];
  const std::vector<Slot>& slots = input.writer->slots;
  for (const Slot& slot : slots) input.values.push_back(slot.key ? "1" : slot.number ? "0" : "");
  bool big_done = false;
  const std::string_view rest =
      size > 1 ? std::string_view(reinterpret_cast<const char*>(data + 1), size - 1)
               : std::string_view();
  size_t start = 0;
  while (start <= rest.size()) {
    size_t end = rest.find('\x1F', start);
    if (end == std::string_view::npos) end = rest.size();
    const std::string_view field = rest.substr(start, end - start);
    start = end + 1;
    if (field.empty()) continue;
    const auto selector = static_cast<unsigned char>(field[0]);
    std::string value(field.substr(1));
    std::string big;
    if (!big_done && value.rfind("\x1B"
                                 "BIG",
                                 0) == 0) {
      big_done = true;
      std::string unit = value.substr(4);
      if (unit.empty()) unit = "x";
      while (big.size() < (size_t{1} << 20)) big += unit;
      value = unit;
    }
    for (size_t k = 0; k < slots.size(); ++k) {
      const bool chosen = selector == 0xFE ||
                          (selector == 0xFF && !slots[k].key && !slots[k].number) ||
                          (selector < 0xFE && k == selector % slots.size());
      if (!chosen) continue;
      if (!big.empty()) {
        input.values[k] = std::move(big);  // the 1 MiB value goes to the first slot only
        big.clear();
      } else {
        input.values[k] = value;
      }
    }
  }
  return input;
}

std::optional<Matched> MatchShape(const std::string& sql, const std::vector<Expected>& allowed,
                                  std::string* why) {
  const std::vector<Token> tokens = Lex(sql);
  std::string reasons;
  for (const Expected& e : allowed) {
    Cursor c(tokens);
    Matched m;
    m.expected = &e;
    std::string reason;
    bool ok = false;
    switch (e.shape) {
      case Shape::kInsert:
        ok = MatchInsert(c, e, &reason);
        break;
      case Shape::kUpdate:
        ok = MatchUpdate(c, e, &m, &reason);
        break;
      case Shape::kDelete:
        ok = MatchDelete(c, e, &reason);
        break;
      case Shape::kCount:
        ok = MatchCount(c, e, &reason);
        break;
      case Shape::kFamilyCount:
        ok = MatchFamilyCount(c, &m, &reason);
        break;
    }
    if (ok) return m;
    reasons += (reasons.empty() ? "" : "; ") + reason;
  }
  if (allowed.empty()) reasons = "this call may send no statement";
  *why = reasons;
  return std::nullopt;
}

std::vector<ExpectedText> ExpectedTexts(const Writer& writer,
                                        const std::vector<std::string>& values) {
  std::vector<ExpectedText> texts;
  for (const Writer::TextColumn& column : writer.text_columns) {
    const std::string& value = values.at(column.slot);
    const std::string trimmed = TrimSpaces(value);
    ExpectedText t{column.column, std::nullopt, false};
    switch (column.form) {
      case sql::Form::kQuotedUnchanged:
        t.value = value;
        break;
      case sql::Form::kText:
      case sql::Form::kPlainText:
        if (!trimmed.empty()) t.value = trimmed;
        break;
      case sql::Form::kUntrimmedPhone:
        if (!trimmed.empty()) t.value = value;
        break;
      case sql::Form::kUntrimmedText:
        if (!value.empty()) t.value = value;
        break;
      case sql::Form::kQuotedNumber:
        t.value = trimmed;
        t.only_when_stored = true;
        break;
      default:
        continue;
    }
    texts.push_back(std::move(t));
  }
  return texts;
}

bool IsAcceptableFailure(const db::ProviderError& error) {
  if (error.sqlstate.size() == 5) {
    const std::string group = error.sqlstate.substr(0, 2);
    return group == "22" || group == "23" || group == "54";
  }
  if (error.source == "SQLite") {
    const int primary = error.number & 0xFF;
    return primary == SQLITE_TOOBIG || primary == SQLITE_CONSTRAINT || primary == SQLITE_MISMATCH;
  }
  return false;
}

Outcome Run(Environment& environment, Family family, const uint8_t* data, size_t size) {
  const Input input = Decode(family, data, size);
  const Writer& writer = *input.writer;
  KVT710C3& batch = *environment.batch;
  const std::string name = writer.name;
  if (environment.dispatch)
    environment.dispatch->Call("Initialize");
  else
    batch.Initialize();

  // Execute and DelExecute run on the caller connection, inside a
  // transaction that is rolled back before anything is checked.
  const bool transaction = writer.runs_statements && environment.caller;
  if (transaction) environment.caller->BeginTrans();
  std::vector<SentStatement> sent;
  std::vector<db::ProviderError> failures;
  int32_t result;
  {
    ReportedErrors reported;
    TraceCapture trace(environment.trace);
    result = environment.dispatch ? writer.late_bound(*environment.dispatch, input.values)
                                  : writer.typed(batch, input.values);
    sent = trace.Collect();
    failures = reported.errors;
  }
  if (transaction) {
    for (const db::ProviderError& e : environment.caller->errors().list()) failures.push_back(e);
    environment.caller->errors().Clear();
    environment.caller->RollbackTrans();
  }
  std::vector<std::string> queued;
  if (const StatementQueue* queue = batch.Queue()) queued = queue->items();

  Outcome outcome;
  const bool refused = result == -1 || result == kRaised;
  if (!refused && result != 0) Violation(name + " returned " + std::to_string(result));
  if (refused) {
    ++outcome.refused;
    if (!writer.runs_statements && !queued.empty())
      Violation(name + " refused but queued " + std::to_string(queued.size()) +
                " statement(s), the first: " + Shown(queued.front()));
    if (writer.runs_statements && !sent.empty() && sent.back().ok)
      Violation(name + " refused after running " + Shown(sent.back().sql));
  }

  // Every text that reached a database: its shape, then the database's view.
  for (size_t k = 0; k < sent.size(); ++k) {
    const SentStatement& s = sent[k];
    if (!s.ok) {
      const bool acceptable = k + 1 == sent.size() && refused &&
                              std::any_of(failures.begin(), failures.end(), IsAcceptableFailure);
      if (!acceptable) Violation(name + " sent a statement that failed: " + Shown(s.sql));
    }
    std::string why;
    const std::optional<Matched> shape = MatchShape(s.sql, writer.sent, &why);
    if (!shape)
      Violation(name + " sent a statement of no expected shape (" + why + "): " + Shown(s.sql));
    if (environment.checker) environment.checker->Check(s.sql, *shape, {});
    ++outcome.statements;
  }

  const std::vector<ExpectedText> texts = ExpectedTexts(writer, input.values);
  for (const std::string& sql : queued) {
    if (!IsUtf8WithoutNul(sql))
      Violation(name + " queued a text that is not UTF-8 without NUL: " + Shown(sql));
    std::string why;
    const std::optional<Matched> shape = MatchShape(sql, writer.queued, &why);
    if (!shape)
      Violation(name + " queued a statement of no expected shape (" + why + "): " + Shown(sql));
    if (environment.checker) environment.checker->Check(sql, *shape, texts);
    ++outcome.statements;
  }
  return outcome;
}

void SeedRows(db::Connection& connection) {
  connection.Execute(
      "Insert Into CBASE(CUBS_STORE_NO,CUBS_UNIQUE_KEY,CUBS_FAMILY_KEY,CUBS_DATA_FLG) Values "
      "('001',1,1,'0')");
  connection.Execute(
      "Insert Into CMENTE_T(MTRN_STORE_NO,MTRN_HT_KBN,MTRN_UNIQUE_KEY) Values ('',1,1)");
}

// ---------------------------------------------------------------------------
// SqliteChecker

struct SqliteChecker::Impl {
  struct Event {
    int action;
    std::string a1, a2, database;
    bool in_trigger;
  };
  sqlite3* db = nullptr;
  std::vector<Event> events;

  static int Authorize(void* self, int action, const char* a1, const char* a2, const char* database,
                       const char* trigger) {
    static_cast<Impl*>(self)->events.push_back(
        {action, a1 ? a1 : "", a2 ? a2 : "", database ? database : "", trigger != nullptr});
    return SQLITE_OK;
  }
  static int Collate(void*, int n1, const void* p1, int n2, const void* p2) {
    return db::sqlite::CompareCollationDates(
        std::string_view(static_cast<const char*>(p1), static_cast<size_t>(n1)),
        std::string_view(static_cast<const char*>(p2), static_cast<size_t>(n2)));
  }

  void Exec(const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) != SQLITE_OK) {
      const std::string text = message ? message : "?";
      sqlite3_free(message);
      Violation(std::string("checker: ") + sql + " failed: " + text);
    }
  }

  // The authorizer's actions must be those of the shape and nothing else.
  void CheckEvents(const std::string& sql, const Matched& shape) const {
    const Expected& e = *shape.expected;
    auto fail = [&](const std::string& what) {
      Violation("SQLite sees " + what + " in: " + Shown(sql));
    };
    int writes = 0;
    std::set<std::string> updated;
    for (const Event& ev : events) {
      if (ev.in_trigger) fail("an action inside a trigger");
      const bool own_table = SameName(ev.a1, e.table) && ev.database == "main";
      switch (ev.action) {
        case SQLITE_INSERT:
          if (e.shape != Shape::kInsert || !own_table) fail("an INSERT into " + ev.a1);
          ++writes;
          break;
        case SQLITE_DELETE:
          if (e.shape != Shape::kDelete || !own_table) fail("a DELETE from " + ev.a1);
          ++writes;
          break;
        case SQLITE_UPDATE:
          if ((e.shape != Shape::kUpdate && e.shape != Shape::kFamilyCount) || !own_table)
            fail("an UPDATE of " + ev.a1 + "." + ev.a2);
          updated.insert(ev.a2);
          break;
        case SQLITE_READ:
          if (e.shape == Shape::kInsert || !own_table) fail("a read of " + ev.a1 + "." + ev.a2);
          break;
        case SQLITE_SELECT:
          if (e.shape != Shape::kCount && e.shape != Shape::kFamilyCount) fail("a SELECT");
          break;
        case SQLITE_FUNCTION:
          if ((e.shape != Shape::kCount && e.shape != Shape::kFamilyCount) ||
              !SameName(ev.a2, "count"))
            fail("a call of the function " + ev.a2);
          break;
        default:
          fail("the action code " + std::to_string(ev.action));
      }
    }
    if ((e.shape == Shape::kInsert || e.shape == Shape::kDelete) && writes != 1)
      fail(std::to_string(writes) + " writes");
    if (e.shape == Shape::kUpdate || e.shape == Shape::kFamilyCount) {
      std::set<std::string> wanted;
      for (const std::string& column : shape.set_columns) wanted.insert(column);
      std::set<std::string> got;
      for (const std::string& column : updated)
        for (const std::string& w : wanted)
          if (SameName(column, w)) got.insert(w);
      if (updated.empty() || got != wanted || got.size() != updated.size())
        fail("other columns updated than the statement names");
    }
  }

  // The row the statement wrote, each column by upper-case name.
  void CheckReadBack(const std::string& sql, const Matched& shape,
                     const std::vector<ExpectedText>& texts, sqlite3_int64 rowid) {
    const Expected& e = *shape.expected;
    const bool insert = e.shape == Shape::kInsert;
    const std::string query =
        "SELECT * FROM " + e.table + (insert ? " WHERE rowid = " + std::to_string(rowid) : "");
    sqlite3_stmt* select = nullptr;
    if (sqlite3_prepare_v2(db, query.c_str(), -1, &select, nullptr) != SQLITE_OK)
      Violation("checker: cannot read back " + e.table + ": " + sqlite3_errmsg(db));
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> guard(select, sqlite3_finalize);
    if (sqlite3_step(select) != SQLITE_ROW)
      Violation("the written row is missing after: " + Shown(sql));
    const int count = sqlite3_column_count(select);
    for (const ExpectedText& t : texts) {
      if (!insert && std::none_of(shape.set_columns.begin(), shape.set_columns.end(),
                                  [&](const std::string& c) { return SameName(c, t.column); }))
        continue;
      int index = -1;
      for (int k = 0; k < count; ++k)
        if (SameName(sqlite3_column_name(select, k), t.column)) index = k;
      if (index < 0) Violation("the table " + e.table + " has no column " + t.column);
      const char* declared = sqlite3_column_decltype(select, index);
      if (declared == nullptr || !SameName(declared, "TEXT")) continue;
      const int type = sqlite3_column_type(select, index);
      std::optional<std::string> stored;
      if (type != SQLITE_NULL) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(select, index));
        stored = std::string(text, static_cast<size_t>(sqlite3_column_bytes(select, index)));
      }
      if (t.only_when_stored && !stored) continue;
      if (stored != t.value) {
        Violation(t.column + " reads back as " + (stored ? "'" + Shown(*stored) + "'" : "Null") +
                  ", not " + (t.value ? "'" + Shown(*t.value) + "'" : "Null") +
                  ", after: " + Shown(sql));
      }
    }
    if (!insert && sqlite3_step(select) != SQLITE_DONE)
      Violation("more than one row of " + e.table + " after: " + Shown(sql));
  }
};

SqliteChecker::SqliteChecker(const fs::path& database) : impl_(std::make_unique<Impl>()) {
  if (sqlite3_open_v2(database.c_str(), &impl_->db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
    Violation("checker: cannot open " + database.string());
  sqlite3_busy_timeout(impl_->db, 5000);
  sqlite3_create_collation_v2(impl_->db, db::sqlite::kDateCollation, SQLITE_UTF8, nullptr,
                              &Impl::Collate, nullptr);
}

SqliteChecker::~SqliteChecker() {
  sqlite3_close_v2(impl_->db);
}

void SqliteChecker::Check(const std::string& sql, const Matched& shape,
                          const std::vector<ExpectedText>& texts) {
  Impl& s = *impl_;
  if (sql.find('\0') != std::string::npos) Violation("a statement holds NUL: " + Shown(sql));
  if (sql.size() > INT32_MAX) Violation("a statement of more than 2 GB");
  s.events.clear();
  sqlite3_set_authorizer(s.db, &Impl::Authorize, &s);
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  const int rc = sqlite3_prepare_v3(s.db, sql.data(), static_cast<int>(sql.size()), 0, &raw, &tail);
  sqlite3_set_authorizer(s.db, nullptr, nullptr);
  std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> stmt(raw, sqlite3_finalize);
  if (rc != SQLITE_OK)
    Violation(std::string("SQLite does not accept the statement (") + sqlite3_errmsg(s.db) +
              "): " + Shown(sql));
  if (!stmt) Violation("SQLite finds no statement in: " + Shown(sql));
  for (const char* p = tail; p != nullptr && p < sql.data() + sql.size(); ++p)
    if (*p != ' ' && *p != '\t' && *p != '\n' && *p != '\r')
      Violation("SQLite finds text after the statement: " + Shown(sql));
  if (sqlite3_bind_parameter_count(stmt.get()) != 0)
    Violation("SQLite finds parameters in: " + Shown(sql));
  s.CheckEvents(sql, shape);

  // Run it in a savepoint, read the row back, roll back (also when a
  // violation throws).
  s.Exec("SAVEPOINT injection_check");
  struct RollBack {
    Impl& s;
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)>& stmt;
    ~RollBack() {
      stmt.reset();
      sqlite3_exec(s.db, "ROLLBACK TO injection_check; RELEASE injection_check", nullptr, nullptr,
                   nullptr);
    }
  } roll_back{s, stmt};
  int step = sqlite3_step(stmt.get());
  while (step == SQLITE_ROW) step = sqlite3_step(stmt.get());
  const int changes = sqlite3_changes(s.db);
  const sqlite3_int64 rowid = sqlite3_last_insert_rowid(s.db);
  const std::string message = sqlite3_errmsg(s.db);
  stmt.reset();
  if (step == SQLITE_DONE) {
    const Shape kind = shape.expected->shape;
    if (kind == Shape::kInsert && changes != 1)
      Violation("an INSERT wrote " + std::to_string(changes) + " rows: " + Shown(sql));
    if (kind == Shape::kInsert || (kind == Shape::kUpdate && changes == 1))
      s.CheckReadBack(sql, shape, texts, rowid);
  } else {
    const int primary = step & 0xFF;
    if (primary != SQLITE_CONSTRAINT && primary != SQLITE_MISMATCH && primary != SQLITE_TOOBIG)
      Violation("SQLite fails to run the statement (" + message + "): " + Shown(sql));
  }
}

Outcome CheckInputCounted(Family family, const uint8_t* data, size_t size) {
  static LocalSetup setup;
  return Run(setup.environment, family, data, size);
}

int CheckInput(Family family, const uint8_t* data, size_t size) {
  CheckInputCounted(family, data, size);
  return 0;
}

}  // namespace kvt710::fuzz
