// What SQLite makes of a bare number literal in a command text, so that a
// prepared statement can bind the very value the text would have stored.
//
// SQLite reads "-12" as the operator "-" applied to the token 12. A token of
// digits only is an integer when it fits 64 bits (-9223372036854775808 too);
// otherwise, and with a decimal point or an exponent, it is a real number
// that SQLite converts with its own routine, which need not round like the
// C library's. Exact values (1.25, 5., 1e3, 0.5e-2) convert the same in any
// correct routine and are computed here; the rest are left to SQLite itself
// (kAskSqlite: convert the token, then negate when `negative`).
#pragma once

#include <cstdint>

#include "platform/db/statement.h"

namespace kvt710::db::sqlite {

struct Number {
  enum class Kind { kInteger, kReal, kAskSqlite };
  Kind kind = Kind::kInteger;
  int64_t integer = 0;
  double real = 0;
};

// REQUIRED: number.valid.
Number ToNumber(const BareNumber& number);

}  // namespace kvt710::db::sqlite
