// The statements of the field-list executor: the INSERT, UPDATE or DELETE of
// one CBASE row from parallel lists of column names and value texts
// (funcCreateSql), and the family-count adjustment.
//
// The caller supplies the values as ready SQL literals; they are written as
// received, but each must be exactly one literal and each name a column of
// CBASE, so that no list can add a clause, a column or a statement; a value
// of a key column (unique or family key) is a key number or Null. A refused
// name, value or key throws kvt710::Error (number 5) and builds nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kvt710::fieldlist {

enum Mode : int32_t { kInsert = 1, kUpdate = 2, kDelete = 3 };

// The key text of CliantNo: its decimal digits, "-" first when negative.
// Throws for a key that is not a whole number of at most 15 digits.
std::string KeyText(double key);

// True for exactly one SQL literal: a single-quoted text whose inner quotes
// are all doubled (valid UTF-8, no NUL), a plain number (optional sign,
// digits, optional decimal part, optional exponent; blanks around allowed),
// or the word Null in any case.
bool IsSqlLiteral(std::string_view value);

// True when `name`, without blanks around it, is a column of CBASE (compared
// case-insensitively). The statement sends the name as received.
bool IsBaseColumn(std::string_view name);

// The statement of `mode` for the pairs 0 to count - 1 of `names` and
// `values`; the empty text for a mode other than 1 to 3 (the pairs are then
// not looked at). Throws for a refused key, name or value, and error 9 when
// the lists hold fewer than `count` pairs.
std::string funcCreateSql(int32_t mode, double key, int32_t count,
                          const std::vector<std::string>& names,
                          const std::vector<std::string>& values);

// "UPDATE CBASE SET CUBS_FAMILY_CNT = CUBS_FAMILY_CNT + n Where ..." for the key.
std::string FamilyCountSql(double key, int32_t difference);

}  // namespace kvt710::fieldlist
