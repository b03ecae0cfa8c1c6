#include "cli/common.h"

#include "platform/db/connection.h"
#include "platform/db/connection_string.h"
#include "platform/settings/settings.h"

namespace kvt710::cli {

std::string ResolveConnectionString(const std::optional<std::string>& db) {
  if (db) return *db;
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

std::shared_ptr<db::Connection> OpenDatabase(const std::string& connection_string) {
  auto connection = db::Connection::Create();
  try {
    connection->Open(connection_string);
  } catch (const Error& e) {
    throw CommandError{kExitDatabase, "Cannot open the database (" +
                                          db::RedactConnectionString(connection_string) +
                                          "): " + e.description()};
  }
  return connection;
}

}  // namespace kvt710::cli
