#include "cli/common.h"

#include <charconv>
#include <filesystem>
#include <system_error>

#include "platform/db/connection.h"
#include "platform/db/connection_string.h"
#include "platform/db/errors.h"
#include "platform/settings/settings.h"
#include "platform/text/number.h"
#include "policy/area.h"
#include "sql/KVT710H1.h"

namespace kvt710::cli {

std::string SQLiteConnectionString(const std::string& path) {
  if (!path.empty() && path.find_first_of(";\"'") == std::string::npos && path.front() != ' ' &&
      path.back() != ' ')
    return "Provider=SQLite;Data Source=" + path;
  std::string quoted = "\"";
  for (char c : path) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return "Provider=SQLite;Data Source=" + quoted + "\"";
}

int64_t ParseKey(std::string_view text, std::string_view what) {
  int64_t key = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), key);
  if (ec != std::errc() || end != text.data() + text.size() ||
      !text::IsWholeKey(static_cast<double>(key)))
    throw CommandError{kExitUsage, std::string(what) +
                                       " is a customer's unique key, a whole number of at most "
                                       "15 digits: " +
                                       std::string(text.substr(0, 40))};
  return key;
}

std::string ResolveConnectionString(const std::optional<std::string>& db) {
  if (db) {
    if (db->empty())
      throw CommandError{kExitUsage, "--db needs a connection string or a file path"};
    std::error_code ec;
    if ((db->find('=') == std::string::npos && db->find("://") == std::string::npos) ||
        std::filesystem::is_regular_file(*db, ec))
      return SQLiteConnectionString(*db);
    try {
      db::ParseConnectionString(*db);
    } catch (const Error& e) {
      throw CommandError{kExitUsage,
                         "--db takes the path of an SQLite file, a connection string "
                         "(Provider=NAME;KEY=VALUE;...) or a postgresql:// URI: " +
                             e.description()};
    }
    return *db;
  }
  Settings settings = Settings::ForApp();
  std::string where = settings.file().string() + " [" + kCommonSection + "]";
  try {
    settings.CheckReadable();
  } catch (const Error& e) {
    throw CommandError{kExitConfig, e.description() + " (make it readable, or pass --db CONN)"};
  }
  const std::optional<std::string> area = settings.Find(kCommonSection, "area");
  const std::optional<std::string> key =
      policy::ConnectionKeyOfArea(area.value_or(""), policy::AreaReader::kBatchObject);
  if (!key) {
    // The value is compared exactly: " 1" is not 1.
    const std::string stored = area ? " is \"" + *area + "\", not 1 or 2;" : " is not set;";
    throw CommandError{kExitConfig, "No database: \"area\" in " + where + stored +
                                        " set \"area\" to 1 or 2 (kvt710 config set area 1), "
                                        "or pass --db CONN"};
  }
  const std::string value = settings.Get(kCommonSection, *key);
  if (value.empty())
    throw CommandError{kExitConfig, "No database: set \"" + *key + "\" in " + where +
                                        " (kvt710 config set " + *key +
                                        " CONN), or pass --db CONN"};
  try {
    db::CheckConnectionString(value);
  } catch (const Error& e) {
    throw CommandError{kExitConfig, "The connection string in \"" + *key + "\" of " + where +
                                        " cannot be used: " + e.description() +
                                        " (kvt710 config set " + *key + " CONN)"};
  }
  return value;
}

Settings SettingsForDatabase(const std::string& connection_string) {
  Settings file = Settings::ForApp();
  const std::optional<std::string> key = policy::ConnectionKeyOfArea(
      file.Get(kCommonSection, "area"), policy::AreaReader::kBatchObject);
  if (key) return Settings::WithValues({{kCommonSection, *key, connection_string}}, file.file());
  return Settings::WithValues(
      {{kCommonSection, "area", "1"}, {kCommonSection, "DBPARMC", connection_string}}, file.file());
}

std::shared_ptr<db::Connection> OpenDatabase(const std::string& connection_string, Access access) {
  std::string opened = connection_string;
  if (access == Access::kRead) opened = db::WithKey(opened, "Mode", "ReadOnly");
  if (access == Access::kCreate) opened = db::WithKey(opened, "Mode", "ReadWriteCreate");
  auto connection = db::Connection::Create();
  try {
    connection->Open(opened);
  } catch (const Error& e) {
    const bool missing = e.number() == db::kErrNoDatabaseFile;
    throw CommandError{kExitDatabase, "Cannot open the database (" +
                                          db::RedactConnectionString(connection_string) +
                                          "): " + e.description() +
                                          (missing ? " (kvt710 init creates one)" : "")};
  }
  return connection;
}

void RequireCustomerTables(db::Connection& connection) {
  try {
    connection.OpenRecordset("Select Count(*) As CNT From CBASE", db::CursorType::kStatic,
                             db::LockType::kReadOnly);
  } catch (const Error& e) {
    throw CommandError{kExitDatabase, "The database has no customer tables (" + e.description() +
                                          "): create them with kvt710 init"};
  }
}

}  // namespace kvt710::cli
