// A statement to run: its exact command text and, when the statement builder
// made it, where each literal value lies in that text. The text with every
// value replaced by "?" is the statement's shape; statements of one shape
// differ only in their values, so a connection can prepare the shape once
// and bind the values (see Backend::ExecuteShaped). The text stays the
// statement's identity: queues, traces and errors carry it unchanged.
//
// Every value is one literal as the literal rules write it: a single-quoted
// text with its quotes doubled, a bare number (blanks around, sign, decimal
// point, exponent), or the word Null. A backend that meets anything else
// runs the text instead.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kvt710::db {

class Statement {
 public:
  // Where a value lies in the text: its first byte and its length.
  struct Span {
    uint32_t offset;
    uint32_t length;
  };

  Statement() = default;
  // A statement without a shape: it runs as its text.
  explicit Statement(std::string text) : text_(std::move(text)) {}
  // A statement whose values lie at `values` in `text`, in order and apart.
  Statement(std::string text, std::vector<Span> values)
      : text_(std::move(text)), values_(std::move(values)) {}

  // Building: fixed text (keywords, names, separators) and literal values.
  void Reserve(size_t text_size, size_t values) {
    text_.reserve(text_size);
    values_.reserve(values);
  }
  void AppendText(std::string_view fixed) { text_ += fixed; }
  void AppendText(char fixed) { text_ += fixed; }
  void AppendValue(std::string_view literal) {
    values_.push_back({static_cast<uint32_t>(text_.size()), static_cast<uint32_t>(literal.size())});
    text_ += literal;
  }

  const std::string& text() const { return text_; }
  // True when the statement knows its values.
  bool has_shape() const { return !values_.empty(); }
  size_t value_count() const { return values_.size(); }
  // The i-th value's literal as it stands in the text.
  std::string_view value(size_t i) const {
    return std::string_view(text_).substr(values_[i].offset, values_[i].length);
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
  std::string text_;
  std::vector<Span> values_;
};

// What a literal value is, by its first characters.
enum class LiteralKind {
  kNull,    // the word Null (any case)
  kText,    // 'quoted', quotes inside doubled
  kNumber,  // anything else: a bare number when it is valid (see BareNumber)
  kInvalid  // a quoted text that does not end where it should
};
LiteralKind KindOf(std::string_view literal);

// The text of a kText literal with its quotes removed and undoubled.
// REQUIRED: KindOf(literal) == kText.
std::string Unquoted(std::string_view literal);
// True when the text of a kText literal holds no doubled quote, so that it is
// literal.substr(1, size - 2) as it stands.
bool HasNoDoubledQuote(std::string_view literal);

// A bare number literal taken apart as an SQL tokenizer sees it: blanks
// around, an optional sign (an operator applied to the number token), and the
// number token itself: digits with an optional decimal point and digits, or
// a point and digits, then an optional exponent (E or e, an optional sign,
// digits). nullopt-like `valid == false` for anything else.
struct BareNumber {
  bool valid = false;
  bool negative = false;
  bool integer = false;          // no decimal point and no exponent
  std::string_view token;        // the unsigned number token
  std::string_view signed_text;  // sign and token, without the blanks
};
BareNumber ParseBareNumber(std::string_view literal);

}  // namespace kvt710::db
