// Module KVT710H1: quote doubling, trimming, text validity and the value
// forms. The numeric and date tests live in numeric.cc and date.cc.
#include "sql/KVT710H1.h"

#include <cstdint>

#include "platform/automation/error.h"
#include "platform/text/decimal.h"

namespace kvt710 {

namespace {

// `text` with every single quote doubled, appended to `out`.
void AppendDoubled(std::string& out, std::string_view text) {
  for (size_t quote = text.find('\''); quote != std::string_view::npos; quote = text.find('\'')) {
    out.append(text.substr(0, quote + 1));
    out += '\'';
    text.remove_prefix(quote + 1);
  }
  out.append(text);
}

}  // namespace

std::string funcSqlQuote(std::string_view text) {
  std::string result;
  AppendDoubled(result, text);
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

db::Value AppendNull(std::string& out) {
  out += "Null";
  return {};
}

// 'text', its quotes doubled, appended to `out`.
db::Value AppendQuoted(std::string& out, std::string_view text) {
  db::Value value;
  value.kind = db::Value::Kind::kText;
  value.at = 1;
  value.size = static_cast<uint32_t>(text.size());
  if (text.find('\'') != std::string_view::npos) {
    value.quotes_doubled = true;
    value.unquoted = text;
  }
  out += '\'';
  AppendDoubled(out, text);
  out += '\'';
  return value;
}

// The quoted date that `out` holds from `start` on (a date holds no quote).
db::Value QuotedDate(const std::string& out, size_t start) {
  db::Value value;
  value.kind = db::Value::Kind::kDate;
  value.at = 1;
  value.size = static_cast<uint32_t>(out.size() - start - 2);
  return value;
}

// The bare number that `out` holds from `start` on: its characters without
// the blanks around them, and its exact value. Every form writes a bare
// number as blanks, a sign and digits, so that it always scans.
db::Value BareNumber(const std::string& out, size_t start) {
  const std::string_view literal = std::string_view(out).substr(start);
  const std::string_view chars = Trim(literal);
  const std::optional<text::Decimal> number = text::ScanDecimal(chars);
  if (!number) throw Error(err::kInternal, "A bare value is no number: " + std::string(literal));
  db::Value value;
  value.kind = db::Value::Kind::kNumber;
  value.at = static_cast<uint32_t>(chars.data() - literal.data());
  value.size = static_cast<uint32_t>(chars.size());
  value.whole = number->whole;
  value.digits = static_cast<uint32_t>(number->digits.size());
  if (const std::optional<int64_t> integer =
          number->whole ? text::ToInt64(*number) : std::nullopt) {
    value.is_integer = true;
    value.integer = *integer;
  } else if (const std::optional<double> real = text::ToExactDouble(*number)) {
    value.is_double = true;
    value.real = *real;
  }
  return value;
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
  return RenderLiteral(form, value, name, now).text;
}

Literal RenderLiteral(Form form, std::string_view value, std::string_view name,
                      const DateTime& now) {
  Literal literal;
  literal.value = RenderTo(literal.text, form, value, name, now);
  return literal;
}

db::Value RenderTo(std::string& out, Form form, std::string_view value, std::string_view name,
                   const DateTime& now) {
  if (form != Form::kTimestamp && form != Form::kInteger && !IsValidText(value))
    throw Error(err::kInvalidCall, std::string(name) + " is not valid text (UTF-8 without NUL)");

  // Trimming removes blanks only, so it commutes with the quote doubling.
  const size_t start = out.size();
  switch (form) {
    case Form::kKey:
      if (!IsKeyNumber(value))
        Refuse(name, " must be a plain number of at most 15 significant digits", value);
      out += value;
      return BareNumber(out, start);
    case Form::kQuotedUnchanged:
      return AppendQuoted(out, value);
    case Form::kNumber:
      if (!IsNumeric(value)) return AppendNull(out);
      AppendWithoutSeparators(out, value);
      return BareNumber(out, start);
    case Form::kQuotedNumber:
      if (!IsNumeric(value)) return AppendNull(out);
      return AppendQuoted(out, Trim(value));  // a numeric text holds no quote
    case Form::kWholeNumber:
      if (!IsNumeric(value)) return AppendNull(out);
      out += WholeNumber(value);
      return BareNumber(out, start);
    case Form::kText:
    case Form::kPlainText:
      if (IsBlank(value)) return AppendNull(out);
      return AppendQuoted(out, Trim(value));
    case Form::kDate: {
      const std::optional<DateTime> date = ParseDate(value);
      if (!date) return AppendNull(out);
      out += '\'';
      AppendDate(out, *date);
      out += '\'';
      return QuotedDate(out, start);
    }
    case Form::kTimestamp:
      out += '\'';
      AppendDateTime(out, now);
      out += '\'';
      return QuotedDate(out, start);
    case Form::kNumberOrZero:
      if (IsNumeric(value)) {
        AppendWithoutSeparators(out, value);
      } else {
        out += '0';
      }
      return BareNumber(out, start);
    case Form::kUntrimmedPhone:
      if (IsBlank(value)) return AppendNull(out);
      return AppendQuoted(out, value);
    case Form::kUntrimmedText:
      if (value.empty()) return AppendNull(out);
      return AppendQuoted(out, value);
    case Form::kMonthDay: {
      const std::optional<DateTime> date = ParseDate(value);
      if (!date) return AppendNull(out);
      AppendMonthDay(out, *date);
      return BareNumber(out, start);
    }
    case Form::kSideCode: {
      if (!IsNumeric(value)) return AppendNull(out);
      const std::optional<int32_t> rounded = ToLongHalfEven(value);
      if (!rounded) throw Error(err::kOverflow, std::string(name) + " overflows");
      if (*rounded < 1 || *rounded > 3) return AppendNull(out);
      AppendWithoutSeparators(out, value);
      return BareNumber(out, start);
    }
    case Form::kReserve:
      if (value.empty()) return AppendNull(out);
      if (!IsPlainNumber(value)) Refuse(name, " must be empty or a plain number", value);
      out += value;
      return BareNumber(out, start);
    case Form::kInteger:
      if (!IsPlainNumber(value)) Refuse(name, " must be a whole number", value);
      out += value;
      return BareNumber(out, start);
  }
  throw Error(err::kInternal, "Unknown value form for " + std::string(name));
}

}  // namespace sql
}  // namespace kvt710
