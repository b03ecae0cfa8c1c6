#include "cli/methods.h"

#include <algorithm>
#include <iomanip>
#include <ostream>
#include <vector>

#include "batch/KVT710C3.h"
#include "cli/common.h"
#include "platform/text/ascii.h"
#include "platform/text/nearest.h"
#include "sql/table.h"

namespace kvt710::cli {
namespace {

using nlohmann::ordered_json;
using Method = KVT710C3::MethodInfo;
using Type = sql::ParamInfo::Type;

constexpr const char* kFamily = "(family grouping)";

std::string Join(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : ", ") + word;
  return text;
}

std::string TypeText(const sql::ParamInfo& p) {
  switch (p.type) {
    case Type::kText:
      return "text";
    case Type::kNumber:
      return "number";
    case Type::kArray:
      return "array of " + std::to_string(p.rows);
    case Type::kArray2:
      return "two-dimensional array of " + std::to_string(p.rows) + "x" + std::to_string(p.cols);
  }
  return "";
}

// The columns a parameter feeds; a run of more than two as "first .. last (n)".
std::string FeedsText(const Method& method, const sql::ParamInfo& p) {
  if (method.table.empty()) return kFamily;
  if (p.columns.empty()) return "-";
  if (p.columns.size() > 2)
    return p.columns.front() + " .. " + p.columns.back() + " (" + std::to_string(p.columns.size()) +
           " columns)";
  return Join(p.columns);
}

const Method& FindMethod(const std::string& name) {
  std::vector<std::string> names;
  for (const Method& method : KVT710C3::ImportMethods()) {
    if (text::EqualsIgnoreCase(method.name, name)) return method;
    names.push_back(method.name);
  }
  std::string message = "no import method '" + name + "'";
  const std::string nearest = text::Nearest(name, names);
  if (!nearest.empty()) message += "; did you mean '" + nearest + "'?";
  throw CommandError{kExitUsage, message + " (methods: " + Join(names) + ")"};
}

void PrintMethods(std::ostream& out) {
  for (const Method& method : KVT710C3::ImportMethods()) {
    const size_t required = static_cast<size_t>(std::count_if(
        method.params.begin(), method.params.end(), [](const auto& p) { return !p.optional; }));
    out << std::left << std::setw(18) << method.name << std::setw(19)
        << (method.table.empty() ? kFamily : method.table) << method.params.size()
        << (method.params.size() == 1 ? " parameter, " : " parameters, ") << required
        << " required\n";
  }
  out << "\nkvt710 methods NAME lists one method's parameters; kvt710 methods --json-schema "
         "prints a JSON Schema of an import line.\n";
}

void PrintMethod(const Method& method, std::ostream& out) {
  out << method.name << ": writes " << (method.table.empty() ? kFamily : method.table)
      << "; parameters in call order\n";
  size_t width = 9;
  for (const sql::ParamInfo& p : method.params) width = std::max(width, p.name.size());
  out << std::left << std::setw(static_cast<int>(width) + 2) << "Parameter" << std::setw(32)
      << "Type" << std::setw(10) << "Required"
      << "Feeds\n";
  for (const sql::ParamInfo& p : method.params)
    out << std::setw(static_cast<int>(width) + 2) << p.name << std::setw(32) << TypeText(p)
        << std::setw(10) << (p.optional ? "optional" : "required") << FeedsText(method, p) << "\n";
}

ordered_json ParamSchema(const sql::ParamInfo& p) {
  const ordered_json scalar = {{"type", {"string", "number", "null"}}};
  auto array = [](int32_t n, ordered_json items) {
    return ordered_json{
        {"type", "array"}, {"minItems", n}, {"maxItems", n}, {"items", std::move(items)}};
  };
  ordered_json schema;
  switch (p.type) {
    case Type::kText:
    case Type::kNumber:
      schema = scalar;
      break;
    case Type::kArray:
      schema = array(p.rows, scalar);
      break;
    case Type::kArray2:
      schema = array(p.rows, array(p.cols, scalar));
      break;
  }
  schema["description"] = TypeText(p) + (p.columns.empty() ? "" : ", feeds " + Join(p.columns));
  return schema;
}

}  // namespace

ordered_json ImportLineSchema() {
  ordered_json calls = ordered_json::array();
  for (const Method& method : KVT710C3::ImportMethods()) {
    ordered_json properties = ordered_json::object(), required = ordered_json::array();
    for (const sql::ParamInfo& p : method.params) {
      properties[p.name] = ParamSchema(p);
      if (!p.optional) required.push_back(p.name);
    }
    ordered_json args = {{"type", "object"},
                         {"description", method.table.empty() ? kFamily : method.table},
                         {"properties", properties},
                         {"required", required},
                         {"additionalProperties", false}};
    calls.push_back({{"type", "object"},
                     {"properties", {{method.name, args}}},
                     {"required", {method.name}},
                     {"additionalProperties", false}});
  }
  return {
      {"$schema", "https://json-schema.org/draft/2020-12/schema"},
      {"title", "kvt710 import line"},
      {"description",
       "One customer a line: its key, the calls that write it in order, and whether it is "
       "deleted instead. Parameter names are matched in any case by kvt710 import; this schema "
       "expects them as documented (kvt710 methods NAME). Arrays hold elements 1 to n; the "
       "script forms of arrays ({\"array\":...}) are accepted by the import but not here."},
      {"type", "object"},
      {"properties",
       {{"key", {{"type", {"string", "integer"}}, {"description", "The customer's unique key"}}},
        {"calls", {{"type", "array"}, {"items", {{"oneOf", calls}}}}},
        {"delete", {{"type", "boolean"}}}}},
      {"required", {"key"}},
      {"additionalProperties", false}};
}

int MethodsCommand(const std::optional<std::string>& method, bool json_schema, std::ostream& out) {
  if (json_schema) {
    out << ImportLineSchema().dump(2) << "\n";
  } else if (method) {
    PrintMethod(FindMethod(*method), out);
  } else {
    PrintMethods(out);
  }
  return 0;
}

}  // namespace kvt710::cli
