// Module KVT710H1: quote doubling and the value forms.
#include "sql/KVT710H1.h"

#include <cstdint>

#include "platform/automation/error.h"
#include "platform/text/ascii.h"
#include "platform/text/date.h"
#include "platform/text/decimal.h"
#include "platform/text/number.h"
#include "platform/text/utf8.h"

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

using text::IsBlank;
using text::IsNumeric;
using text::Trim;

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
  if (value.size() > 40 || !text::IsValidText(value)) return {};
  return ": \"" + std::string(value) + "\"";
}

[[noreturn]] void Refuse(std::string_view name, std::string_view rule, std::string_view value) {
  throw Error(err::kInvalidCall, std::string(name) + std::string(rule) + Shown(value));
}

}  // namespace

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
  if (form != Form::kTimestamp && form != Form::kInteger && !text::IsValidText(value))
    throw Error(err::kInvalidCall, std::string(name) + " is not valid text (UTF-8 without NUL)");

  // Trimming removes blanks only, so it commutes with the quote doubling.
  const size_t start = out.size();
  switch (form) {
    case Form::kKey:
      if (!text::IsKeyNumber(value))
        Refuse(name, " must be a plain number of at most 15 significant digits", value);
      out += value;
      return BareNumber(out, start);
    case Form::kQuotedUnchanged:
      return AppendQuoted(out, value);
    case Form::kNumber:
      if (!IsNumeric(value)) return AppendNull(out);
      text::AppendWithoutSeparators(out, value);
      return BareNumber(out, start);
    case Form::kQuotedNumber:
      if (!IsNumeric(value)) return AppendNull(out);
      return AppendQuoted(out, Trim(value));  // a numeric text holds no quote
    case Form::kWholeNumber:
      if (!IsNumeric(value)) return AppendNull(out);
      out += *text::WholeNumber(value);
      return BareNumber(out, start);
    case Form::kText:
    case Form::kPlainText:
      if (IsBlank(value)) return AppendNull(out);
      return AppendQuoted(out, Trim(value));
    case Form::kDate: {
      const std::optional<DateTime> date = text::ReadDate(value);
      if (!date) return AppendNull(out);
      out += '\'';
      text::AppendDate(out, *date);
      out += '\'';
      return QuotedDate(out, start);
    }
    case Form::kTimestamp:
      out += '\'';
      text::AppendDateTime(out, now);
      out += '\'';
      return QuotedDate(out, start);
    case Form::kNumberOrZero:
      if (IsNumeric(value)) {
        text::AppendWithoutSeparators(out, value);
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
      const std::optional<DateTime> date = text::ReadDate(value);
      if (!date) return AppendNull(out);
      text::AppendMonthDay(out, *date);
      return BareNumber(out, start);
    }
    case Form::kSideCode: {
      if (!IsNumeric(value)) return AppendNull(out);
      const std::optional<int32_t> rounded = text::ToLongHalfEven(value);
      if (!rounded) throw Error(err::kOverflow, std::string(name) + " overflows");
      if (*rounded < 1 || *rounded > 3) return AppendNull(out);
      text::AppendWithoutSeparators(out, value);
      return BareNumber(out, start);
    }
    case Form::kReserve:
      if (value.empty()) return AppendNull(out);
      if (!text::IsPlainNumber(value)) Refuse(name, " must be empty or a plain number", value);
      out += value;
      return BareNumber(out, start);
    case Form::kInteger:
      if (!text::IsPlainNumber(value)) Refuse(name, " must be a whole number", value);
      out += value;
      return BareNumber(out, start);
  }
  throw Error(err::kInternal, "Unknown value form for " + std::string(name));
}

}  // namespace sql
}  // namespace kvt710
