#include "platform/db/postgres/pg_conninfo.h"

#include <libpq-fe.h>

#include <cctype>
#include <memory>

#include "platform/automation/error.h"

namespace kvt710::db::postgres {
namespace {

std::string Normalize(std::string_view key) {
  std::string out;
  for (char c : key) {
    if (c == ' ' || c == '_') continue;
    out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return out;
}

// ADO-style keys (compared without case, blanks and underscores) and the
// libpq keyword each stands for.
struct KeyAlias {
  const char* key;
  const char* keyword;
};
constexpr KeyAlias kAliases[] = {
    {"host", "host"},
    {"server", "host"},
    {"datasource", "host"},
    {"hostaddr", "hostaddr"},
    {"port", "port"},
    {"database", "dbname"},
    {"initialcatalog", "dbname"},
    {"dbname", "dbname"},
    {"userid", "user"},
    {"user", "user"},
    {"uid", "user"},
    {"username", "user"},
    {"password", "password"},
    {"pwd", "password"},
    {"sslmode", "sslmode"},
    {"connecttimeout", "connect_timeout"},
    {"timeout", "connect_timeout"},
    {"applicationname", "application_name"},
    {"searchpath", "options"},
};

// A value inside libpq's "options" (command-line switches): blanks and
// backslashes are escaped with a backslash.
std::string OptionValue(std::string_view value) {
  std::string out;
  for (char c : value) {
    if (c == ' ' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

const char* KeywordFor(std::string_view key) {
  const std::string normalized = Normalize(key);
  for (const KeyAlias& alias : kAliases) {
    if (normalized == alias.key) return alias.keyword;
  }
  return nullptr;
}

struct ConninfoOptionsFree {
  void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
};

void AddDefaults(ConnInfo& info) {
  info.options.emplace_back("connect_timeout", "10");
  info.options.emplace_back("keepalives", "1");
  info.options.emplace_back("keepalives_idle", "30");
  info.options.emplace_back("keepalives_interval", "10");
  info.options.emplace_back("keepalives_count", "3");
  info.options.emplace_back("fallback_application_name", "kvt710");
}

void AddUri(ConnInfo& info, const std::string& uri) {
  char* error = nullptr;
  std::unique_ptr<PQconninfoOption, ConninfoOptionsFree> parsed(
      PQconninfoParse(uri.c_str(), &error));
  if (error != nullptr) PQfreemem(error);  // may quote the URI: not passed on
  if (!parsed) {
    throw Error(err::kBadConnectionString,
                "The PostgreSQL connection URI is malformed (see the postgresql:// URI format)");
  }
  for (const PQconninfoOption* option = parsed.get(); option->keyword != nullptr; ++option) {
    if (option->val == nullptr) continue;
    info.options.emplace_back(option->keyword, option->val);
    if (std::string_view(option->keyword) == "password") info.password = option->val;
  }
}

void AddKeys(ConnInfo& info, const ConnectionParameters& params) {
  for (const auto& [key, value] : params.values) {
    const char* keyword = KeywordFor(key);
    if (keyword == nullptr) continue;  // Provider and keys meant for other drivers
    if (std::string_view(keyword) == "options") {
      info.options.emplace_back(keyword, "-c search_path=" + OptionValue(value));
      continue;
    }
    info.options.emplace_back(keyword, value);
    if (std::string_view(keyword) == "password") info.password = value;
  }
}

}  // namespace

ConnInfo BuildConnInfo(const ConnectionParameters& params) {
  ConnInfo info;
  AddDefaults(info);
  if (!params.uri.empty()) {
    AddUri(info, params.uri);
  } else {
    AddKeys(info, params);
  }
  info.options.emplace_back("client_encoding", "UTF8");
  return info;
}

}  // namespace kvt710::db::postgres
