// The provider registry: maps the upper-cased provider name of a connection
// string to the factory of its backend. Each backend adds one line to the
// table in providers.cc; nothing else names a backend.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/db/backend.h"
#include "platform/db/errors.h"

namespace kvt710::db {

using BackendFactory = std::function<std::unique_ptr<Backend>()>;

// A new, unopened backend for `provider` (compared case-insensitively).
// Throws kvt710::Error 3706 "Provider cannot be found: <name>" when no backend
// serves that provider.
std::unique_ptr<Backend> CreateBackend(const std::string& provider);

// The upper-cased names of the registered providers, sorted.
std::vector<std::string> ProviderNames();

}  // namespace kvt710::db
