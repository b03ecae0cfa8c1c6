#include "test_support.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>

#include "component/server.h"
#include "platform/db/connection.h"
#include "platform/db/connection_string.h"
#include "platform/db/product_schema.h"
#include "platform/db/schema.h"
#include "platform/settings/settings.h"

namespace kvt710::testing_support {
namespace fs = std::filesystem;

// Every test process is a host: the component's objects are registered
// before any test runs, as a host registers them before creating any.
[[maybe_unused]] const bool kServerRegistered = [] {
  RegisterServer();
  return true;
}();

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "kvt710-test-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  if (made == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = made;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

ScopedEnv::ScopedEnv(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
  if (const char* old = std::getenv(name_.c_str())) previous_ = old;
  if (value)
    setenv(name_.c_str(), value->c_str(), 1);
  else
    unsetenv(name_.c_str());
}

ScopedEnv::~ScopedEnv() {
  if (previous_)
    setenv(name_.c_str(), previous_->c_str(), 1);
  else
    unsetenv(name_.c_str());
}

ScopedSettings::ScopedSettings(
    const std::map<std::string, std::map<std::string, std::string>>& values)
    : file_(dir_ / "settings.ini"), env_("KVT710_SETTINGS", file_.string()) {
  std::ofstream(file_) << "";
  for (const auto& [section, entries] : values)
    for (const auto& [key, value] : entries) Set(section, key, value);
}

void ScopedSettings::UseConnection(const std::string& connection_string, const std::string& area) {
  Set(kCommonSection, "area", area);
  Set(kCommonSection, area == "1" ? "DBPARMC" : "DBPARMS", connection_string);
}

void ScopedSettings::Set(const std::string& section, const std::string& key,
                         const std::string& value) {
  Settings(file_).Set(section, key, value);
}

namespace {

// The server's connection string for `backend`, nullptr for SQLite.
const char* ServerVariable(Backend backend) {
  switch (backend) {
    case Backend::kPostgreSQL:
      return "KVT710_TEST_PG";
    case Backend::kMariaDB:
      return "KVT710_TEST_MARIADB";
    case Backend::kPostgresOdbc:
      return "KVT710_TEST_PG_ODBC";
    case Backend::kSQLite:
      break;
  }
  return nullptr;
}

bool IsSet(const char* name, const char* value = nullptr) {
  const char* set = std::getenv(name);
  return set != nullptr && *set != '\0' && (value == nullptr || std::string(set) == value);
}

}  // namespace

std::vector<Backend> TestBackends() {
  std::vector<Backend> backends = {Backend::kSQLite};
  // Cases on a server must not silently vanish in CI: required, a missing
  // server fails them.
  const bool pg = IsSet("KVT710_REQUIRE_PG", "1"), odbc = IsSet("KVT710_REQUIRE_ODBC", "1");
  for (const auto& [backend, required] : {std::pair{Backend::kPostgreSQL, pg},
                                          {Backend::kMariaDB, odbc},
                                          {Backend::kPostgresOdbc, odbc}}) {
    if (required || IsSet(ServerVariable(backend))) backends.push_back(backend);
  }
  return backends;
}

std::string BackendName(const ::testing::TestParamInfo<Backend>& info) {
  constexpr const char* kNames[] = {"SQLite", "PostgreSQL", "MariaDB_ODBC", "PostgreSQL_ODBC"};
  return kNames[static_cast<int>(info.param)];
}

namespace {

std::string PercentEncode(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    }
  }
  return out;
}

std::string ValueText(const Variant& v) {
  if (v.IsNull()) return "NULL";
  return v.ToString();
}

}  // namespace

TestDatabase::TestDatabase(Backend backend) : backend_(backend) {
  if (backend == Backend::kSQLite) {
    connection_string_ = "Provider=SQLite;Data Source=" + (dir_ / "shop.db").string();
    auto connection = db::Connection::Create();
    connection->Open(db::WithKey(connection_string_, "Mode", "ReadWriteCreate"));
    db::CreateProductSchema(*connection);
    return;
  }
  const char* variable = ServerVariable(backend);
  if (!IsSet(variable))
    throw std::runtime_error(std::string(variable) + " is not set: no server for this test");
  const std::string admin = std::getenv(variable);
  db::ConnectionParameters params = db::ParseConnectionString(admin);
  static std::atomic<int> counter{0};
  std::random_device random;
  server_namespace_ = "t" + std::to_string(getpid()) + "_" + std::to_string(counter++) + "_" +
                      std::to_string(random() % 100000);
  auto value = [&](const char* key) { return params.Find(key).value_or(""); };
  auto setup = db::Connection::Create();
  setup->Open(admin);
  if (backend == Backend::kPostgreSQL) {
    setup->Execute("CREATE SCHEMA " + server_namespace_);
    connection_string_ = "postgresql://" + PercentEncode(value("User ID")) + ":" +
                         PercentEncode(value("Password")) + "@" + value("Host") + ":" +
                         value("Port") + "/" + value("Database") + "?options=-csearch_path%3D" +
                         server_namespace_;
  } else if (backend == Backend::kPostgresOdbc) {
    setup->Execute("CREATE SCHEMA " + server_namespace_);
    connection_string_ =
        db::WithKey(admin, "ConnSettings", "{SET search_path TO " + server_namespace_ + "}");
  } else {
    setup->Execute("CREATE DATABASE " + server_namespace_ +
                   " CHARACTER SET utf8mb4 COLLATE utf8mb4_nopad_bin");
    connection_string_ = db::WithKey(admin, "Database", server_namespace_);  // the later counts
  }
  db::CreateProductSchema(*Connect());
}

TestDatabase::~TestDatabase() {
  if (server_namespace_.empty()) return;
  try {
    auto setup = db::Connection::Create();
    setup->Open(std::getenv(ServerVariable(backend_)));
    setup->Execute(backend_ == Backend::kMariaDB ? "DROP DATABASE " + server_namespace_
                                                 : "DROP SCHEMA " + server_namespace_ + " CASCADE");
  } catch (...) {
    // A server that went away takes its schemas with it.
  }
}

std::shared_ptr<db::Connection> TestDatabase::Connect() const {
  auto connection = db::Connection::Create();
  connection->Open(connection_string_);
  return connection;
}

std::vector<std::string> TestDatabase::Column(const std::string& query) const {
  auto connection = Connect();
  auto rs = connection->OpenRecordset(query, db::CursorType::kStatic, db::LockType::kReadOnly);
  std::vector<std::string> values;
  std::string first = rs->FieldNames().at(0);
  for (; !rs->Eof(); rs->MoveNext()) values.push_back(ValueText(rs->Field(first)));
  return values;
}

std::string TestDatabase::Scalar(const std::string& query) const {
  auto values = Column(query);
  return values.empty() ? std::string("<no row>") : values.front();
}

std::vector<std::string> Rows(db::Connection& connection, const std::string& query) {
  auto rs = connection.OpenRecordset(query, db::CursorType::kStatic, db::LockType::kReadOnly);
  std::vector<std::string> rows;
  for (; !rs->Eof(); rs->MoveNext()) {
    std::string row;
    for (const std::string& name : rs->FieldNames())
      row += (row.empty() ? "" : "|") + ValueText(rs->Field(name));
    rows.push_back(row);
  }
  return rows;
}

std::string ReadText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> ReadLines(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string ReadSourceFile(const std::string& relative_path) {
  const fs::path file = fs::path(KVT710_SOURCE_DIR) / relative_path;
  if (!std::ifstream(file)) throw std::runtime_error("cannot read " + relative_path);
  return ReadText(file);
}

}  // namespace kvt710::testing_support
