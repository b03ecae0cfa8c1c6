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

namespace kvt710::cli {

using ObjectLookup = std::function<std::shared_ptr<Dispatch>(const std::string&)>;

// Throws kvt710::Error 13 for a JSON value that is no late-bound value.
Variant ToVariant(const nlohmann::json& value, const ObjectLookup& objects);
nlohmann::json ToJson(const Variant& value);
nlohmann::json ErrorJson(const Error& error);

}  // namespace kvt710::cli
