// The provider registry: maps the upper-cased provider name of a connection
// string to the factory of its backend. Each backend adds one line to the
// default table in providers.cc; nothing else names a backend. Tests replace
// a factory, or wrap every backend created (BackendWrapper, backend.h).
// Thread-safe.
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

// Registers or replaces the factory of `provider` (compared case-insensitively);
// an empty factory removes it. Returns the factory it replaced (empty when
// none), so that a test can restore it.
BackendFactory RegisterProvider(const std::string& provider, BackendFactory factory);

// Makes CreateBackend hand every new backend to `wrap` and return what it
// returns; an empty `wrap` wraps nothing. Returns the previous one.
using BackendWrap = std::function<std::unique_ptr<Backend>(std::unique_ptr<Backend>)>;
BackendWrap WrapBackends(BackendWrap wrap);

// The upper-cased names of the registered providers, sorted.
std::vector<std::string> ProviderNames();

}  // namespace kvt710::db
