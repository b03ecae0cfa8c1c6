// `kvt710 methods`: the methods an import line may call and their
// parameters, listed from the writers' own parameter lists and tables, and
// as a JSON Schema of one import line.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace kvt710::cli {

// A JSON Schema (draft 2020-12) of one line of `kvt710 import`.
nlohmann::ordered_json ImportLineSchema();

// Lists the methods, or the parameters of `method` (any case); with
// `json_schema`, prints ImportLineSchema() instead. Throws CommandError
// (exit code 2) naming the nearest method for an unknown one.
int MethodsCommand(const std::optional<std::string>& method, bool json_schema, std::ostream& out);

}  // namespace kvt710::cli
