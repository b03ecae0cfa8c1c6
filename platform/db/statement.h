// A statement to run: its exact command text and, when the statement builder
// made it, where each literal value lies in that text and what it stands for.
// The text with every value replaced by "?" is the statement's shape;
// statements of one shape differ only in their values, so a connection can
// prepare the shape once and bind the values (see Backend::ExecuteShaped).
// The text stays the statement's identity: queues, traces and errors carry it
// unchanged.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvt710::db {

// What one literal of a statement's text stands for, made by the same
// rendering that wrote the literal, so that a connection can bind it in the
// literal's place.
struct Value {
  enum class Kind : uint8_t {
    kNull,    // the word Null
    kNumber,  // a bare number
    kText,    // a quoted text
    kDate,    // a quoted date or timestamp, bound as its text
  };
  Kind kind = Kind::kNull;
  // Where the value's characters lie within its literal: a number's sign and
  // digits without the blanks around them, a text between its quotes. A text
  // whose quotes the literal doubles keeps its characters in `unquoted`.
  uint32_t at = 0, size = 0;
  bool quotes_doubled = false;
  // kNumber: written whole (without a decimal point and an exponent), its
  // significant digits, and its exact value: as a 64-bit integer when it is
  // written whole and in range, otherwise as a double where it is one.
  bool whole = false, is_integer = false, is_double = false;
  uint32_t digits = 0;
  int64_t integer = 0;
  double real = 0;
  std::string unquoted;
};

class Statement {
 public:
  Statement() = default;
  // A statement without a shape: it runs as its text.
  explicit Statement(std::string text) : text_(std::move(text)) {}

  // Building: fixed text (keywords, names, separators) and literal values.
  void Reserve(size_t text_size, size_t values) {
    text_.reserve(text_size);
    values_.reserve(values);
  }
  void AppendText(std::string_view fixed) { text_ += fixed; }
  void AppendText(char fixed) { text_ += fixed; }
  // `literal` written into the text, `value` being what it stands for.
  void AppendValue(std::string_view literal, const Value& value) {
    values_.push_back(
        {static_cast<uint32_t>(text_.size()), static_cast<uint32_t>(literal.size()), value});
    text_ += literal;
  }

  const std::string& text() const { return text_; }
  // True when the statement knows its values.
  bool has_shape() const { return !values_.empty(); }
  size_t value_count() const { return values_.size(); }
  const Value& value(size_t i) const { return values_[i].value; }
  // True when prepared parameters of `types` take the values bound as the
  // text has them: one type per value, and each bare number of a type that
  // `takes_number(type, value)` reads alike.
  template <class Type, class TakesNumber>
  bool FitsParameters(const std::vector<Type>& types, TakesNumber takes_number) const {
    if (types.size() != values_.size()) return false;
    for (size_t i = 0; i < types.size(); ++i) {
      const Value& v = values_[i].value;
      if (v.kind == Value::Kind::kNumber && !takes_number(types[i], v)) return false;
    }
    return true;
  }
  // The i-th value's characters: a number as written (sign and digits), a
  // text without its quotes; empty for Null.
  std::string_view chars(size_t i) const {
    const Placed& p = values_[i];
    if (p.value.quotes_doubled) return p.value.unquoted;
    return std::string_view(text_).substr(p.offset + p.value.at, p.value.size);
  }
  // Writes the shape into `out` (cleared first), each value as "?" or, when
  // `numbered`, as "$1", "$2", ...
  void ShapeInto(std::string& out, bool numbered = false) const;
  std::string Shape() const {
    std::string out;
    ShapeInto(out);
    return out;
  }

  friend bool operator==(const Statement& a, std::string_view text) { return a.text_ == text; }
  friend std::ostream& operator<<(std::ostream& out, const Statement& s) { return out << s.text_; }

 private:
  struct Placed {
    uint32_t offset, length;  // the literal in the text
    Value value;
  };

  std::string text_;
  std::vector<Placed> values_;
};

}  // namespace kvt710::db
