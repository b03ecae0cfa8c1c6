// Module KVT710H1: quote doubling, trimming, text validity and the value
// forms. The numeric and date tests live in numeric.cc and date.cc.
#include "sql/KVT710H1.h"

#include <cstdint>

#include "platform/automation/error.h"

namespace kvt710 {

std::string funcSqlQuote(std::string_view text) {
  std::string result;
  result.reserve(text.size() + 8);
  size_t start = 0;
  for (size_t quote = text.find('\''); quote != std::string_view::npos;
       quote = text.find('\'', start)) {
    result.append(text, start, quote - start);
    result += "''";
    start = quote + 1;
  }
  result.append(text, start);
  return result;
}

std::string funcVarToStr(const Variant& value) {
  if (value.IsNull()) return {};
  try {
    return value.ToString();
  } catch (const Error&) {
    return {};
  }
}

namespace sql {
namespace {

constexpr char kNull[] = "Null";

std::string Quoted(std::string_view inner) {
  std::string result;
  result.reserve(inner.size() + 2);
  result += '\'';
  result += inner;
  result += '\'';
  return result;
}

// The value for an error message: short valid values only, so that a
// message never carries a huge or broken text.
std::string Shown(std::string_view value) {
  if (value.size() > 40 || !IsValidText(value)) return {};
  return ": \"" + std::string(value) + "\"";
}

[[noreturn]] void Refuse(std::string_view name, std::string_view rule, std::string_view value) {
  throw Error(err::kInvalidCall, std::string(name) + std::string(rule) + Shown(value));
}

}  // namespace

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return text.substr(text.size());
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool IsBlank(std::string_view text) {
  return Trim(text).empty();
}

bool IsValidText(std::string_view text) {
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead == 0) return false;
    if (lead < 0x80) {
      ++i;
      continue;
    }
    size_t length;
    uint32_t code;
    uint32_t smallest;  // below this the sequence is an overlong form
    if ((lead & 0xE0) == 0xC0) {
      length = 2, code = lead & 0x1F, smallest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, code = lead & 0x0F, smallest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, code = lead & 0x07, smallest = 0x10000;
    } else {
      return false;
    }
    if (n - i < length) return false;
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < smallest || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

std::string Render(Form form, std::string_view value, std::string_view name, const DateTime& now) {
  if (form != Form::kTimestamp && form != Form::kInteger && !IsValidText(value))
    throw Error(err::kInvalidCall, std::string(name) + " is not valid text (UTF-8 without NUL)");

  switch (form) {
    case Form::kKey:
      if (!IsPlainNumber(value)) Refuse(name, " must be a plain number", value);
      return std::string(value);
    case Form::kQuotedUnchanged:
      return Quoted(funcSqlQuote(value));
    case Form::kNumber:
      return IsNumeric(value) ? WithoutSeparators(value) : kNull;
    case Form::kQuotedNumber:
      return IsNumeric(value) ? Quoted(Trim(value)) : kNull;
    case Form::kWholeNumber:
      return IsNumeric(value) ? WholeNumber(value) : kNull;
    case Form::kText:
    case Form::kPlainText:
      return IsBlank(value) ? kNull : Quoted(Trim(funcSqlQuote(value)));
    case Form::kDate: {
      const std::optional<DateTime> date = ParseDate(value);
      return date ? Quoted(FormatDate(*date)) : kNull;
    }
    case Form::kTimestamp:
      return Quoted(FormatDateTime(now));
    case Form::kNumberOrZero:
      return IsNumeric(value) ? WithoutSeparators(value) : "0";
    case Form::kUntrimmedPhone:
      return IsBlank(value) ? kNull : Quoted(funcSqlQuote(value));
    case Form::kUntrimmedText:
      return value.empty() ? kNull : Quoted(funcSqlQuote(value));
    case Form::kMonthDay: {
      const std::optional<DateTime> date = ParseDate(value);
      return date ? FormatMonthDay(*date) : kNull;
    }
    case Form::kSideCode: {
      if (!IsNumeric(value)) return kNull;
      const std::optional<int32_t> rounded = ToLongHalfEven(value);
      if (!rounded) throw Error(err::kOverflow, std::string(name) + " overflows");
      return *rounded >= 1 && *rounded <= 3 ? WithoutSeparators(value) : kNull;
    }
    case Form::kReserve:
      if (value.empty()) return kNull;
      if (!IsPlainNumber(value)) Refuse(name, " must be empty or a plain number", value);
      return std::string(value);
    case Form::kInteger:
      if (!IsPlainNumber(value)) Refuse(name, " must be a whole number", value);
      return std::string(value);
  }
  throw Error(err::kInternal, "Unknown value form for " + std::string(name));
}

}  // namespace sql
}  // namespace kvt710
