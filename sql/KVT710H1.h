// Module KVT710H1: how a text value becomes an SQL literal. Quote doubling
// and the value forms that every writer's table description names per
// column; the tests and formats they use are those of platform/text.
//
// Every value that a form renders ends up a single SQL literal or the word
// Null: quotes are doubled in every quoted form, and a value written bare
// is a plain number. A value that cannot be rendered safely (text that is
// not valid UTF-8 or holds a NUL, a key that is not a key number) makes
// Render throw kvt710::Error, which the writer reports as its failure.
#pragma once

#include <string>
#include <string_view>

#include "platform/automation/variant.h"
#include "platform/db/statement.h"

namespace kvt710 {

// Doubles every single quote (U+0027); all other characters are copied.
std::string funcSqlQuote(std::string_view text);

// The text form of a variant; the empty text for Null or a value that does
// not convert.
std::string funcVarToStr(const Variant& value);

namespace sql {

// The value forms named by the table descriptions.
enum class Form {
  kKey,              // unchanged, but must be a key number (else an error)
  kQuotedUnchanged,  // 'text' untrimmed, quotes doubled, no test
  kNumber,           // numeric: bare as received (separators dropped), else Null
  kQuotedNumber,     // numeric: 'trimmed', else Null
  kWholeNumber,      // numeric: number pattern "0", bare, else Null
  kText,             // not blank: 'trimmed, quotes doubled', else Null
  kPlainText,        // same rendering as kText (quotes doubled too)
  kDate,             // date test: 'yyyy/mm/dd', else Null
  kTimestamp,        // 'yyyy/mm/dd hh:mm:ss' of the statement's clock; no source
  kNumberOrZero,     // numeric: bare as received, else 0
  kUntrimmedPhone,   // not blank: 'untrimmed, quotes doubled', else Null
  kUntrimmedText,    // not empty: 'untrimmed, quotes doubled', else Null
  kMonthDay,         // date test: MMDD bare, else Null
  kSideCode,         // numeric, rounded half-even within 1..3: bare as received, else Null
  kReserve,          // empty: Null; plain number: bare; anything else an error
  kInteger,          // decimal text of a whole number (integer parameters)
};

// A rendered literal and what it stands for.
struct Literal {
  std::string text;
  db::Value value;
};

// Renders `value` in `form`. `name` names the parameter in error messages;
// `now` is the statement's timestamp. Throws kvt710::Error for a value that
// must be refused (invalid text, a kKey that is not a key number, a kReserve
// that is not a plain number, a side code that overflows 32 bits).
Literal RenderLiteral(Form form, std::string_view value, std::string_view name,
                      const DateTime& now);
// The literal alone.
std::string Render(Form form, std::string_view value, std::string_view name, const DateTime& now);
// The literal appended to `out`, and what it stands for (its positions count
// from the literal's first byte); on a throw `out` may hold part of it.
db::Value RenderTo(std::string& out, Form form, std::string_view value, std::string_view name,
                   const DateTime& now);

}  // namespace sql
}  // namespace kvt710
