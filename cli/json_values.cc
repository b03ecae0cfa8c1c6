#include "cli/json_values.h"

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "platform/text/utf8.h"

namespace kvt710::cli {
namespace {

using nlohmann::json;

Error BadValue(const std::string& what) {
  return Error(err::kTypeMismatch, "Not a script value: " + what);
}

std::string DumpScalar(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// An array's lower bound: a whole number of 32 bits.
int64_t LowerBound(const json& value, const char* name) {
  if (!value.is_number_integer()) throw BadValue(std::string(name) + " needs whole numbers");
  if (value.is_number_unsigned() &&
      value.get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
    throw Error(err::kSubscript, std::string(name) + " does not fit 32 bits: " + value.dump());
  return value.get<int64_t>();
}

// The length of every row of a two-dimensional array, checked before the
// array is made.
int64_t Columns(const json& rows) {
  const int64_t columns = rows.empty() ? 0 : static_cast<int64_t>(rows[0].size());
  for (const json& row : rows)
    if (!row.is_array() || static_cast<int64_t>(row.size()) != columns)
      throw BadValue("every row of a two-dimensional array needs the same length");
  return columns;
}

}  // namespace

json ParseLine(const std::string& line) {
  json::parser_callback_t limit_depth = [](int depth, json::parse_event_t event, json&) {
    if ((event == json::parse_event_t::object_start || event == json::parse_event_t::array_start) &&
        depth >= kMaxNesting)
      throw Error(err::kTypeMismatch,
                  "Objects and arrays nest deeper than " + std::to_string(kMaxNesting) + " levels");
    return true;
  };
  return json::parse(line, limit_depth);
}

std::string Excerpt(const json& value, size_t limit) {
  std::string text;
  // The containers being written, each with its next member.
  std::vector<std::pair<const json*, json::const_iterator>> open;
  const json* next = &value;
  while (text.size() <= limit) {
    if (next != nullptr) {
      if (next->is_structured() && !next->empty()) {
        text += next->is_object() ? '{' : '[';
        open.emplace_back(next, next->cbegin());
      } else if (next->is_string() && next->get_ref<const std::string&>().size() > limit) {
        text += DumpScalar(next->get_ref<const std::string&>().substr(0, limit));
      } else {
        text += DumpScalar(*next);
      }
      next = nullptr;
      continue;
    }
    if (open.empty()) return text;
    auto& [container, member] = open.back();
    if (member == container->cend()) {
      text += container->is_object() ? '}' : ']';
      open.pop_back();
      continue;
    }
    if (member != container->cbegin()) text += ',';
    if (container->is_object()) text += DumpScalar(member.key()) + ':';
    next = &*member;
    ++member;
  }
  text.resize(text::Utf8Prefix(text, limit).size());
  return text + "...";
}

Variant ToVariant(const json& value, const ObjectLookup& objects) {
  switch (value.type()) {
    case json::value_t::null:
      return Variant::Null();
    case json::value_t::boolean:
      return Variant::Boolean(value.get<bool>());
    case json::value_t::string:
      return Variant::String(value.get<std::string>());
    case json::value_t::number_integer:
    case json::value_t::number_unsigned: {
      if (value.is_number_unsigned() &&
          value.get<uint64_t>() > static_cast<uint64_t>(std::numeric_limits<int32_t>::max()))
        return Variant::Double(value.get<double>());
      int64_t n = value.get<int64_t>();
      if (n < std::numeric_limits<int32_t>::min() || n > std::numeric_limits<int32_t>::max())
        return Variant::Double(static_cast<double>(n));
      return Variant::Long(static_cast<int32_t>(n));
    }
    case json::value_t::number_float:
      return Variant::Double(value.get<double>());
    case json::value_t::object: {
      if (value.contains("missing")) return Variant::Missing();
      if (value.contains("object")) {
        const json& name = value["object"];
        if (name.is_null()) return Variant::Object(nullptr);
        if (!name.is_string()) throw BadValue("\"object\" names an object: " + Excerpt(value));
        return Variant::Object(objects(name.get<std::string>()));
      }
      if (!value.contains("array") || !value["array"].is_array()) throw BadValue(Excerpt(value));
      const json& items = value["array"];
      auto element = [&](const json& item) { return ToVariant(item, objects); };
      if (value.contains("lbounds")) {
        const json& lb = value["lbounds"];
        if (!lb.is_array() || lb.size() != 2) throw BadValue("lbounds needs two numbers");
        const auto rows = static_cast<int64_t>(items.size());
        const int64_t cols = Columns(items);
        const SafeArray::Bounds b1 = SafeArray::Bounds::Of(LowerBound(lb[0], "lbounds"), rows);
        const SafeArray::Bounds b2 = SafeArray::Bounds::Of(LowerBound(lb[1], "lbounds"), cols);
        auto array = std::make_shared<SafeArray>(std::vector<SafeArray::Bounds>{b1, b2});
        for (int32_t r = 0; r < rows; ++r) {
          const json& row = items[static_cast<size_t>(r)];
          for (int32_t c = 0; c < cols; ++c)
            array->At(b1.lower + r, b2.lower + c) = element(row[static_cast<size_t>(c)]);
        }
        return Variant::Array(array);
      }
      const SafeArray::Bounds b = SafeArray::Bounds::Of(
          value.contains("lbound") ? LowerBound(value["lbound"], "lbound") : 0,
          static_cast<int64_t>(items.size()));
      auto array = std::make_shared<SafeArray>(std::vector<SafeArray::Bounds>{b});
      for (int32_t i = 0; i < b.count(); ++i)
        array->At(b.lower + i) = element(items[static_cast<size_t>(i)]);
      return Variant::Array(array);
    }
    default:
      throw BadValue(Excerpt(value));
  }
}

nlohmann::json ToJson(const Variant& value) {
  using T = Variant::Type;
  switch (value.type()) {
    case T::kEmpty:
    case T::kMissing:
    case T::kNull:
      return nullptr;
    case T::kBoolean:
      return value.ToBool();
    case T::kInteger:
    case T::kLong:
      return value.ToLong();
    case T::kDouble: {
      double d = value.ToDouble();
      if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 9e15)
        return static_cast<int64_t>(d);
      return d;
    }
    case T::kDate:
    case T::kString:
      return value.ToString();
    case T::kObject:
      return nlohmann::json{{"object", value.ToObject() != nullptr}};
    case T::kArray: {
      auto array = value.ToArray();
      nlohmann::json items = nlohmann::json::array();
      if (array->dims() == 1) {
        auto b = array->bounds(1);
        for (int64_t i = b.lower; i <= b.upper; ++i)
          items.push_back(ToJson(array->At(static_cast<int32_t>(i))));
        return {{"array", items}, {"lbound", b.lower}};
      }
      auto b1 = array->bounds(1), b2 = array->bounds(2);
      for (int64_t i = b1.lower; i <= b1.upper; ++i) {
        nlohmann::json row = nlohmann::json::array();
        for (int64_t j = b2.lower; j <= b2.upper; ++j)
          row.push_back(ToJson(array->At(static_cast<int32_t>(i), static_cast<int32_t>(j))));
        items.push_back(row);
      }
      return {{"array", items}, {"lbounds", {b1.lower, b2.lower}}};
    }
  }
  return nullptr;
}

nlohmann::json ErrorJson(const Error& error) {
  return {
      {"number", error.number()}, {"description", error.description()}, {"source", error.source()}};
}

nlohmann::json ReportJson(const Report& report) {
  nlohmann::json errors = nlohmann::json::array();
  for (const ReportedProviderError& e : report.errors)
    errors.push_back(
        {{"number", e.number}, {"description", e.description}, {"sqlstate", e.sqlstate}});
  return {{"code", ToJson(report.code)},
          {"source", report.source},
          {"error",
           {{"number", report.error_number},
            {"description", report.error_description},
            {"source", report.error_source}}},
          {"errors", errors}};
}

Variant ImportValue(const nlohmann::json& value) {
  auto no_objects = [](const std::string& name) -> std::shared_ptr<Dispatch> {
    throw Error(err::kTypeMismatch, "An import document cannot name an object: " + name);
  };
  if (!value.is_array()) return ToVariant(value, no_objects);
  const auto n = static_cast<int32_t>(value.size());
  if (n > 0 && value[0].is_array()) {
    const auto cols = static_cast<int32_t>(Columns(value));
    auto array = std::make_shared<SafeArray>(std::vector<SafeArray::Bounds>{
        SafeArray::Bounds::Of(1, n), SafeArray::Bounds::Of(1, cols)});
    for (int32_t r = 0; r < n; ++r) {
      const nlohmann::json& row = value[static_cast<size_t>(r)];
      for (int32_t c = 0; c < cols; ++c) {
        if (row[static_cast<size_t>(c)].is_array())
          throw BadValue("arrays have at most two dimensions");
        array->At(r + 1, c + 1) = ToVariant(row[static_cast<size_t>(c)], no_objects);
      }
    }
    return Variant::Array(array);
  }
  auto array =
      std::make_shared<SafeArray>(std::vector<SafeArray::Bounds>{SafeArray::Bounds::Of(1, n)});
  for (int32_t i = 0; i < n; ++i) {
    const nlohmann::json& item = value[static_cast<size_t>(i)];
    if (item.is_array()) throw BadValue("a one-dimensional array cannot hold an array");
    array->At(i + 1) = ToVariant(item, no_objects);
  }
  return Variant::Array(array);
}

}  // namespace kvt710::cli
