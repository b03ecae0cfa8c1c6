#include "cli/json_values.h"

#include <cmath>
#include <limits>

namespace kvt710::cli {
namespace {

Error BadValue(const std::string& what) {
  return Error(err::kTypeMismatch, "Not a script value: " + what);
}

}  // namespace

Variant ToVariant(const nlohmann::json& value, const ObjectLookup& objects) {
  using nlohmann::json;
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
        if (value["object"].is_null()) return Variant::Object(nullptr);
        return Variant::Object(objects(value["object"].get<std::string>()));
      }
      if (!value.contains("array") || !value["array"].is_array()) throw BadValue(value.dump());
      const json& items = value["array"];
      auto element = [&](const json& item) { return ToVariant(item, objects); };
      if (value.contains("lbounds")) {
        const json& lb = value["lbounds"];
        if (!lb.is_array() || lb.size() != 2) throw BadValue("lbounds needs two numbers");
        int32_t l1 = lb[0].get<int32_t>(), l2 = lb[1].get<int32_t>();
        int32_t rows = static_cast<int32_t>(items.size());
        int32_t cols = rows > 0 ? static_cast<int32_t>(items[0].size()) : 0;
        auto array = std::make_shared<SafeArray>(
            std::vector<SafeArray::Bounds>{{l1, l1 + rows - 1}, {l2, l2 + cols - 1}});
        for (int32_t r = 0; r < rows; ++r) {
          if (!items[r].is_array() || static_cast<int32_t>(items[r].size()) != cols)
            throw BadValue("every row of a two-dimensional array needs the same length");
          for (int32_t c = 0; c < cols; ++c) array->At(l1 + r, l2 + c) = element(items[r][c]);
        }
        return Variant::Array(array);
      }
      int32_t l = value.value("lbound", 0);
      int32_t n = static_cast<int32_t>(items.size());
      auto array = std::make_shared<SafeArray>(std::vector<SafeArray::Bounds>{{l, l + n - 1}});
      for (int32_t i = 0; i < n; ++i) array->At(l + i) = element(items[i]);
      return Variant::Array(array);
    }
    default:
      throw BadValue(value.dump());
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
        for (int32_t i = b.lower; i <= b.upper; ++i) items.push_back(ToJson(array->At(i)));
        return {{"array", items}, {"lbound", b.lower}};
      }
      auto b1 = array->bounds(1), b2 = array->bounds(2);
      for (int32_t i = b1.lower; i <= b1.upper; ++i) {
        nlohmann::json row = nlohmann::json::array();
        for (int32_t j = b2.lower; j <= b2.upper; ++j) row.push_back(ToJson(array->At(i, j)));
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
    const auto cols = static_cast<int32_t>(value[0].size());
    auto array = std::make_shared<SafeArray>(std::vector<SafeArray::Bounds>{{1, n}, {1, cols}});
    for (int32_t r = 0; r < n; ++r) {
      const nlohmann::json& row = value[static_cast<size_t>(r)];
      if (!row.is_array() || static_cast<int32_t>(row.size()) != cols)
        throw BadValue("every row of a two-dimensional array needs the same length");
      for (int32_t c = 0; c < cols; ++c) {
        if (row[static_cast<size_t>(c)].is_array())
          throw BadValue("arrays have at most two dimensions");
        array->At(r + 1, c + 1) = ToVariant(row[static_cast<size_t>(c)], no_objects);
      }
    }
    return Variant::Array(array);
  }
  auto array = std::make_shared<SafeArray>(std::vector<SafeArray::Bounds>{{1, n}});
  for (int32_t i = 0; i < n; ++i) {
    const nlohmann::json& item = value[static_cast<size_t>(i)];
    if (item.is_array()) throw BadValue("a one-dimensional array cannot hold an array");
    array->At(i + 1) = ToVariant(item, no_objects);
  }
  return Variant::Array(array);
}

}  // namespace kvt710::cli
