#include "platform/db/postgres/pg_conninfo.h"

#include <libpq-fe.h>

#include <iterator>
#include <memory>
#include <vector>

#include "platform/automation/error.h"

namespace kvt710::db::postgres {
namespace {

// ADO-style keys (compared without case, blanks and underscores) and the
// libpq keyword each stands for. The password's keys are kPasswordKeys.
struct KeyAlias {
  const char* key;
  const char* keyword;
};

constexpr KeyAlias kAliases[] = {
    {"Host", "host"},
    {"Server", "host"},
    {"Data Source", "host"},
    {"Host Addr", "hostaddr"},
    {"Port", "port"},
    {"Database", "dbname"},
    {"Initial Catalog", "dbname"},
    {"DB Name", "dbname"},
    {"User ID", "user"},
    {"User", "user"},
    {"UID", "user"},
    {"User Name", "user"},
    {"SSL Mode", "sslmode"},
    {"Connect Timeout", "connect_timeout"},
    {"Timeout", "connect_timeout"},
    {"Application Name", "application_name"},
    {"Search Path", "options"},
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

// The libpq keyword of a known key; nullptr for the keys of every provider.
const char* KeywordFor(std::string_view key) {
  if (IsPasswordKey(key)) return "password";
  for (const KeyAlias& alias : kAliases) {
    if (KeysEqual(key, alias.key, KeyRule::kIgnoreCaseBlanksAndUnderscores)) return alias.keyword;
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
  static const std::vector<const char*> known = [] {
    std::vector<const char*> keys;
    for (const KeyAlias& alias : kAliases) keys.push_back(alias.key);
    keys.insert(keys.end(), std::begin(kPasswordKeys), std::end(kPasswordKeys));
    keys.push_back(kModeKey);
    return keys;
  }();
  RefuseUnknownKeys(params, known, KeyRule::kIgnoreCaseBlanksAndUnderscores);
  const bool read_only = AsksReadOnly(params, KeyRule::kIgnoreCaseBlanksAndUnderscores);
  std::string switches;  // the server settings of libpq's "options"
  for (const auto& [key, value] : params.values) {
    const char* keyword = KeywordFor(key);  // none for Mode
    if (keyword == nullptr) continue;
    if (std::string_view(keyword) == "options") {
      switches += " -c search_path=" + OptionValue(value);
      continue;
    }
    info.options.emplace_back(keyword, value);
    if (std::string_view(keyword) == "password") info.password = value;
  }
  if (read_only) switches += " -c default_transaction_read_only=on";
  if (!switches.empty()) info.options.emplace_back("options", switches.substr(1));
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
