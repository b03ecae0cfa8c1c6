// Variant: the value type of late-bound calls. It holds what an automation
// argument or result can hold: Empty, Missing (an omitted optional
// argument), Null, Boolean (true converts to -1), 16- and 32-bit integers,
// Double, Date, String (UTF-8), an object reference and an array.
//
// Conversions follow automation's rules and throw kvt710::Error 13 (type
// mismatch), 6 (overflow), 94 (invalid use of Null) or 449 (a Missing value)
// where automation would fail.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "platform/text/date.h"

namespace kvt710 {

class Dispatch;
class SafeArray;

// A calendar date with a time of day (local time, no zone).
using DateTime = text::DateTime;

class Variant {
 public:
  enum class Type {
    kEmpty,
    kMissing,
    kNull,
    kBoolean,
    kInteger,
    kLong,
    kDouble,
    kDate,
    kString,
    kObject,
    kArray
  };

  Variant() = default;  // Empty
  static Variant Missing();
  static Variant Null();
  static Variant Boolean(bool value);
  static Variant Integer(int16_t value);
  static Variant Long(int32_t value);
  static Variant Double(double value);
  static Variant Date(DateTime value);
  static Variant String(std::string value);
  static Variant Object(std::shared_ptr<Dispatch> value);
  static Variant Array(std::shared_ptr<SafeArray> value);

  Type type() const { return type_; }
  bool IsEmpty() const { return type_ == Type::kEmpty; }
  bool IsMissing() const { return type_ == Type::kMissing; }
  bool IsNull() const { return type_ == Type::kNull; }
  bool IsString() const { return type_ == Type::kString; }
  bool IsObject() const { return type_ == Type::kObject; }
  bool IsArray() const { return type_ == Type::kArray; }

  // Automation conversions. Strings convert to numbers when they pass the
  // numeric test; Null converts to nothing but a Variant (error 94).
  std::string ToString() const;
  int16_t ToInteger() const;
  int32_t ToLong() const;
  double ToDouble() const;
  bool ToBool() const;
  DateTime ToDate() const;
  std::shared_ptr<Dispatch> ToObject() const;  // Empty or Null object gives nullptr
  std::shared_ptr<SafeArray> ToArray() const;

  // The raw String held; requires type() == kString.
  const std::string& string_ref() const;

  friend bool operator==(const Variant& a, const Variant& b);

 private:
  template <class T>
  static Variant Make(Type type, T value) {
    Variant v;
    v.type_ = type;
    v.value_.template emplace<T>(std::move(value));
    return v;
  }

  Type type_ = Type::kEmpty;
  std::variant<std::monostate, bool, int16_t, int32_t, double, DateTime, std::string,
               std::shared_ptr<Dispatch>, std::shared_ptr<SafeArray>>
      value_;
};

// Name of a variant type as automation's TypeName would give it.
const char* TypeName(Variant::Type type);

}  // namespace kvt710
