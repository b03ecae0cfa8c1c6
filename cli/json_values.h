// The host script's JSON form of late-bound values: a string is a String, an
// integral number a Long (a Double past 32 bits), another number a Double,
// true/false a Boolean, null Null, {"missing":true} an omitted argument,
// {"array":[...],"lbound":1} a one-dimensional array and
// {"array":[[...],...],"lbounds":[1,1]} a two-dimensional one (first index
// outer), {"object":"name"} a named object.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/automation/dispatch.h"
#include "platform/sibling/prw520.h"

namespace kvt710::cli {

using ObjectLookup = std::function<std::shared_ptr<Dispatch>(const std::string&)>;

// Objects and arrays nest at most this deep in a script step or an import line.
constexpr int kMaxNesting = 64;

// One line of a script or an import file. Throws nlohmann::json::exception
// for text that is no JSON, and kvt710::Error 13 for nesting deeper than
// kMaxNesting, found while parsing so that no deep tree is ever built.
nlohmann::json ParseLine(const std::string& line);

// The start of `value` as JSON text, cut after about `limit` bytes (and
// written without recursion), for error messages.
std::string Excerpt(const nlohmann::json& value, size_t limit = 80);

// Throws kvt710::Error 13 for a JSON value that is no late-bound value, 9
// for array bounds whose upper end does not fit a 32-bit integer.
Variant ToVariant(const nlohmann::json& value, const ObjectLookup& objects);
nlohmann::json ToJson(const Variant& value);
nlohmann::json ErrorJson(const Error& error);
// {"code":C,"source":S,"error":E,"errors":[{"number","description","sqlstate"}]}
nlohmann::json ReportJson(const Report& report);

// An argument of an import document: a string is a String, a number a Long
// or Double, true/false a Boolean, null Null; a JSON array of values is a
// one-dimensional array with indices from 1, an array of equally long
// arrays a two-dimensional one with subscripts from 1 (rows first); the
// script forms ({"array":...}) are accepted too. Throws kvt710::Error 13
// or 9 as ToVariant does.
Variant ImportValue(const nlohmann::json& value);

}  // namespace kvt710::cli
