// Module KVT710H1: quote doubling and the value forms.
#include "sql/KVT710H1.h"

#include <cstdint>

#include "platform/automation/error.h"
#include "platform/text/ascii.h"
#include "platform/text/date.h"
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

void AppendNull(std::string& out) {
  out += "Null";
}

// 'text', its quotes doubled, appended to `out`.
void AppendQuoted(std::string& out, std::string_view text) {
  out += '\'';
  AppendDoubled(out, text);
  out += '\'';
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
  std::string out;
  RenderTo(out, form, value, name, now);
  return out;
}

void RenderTo(std::string& out, Form form, std::string_view value, std::string_view name,
              const DateTime& now) {
  if (form != Form::kTimestamp && form != Form::kInteger && !text::IsValidText(value))
    throw Error(err::kInvalidCall, std::string(name) + " is not valid text (UTF-8 without NUL)");

  // Trimming removes blanks only, so it commutes with the quote doubling.
  switch (form) {
    case Form::kKey:
      if (!text::IsKeyNumber(value))
        Refuse(name, " must be a plain number of at most 15 significant digits", value);
      out += value;
      return;
    case Form::kQuotedUnchanged:
      AppendQuoted(out, value);
      return;
    case Form::kNumber:
      if (!IsNumeric(value)) return AppendNull(out);
      text::AppendWithoutSeparators(out, value);
      return;
    case Form::kQuotedNumber:
      if (!IsNumeric(value)) return AppendNull(out);
      AppendQuoted(out, Trim(value));  // a numeric text holds no quote
      return;
    case Form::kWholeNumber:
      if (!IsNumeric(value)) return AppendNull(out);
      out += *text::WholeNumber(value);
      return;
    case Form::kText:
    case Form::kPlainText:
      if (IsBlank(value)) return AppendNull(out);
      AppendQuoted(out, Trim(value));
      return;
    case Form::kDate: {
      const std::optional<DateTime> date = text::ReadDate(value);
      if (!date) return AppendNull(out);
      out += '\'';
      text::AppendDate(out, *date);
      out += '\'';
      return;
    }
    case Form::kTimestamp:
      out += '\'';
      text::AppendDateTime(out, now);
      out += '\'';
      return;
    case Form::kNumberOrZero:
      if (IsNumeric(value)) {
        text::AppendWithoutSeparators(out, value);
      } else {
        out += '0';
      }
      return;
    case Form::kUntrimmedPhone:
      if (IsBlank(value)) return AppendNull(out);
      AppendQuoted(out, value);
      return;
    case Form::kUntrimmedText:
      if (value.empty()) return AppendNull(out);
      AppendQuoted(out, value);
      return;
    case Form::kMonthDay: {
      const std::optional<DateTime> date = text::ReadDate(value);
      if (!date) return AppendNull(out);
      text::AppendMonthDay(out, *date);
      return;
    }
    case Form::kSideCode: {
      if (!IsNumeric(value)) return AppendNull(out);
      const std::optional<int32_t> rounded = text::ToLongHalfEven(value);
      if (!rounded) throw Error(err::kOverflow, std::string(name) + " overflows");
      if (*rounded < 1 || *rounded > 3) return AppendNull(out);
      text::AppendWithoutSeparators(out, value);
      return;
    }
    case Form::kReserve:
      if (value.empty()) return AppendNull(out);
      if (!text::IsPlainNumber(value)) Refuse(name, " must be empty or a plain number", value);
      out += value;
      return;
    case Form::kInteger:
      if (!text::IsPlainNumber(value)) Refuse(name, " must be a whole number", value);
      out += value;
      return;
  }
  throw Error(err::kInternal, "Unknown value form for " + std::string(name));
}

}  // namespace sql
}  // namespace kvt710
