#include "platform/db/providers.h"

#include <cctype>
#include <map>

#include "platform/automation/error.h"
#include "platform/db/postgres/postgres_backend.h"
#include "platform/db/sqlite/sqlite_backend.h"
#include "platform/text/ascii.h"

namespace kvt710::db {
namespace {

const std::map<std::string, BackendFactory>& Registry() {
  static const std::map<std::string, BackendFactory> registry = {
      {"POSTGRESQL", [] { return NewPostgresBackend(); }},
      {"SQLITE", [] { return NewSqliteBackend(); }},
      // Further backends: {"NAME", [] { return NewNameBackend(); }},
  };
  return registry;
}

}  // namespace

std::unique_ptr<Backend> CreateBackend(const std::string& provider) {
  const std::string name = text::ToUpperAscii(provider);
  const auto it = Registry().find(name);
  if (it == Registry().end()) {
    throw Error(err::kBadConnectionString, "Provider cannot be found: " + provider,
                "ADODB.Connection");
  }
  return it->second();
}

FailureKind ClassifyFailure(const ProviderError& error) {
  // Keyed by the source that each backend gives its failures.
  static const std::map<std::string, FailureKind (*)(const ProviderError&)> classifiers = {
      {"PostgreSQL", ClassifyPostgresFailure},
      {"SQLite", ClassifySqliteFailure},
  };
  const auto it = classifiers.find(error.source);
  return it == classifiers.end() ? FailureKind::kOther : it->second(error);
}

std::vector<std::string> ProviderNames() {
  std::vector<std::string> names;
  for (const auto& entry : Registry()) names.push_back(entry.first);
  return names;
}

}  // namespace kvt710::db
