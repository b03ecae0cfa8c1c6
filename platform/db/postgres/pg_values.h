// Values between PostgreSQL's text format and Variant, for the PostgreSQL
// backend. Results arrive as text with a type OID; bound values leave as text
// with type OID 0, so that the server infers each type from its place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/automation/variant.h"

namespace kvt710::db::postgres {

// The type OIDs that have a Variant form of their own (fixed in every server).
namespace oid {
constexpr uint32_t kBool = 16;
constexpr uint32_t kInt8 = 20;
constexpr uint32_t kInt2 = 21;
constexpr uint32_t kInt4 = 23;
constexpr uint32_t kOid = 26;
constexpr uint32_t kFloat4 = 700;
constexpr uint32_t kFloat8 = 701;
constexpr uint32_t kDate = 1082;
constexpr uint32_t kTimestamp = 1114;
constexpr uint32_t kTimestampTz = 1184;
constexpr uint32_t kNumeric = 1700;
}  // namespace oid

// The Variant for one result value in text format: integers and integral
// numbers that fit 32 bits are Long, other numbers Double, bool Boolean,
// date and timestamp Date, everything else String. A text that does not
// parse as its type stays a String rather than failing the whole row.
Variant ValueFromText(uint32_t type_oid, std::string_view text);

// The text of a bound value; nullopt for Null (Empty and Missing too).
// Throws kvt710::Error 13 for objects and arrays.
std::optional<std::string> ParamText(const Variant& value);

// A double as the shortest text that reads back as the same double.
std::string DoubleText(double value);

}  // namespace kvt710::db::postgres
