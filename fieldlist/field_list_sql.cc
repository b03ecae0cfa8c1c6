#include "fieldlist/field_list_sql.h"

#include <cstdio>

#include "catalogue/catalogue.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/error.h"
#include "platform/text/ascii.h"
#include "platform/text/literal.h"
#include "platform/text/number.h"
#include "platform/text/utf8.h"

namespace kvt710::fieldlist {
namespace {

Error Refused(const std::string& what) {
  return Error(err::kInvalidCall, what);
}

// Names and values are shown in messages only when they are valid text.
std::string Shown(std::string_view text) {
  return text::IsValidText(text) ? "'" + std::string(text) + "'" : "(not valid text)";
}

void CheckPair(const std::vector<std::string>& names, const std::vector<std::string>& values,
               int32_t i) {
  const auto at = static_cast<size_t>(i);
  if (at >= names.size() || at >= values.size())
    throw Error(err::kSubscript, "Subscript out of range");
  if (!IsBaseColumn(names[at]))
    throw Refused("Field " + std::to_string(i + 1) + ": " + Shown(names[at]) +
                  " is not a column of CBASE");
  if (!IsSqlLiteral(values[at]))
    throw Refused("Value " + std::to_string(i + 1) + " of " + names[at] +
                  " is not one SQL literal (a quoted text with doubled quotes, a number or "
                  "Null): " +
                  Shown(values[at]));
  // A key column holds a key: at most 15 significant digits, as every key.
  const std::string_view value = text::Trim(values[at]);
  if ((text::EqualsIgnoreCase(names[at], "CUBS_UNIQUE_KEY") ||
       text::EqualsIgnoreCase(names[at], "CUBS_FAMILY_KEY")) &&
      !text::EqualsIgnoreCase(value, "Null") && !text::IsKeyNumber(value))
    throw Refused("Value " + std::to_string(i + 1) + " of " + names[at] +
                  " is a key: a plain number of at most 15 significant digits, or Null");
}

}  // namespace

std::string KeyText(double key) {
  if (!text::IsWholeKey(key)) throw Refused("CliantNo must be a whole number of at most 15 digits");
  if (key == 0) return "0";  // also for -0
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.0f", key);
  return buffer;
}

bool IsSqlLiteral(std::string_view value) {
  const std::string_view trimmed = text::Trim(value);
  return text::IsQuotedLiteral(trimmed) || text::IsNumberLiteral(trimmed) ||
         text::EqualsIgnoreCase(trimmed, "Null");
}

bool IsBaseColumn(std::string_view name) {
  // Blanks around a name are harmless in the statement, which sends it as received.
  const std::string_view trimmed = text::Trim(name);
  for (const auto& column : catalogue::BaseTable().columns) {
    if (text::EqualsIgnoreCase(column.name, trimmed)) return true;
  }
  return false;
}

std::string funcCreateSql(int32_t mode, double key, int32_t count,
                          const std::vector<std::string>& names,
                          const std::vector<std::string>& values) {
  switch (mode) {
    case kInsert: {
      const std::string k = KeyText(key);
      std::string columns = "INSERT INTO CBASE (CUBS_UNIQUE_KEY";
      std::string literals = ") VALUES (" + k;
      for (int32_t i = 0; i < count; ++i) {
        CheckPair(names, values, i);
        columns += "," + names[static_cast<size_t>(i)];
        literals += "," + values[static_cast<size_t>(i)];
      }
      return columns + literals + ")";
    }
    case kUpdate: {
      const std::string k = KeyText(key);
      std::string text = "UPDATE CBASE SET ";
      for (int32_t i = 0; i < count; ++i) {
        CheckPair(names, values, i);
        if (i > 0) text += ",";
        text += names[static_cast<size_t>(i)] + " = " + values[static_cast<size_t>(i)];
      }
      return text + " WHERE CUBS_UNIQUE_KEY = " + k;
    }
    case kDelete:
      return "DELETE FROM CBASE WHERE CUBS_UNIQUE_KEY = " + KeyText(key);
    default:
      return {};
  }
}

std::string FamilyCountSql(double key, int32_t difference) {
  return "UPDATE CBASE SET CUBS_FAMILY_CNT = CUBS_FAMILY_CNT + " + std::to_string(difference) +
         " Where CUBS_UNIQUE_KEY = " + KeyText(key);
}

}  // namespace kvt710::fieldlist
