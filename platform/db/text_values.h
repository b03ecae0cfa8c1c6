// Values as database text, for the backends that exchange values as text
// (PostgreSQL's text format, ODBC's character data): a result's text read
// into a Variant by the kind of its column, and a bound value written as text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/variant.h"

namespace kvt710::db {

// The kinds of result column that have a Variant form of their own.
enum class TextType { kNumber, kBoolean, kDate, kTimestamp, kText };

// The Variant for one result value in text format: integers and integral
// numbers that fit 32 bits are Long, other numbers Double, a boolean ("t" or
// "1", "f" or "0") Boolean, date and timestamp Date, everything else String. A text that does not
// parse as its type stays a String rather than failing the whole row.
Variant ValueFromText(TextType type, std::string_view text);

// The text of a bound value; nullopt for Null (Empty and Missing too).
// Throws kvt710::Error 13 for objects and arrays.
std::optional<std::string> ParamText(const Variant& value);

// A double as the shortest text that reads back as the same double.
std::string DoubleText(double value);

}  // namespace kvt710::db
