#include "platform/db/providers.h"

#include <map>
#include <mutex>

#include "platform/automation/error.h"
#include "platform/db/odbc/odbc_backend.h"
#include "platform/db/postgres/postgres_backend.h"
#include "platform/db/sqlite/sqlite_backend.h"
#include "platform/text/ascii.h"

namespace kvt710::db {
namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, BackendFactory> factories = {
      {"ODBC", [] { return NewOdbcBackend(); }},
      {"POSTGRESQL", [] { return NewPostgresBackend(); }},
      {"SQLITE", [] { return NewSqliteBackend(); }},
      // Further backends: {"NAME", [] { return NewNameBackend(); }},
  };
  BackendWrap wrap;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

std::unique_ptr<Backend> CreateBackend(const std::string& provider) {
  BackendFactory factory;
  BackendWrap wrap;
  {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const auto it = registry.factories.find(text::ToUpperAscii(provider));
    if (it != registry.factories.end()) factory = it->second;
    wrap = registry.wrap;
  }
  if (!factory) {
    throw Error(err::kBadConnectionString, "Provider cannot be found: " + provider,
                "ADODB.Connection");
  }
  std::unique_ptr<Backend> backend = factory();
  if (wrap) return wrap(std::move(backend));
  return backend;
}

BackendFactory RegisterProvider(const std::string& provider, BackendFactory factory) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  const std::string name = text::ToUpperAscii(provider);
  BackendFactory previous;
  if (const auto it = registry.factories.find(name); it != registry.factories.end()) {
    previous = std::move(it->second);
    registry.factories.erase(it);
  }
  if (factory) registry.factories.emplace(name, std::move(factory));
  return previous;
}

BackendWrap WrapBackends(BackendWrap wrap) {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  std::swap(registry.wrap, wrap);
  return wrap;
}

FailureKind ClassifyFailure(const ProviderError& error) {
  // Keyed by the source that each backend gives its failures.
  static const std::map<std::string, FailureKind (*)(const ProviderError&)> classifiers = {
      {"ODBC", ClassifyOdbcFailure},
      {"PostgreSQL", ClassifyPostgresFailure},
      {"SQLite", ClassifySqliteFailure},
  };
  const auto it = classifiers.find(error.source);
  return it == classifiers.end() ? FailureKind::kOther : it->second(error);
}

std::vector<std::string> ProviderNames() {
  Registry& registry = TheRegistry();
  std::lock_guard lock(registry.mutex);
  std::vector<std::string> names;
  for (const auto& entry : registry.factories) names.push_back(entry.first);
  return names;
}

}  // namespace kvt710::db
