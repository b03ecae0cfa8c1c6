// Exact decimal numbers: what a number text scans to, and when that value is
// exactly a 64-bit integer or a double.
#include "platform/text/decimal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

namespace kvt710::text {
namespace {

std::string Show(const std::optional<Decimal>& d) {
  if (!d) return "invalid";
  return std::string(d->negative ? "-" : "+") + d->digits + "e" + std::to_string(d->exponent) +
         (d->whole ? " whole" : "");
}

TEST(DecimalTest, ScansSignDigitsPointAndExponentExactly) {
  struct Case {
    const char* text;
    const char* scanned;
    Separators separators = Separators::kNone;
  };
  for (const Case& c : {
           Case{"0", "+e0 whole"},
           Case{"-0", "-e0 whole"},
           Case{"007", "+7e0 whole"},
           Case{"+1200", "+12e2 whole"},
           Case{"-12.50", "-125e-1"},
           Case{"5.", "+5e0"},
           Case{".5", "+5e-1"},
           Case{"-0.0", "-e0"},
           Case{"1E+3", "+1e3"},
           Case{"2.5e-3", "+25e-4"},
           Case{"0.000120e2", "+12e-3"},
           Case{"123456789012345678901234567890", "+12345678901234567890123456789e1 whole"},
           Case{"1e99999999999", "+1e1000000000"},
           Case{"", "invalid"},
           Case{".", "invalid"},
           Case{"-", "invalid"},
           Case{"e5", "invalid"},
           Case{"1e", "invalid"},
           Case{"1e+", "invalid"},
           Case{"--1", "invalid"},
           Case{" 1", "invalid"},
           Case{"1 ", "invalid"},
           Case{"1,234", "invalid"},
           Case{"1,234", "+1234e0 whole", Separators::kThousands},
           Case{"-12,34,567.250", "-123456725e-2", Separators::kThousands},
           Case{",1", "invalid", Separators::kThousands},
           Case{"1,", "invalid", Separators::kThousands},
           Case{"1,,2", "invalid", Separators::kThousands},
           Case{"1,.5", "invalid", Separators::kThousands},
           Case{"1.5,0", "invalid", Separators::kThousands},
           Case{"1e1,0", "invalid", Separators::kThousands},
           Case{"0x10", "invalid"},
           Case{"1.2.3", "invalid"},
       })
    EXPECT_EQ(Show(ScanDecimal(c.text, c.separators)), c.scanned) << c.text;
}

TEST(DecimalTest, ExactIntegersAndDoubles) {
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  struct Case {
    const char* text;
    std::optional<int64_t> integer;
    std::optional<double> real;
  };
  for (const Case& c : {
           Case{"0", 0, 0.0},
           Case{"-12", -12, -12.0},
           Case{"1.5e1", 15, 15.0},
           Case{"1.25", std::nullopt, 1.25},
           Case{"-0.5e-2", std::nullopt, std::nullopt},  // 0.005 is no double
           Case{"0.1", std::nullopt, std::nullopt},
           Case{"0.375", std::nullopt, 0.375},
           Case{"9007199254740992", 9007199254740992, 9007199254740992.0},
           Case{"9007199254740993", 9007199254740993, std::nullopt},
           Case{"9223372036854775807", kMax, std::nullopt},
           Case{"-9223372036854775808", kMin, std::nullopt},
           Case{"9223372036854775808", std::nullopt, std::nullopt},
           Case{"1e19", std::nullopt, 1e19},
           Case{"1e23", std::nullopt, std::nullopt},
           Case{"2.384185791015625e-7", std::nullopt, 2.384185791015625e-7},  // 2^-22
           Case{"1e-400", std::nullopt, std::nullopt},
       }) {
    const std::optional<Decimal> d = ScanDecimal(c.text);
    ASSERT_TRUE(d) << c.text;
    EXPECT_EQ(ToInt64(*d), c.integer) << c.text;
    EXPECT_EQ(ToExactDouble(*d), c.real) << c.text;
  }
  // Zero keeps its sign as a double.
  EXPECT_TRUE(std::signbit(*ToExactDouble(*ScanDecimal("-0.0"))));
  EXPECT_FALSE(std::signbit(*ToExactDouble(*ScanDecimal("0"))));
}

}  // namespace
}  // namespace kvt710::text
