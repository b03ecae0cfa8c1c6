// Module KVT710H1: how a text value becomes an SQL literal. Quote doubling,
// trimming, the numeric and date tests, the formats, and the value forms
// that every writer's table description names per column.
//
// Every value that a form renders ends up a single SQL literal or the word
// Null: quotes are doubled in every quoted form, and a value written bare
// is a plain number. A value that cannot be rendered safely (text that is
// not valid UTF-8 or holds a NUL, a key that is not a key number) makes
// Render throw kvt710::Error, which the writer reports as its failure.
#pragma once

#include <optional>
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

// Removes leading and trailing U+0020 only (tabs, line breaks and U+3000 stay).
std::string_view Trim(std::string_view text);
// True when Trim(text) is empty.
bool IsBlank(std::string_view text);

// The numeric test: optional blanks around, an optional sign, digits with an
// optional decimal point and "," thousands separators, an optional exponent
// (E or e, optionally signed digits); the value must be a finite double.
bool IsNumeric(std::string_view text);
// A plain number, as keys must be: blanks around, an optional sign, digits,
// an optional decimal part. No separators, no exponent.
bool IsPlainNumber(std::string_view text);
// Keys are written bare and must stay exact in every store they pass
// through: a double, SQLite's integer and PostgreSQL's numeric all hold
// 15 significant digits, so that two customers never meet in one row.
constexpr size_t kKeyDigits = 15;
// A key: a plain number of at most kKeyDigits significant digits (the whole
// part without leading zeros and the fraction without trailing zeros).
bool IsKeyNumber(std::string_view text);
// A key passed as a double: finite, whole and below 10^15 in magnitude.
bool IsWholeKey(double key);
// The numeric text without its thousands separators (for bare literals).
std::string WithoutSeparators(std::string_view numeric);
void AppendWithoutSeparators(std::string& out, std::string_view numeric);

// The date test: year (four digits), month and day separated by "/" or "-",
// optionally followed by blanks and a time h:mm or h:mm:ss; blanks around
// allowed; a valid calendar date. nullopt when the test fails.
std::optional<DateTime> ParseDate(std::string_view text);
// A date written yyyymmdd: exactly eight digits, nothing around them, and a
// valid calendar date (year 0001 on). nullopt otherwise.
std::optional<DateTime> ParseYyyymmdd(std::string_view text);

// The formats, appended to `out`.
void AppendDate(std::string& out, const DateTime& value);      // yyyy/mm/dd
void AppendDateTime(std::string& out, const DateTime& value);  // yyyy/mm/dd hh:mm:ss
void AppendMonthDay(std::string& out, const DateTime& value);  // MMDD
// The date format as a text of its own.
std::string FormatDate(const DateTime& value);

// Number pattern "0": the nearest whole number, halves away from zero, no
// separators, exponent resolved. REQUIRED: IsNumeric(numeric).
std::string WholeNumber(std::string_view numeric);
// The nearest whole number with halves to even, as a 64-bit value; nullopt
// when it does not fit 32 bits. REQUIRED: IsNumeric(numeric).
std::optional<int32_t> ToLongHalfEven(std::string_view numeric);

// True for valid UTF-8 without NUL bytes.
bool IsValidText(std::string_view text);

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
