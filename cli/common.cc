#include "cli/common.h"

#include "platform/db/connection.h"
#include "platform/db/connection_string.h"
#include "platform/db/errors.h"
#include "platform/settings/settings.h"

namespace kvt710::cli {

std::string SQLiteConnectionString(const std::string& path) {
  if (!path.empty() && path.find_first_of(";\"'") == std::string::npos && path.front() != ' ' &&
      path.back() != ' ')
    return "Provider=SQLite;Data Source=" + path;
  std::string quoted = "\"";
  for (char c : path) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return "Provider=SQLite;Data Source=" + quoted + "\"";
}

std::string ResolveConnectionString(const std::optional<std::string>& db) {
  if (db) {
    if (db->empty())
      throw CommandError{kExitUsage, "--db needs a connection string or a file path"};
    if (db->find('=') == std::string::npos && db->find("://") == std::string::npos)
      return SQLiteConnectionString(*db);
    return *db;
  }
  Settings settings = Settings::ForApp();
  std::string where = settings.file().string() + " [" + kCommonSection + "]";
  std::string area = settings.Get(kCommonSection, "area");
  if (area != "1" && area != "2")
    throw CommandError{kExitConfig, "No database: set \"area\" to 1 or 2 in " + where +
                                        " (kvt710 config set area 1), or pass --db CONN"};
  std::string key = area == "1" ? "DBPARMC" : "DBPARMS";
  std::string value = settings.Get(kCommonSection, key);
  if (value.empty())
    throw CommandError{kExitConfig, "No database: set \"" + key + "\" in " + where +
                                        " (kvt710 config set " + key + " CONN), or pass --db CONN"};
  return value;
}

Settings SettingsForDatabase(const std::string& connection_string) {
  Settings file = Settings::ForApp();
  if (file.Get(kCommonSection, "area") == "2")
    return Settings::WithValues({{kCommonSection, "DBPARMS", connection_string}}, file.file());
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

}  // namespace kvt710::cli
