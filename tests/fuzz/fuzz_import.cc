// libFuzzer target: the bytes of an import file, read by ImportStream into an
// SQLite database of the real schema (one database for the whole run, its
// tables emptied before each input).
//
// The property, checked line by line as the import goes: a blank line
// counts for nothing; every other line is imported, or rejected with one
// rejects entry that names its line number and gives a reason. A rejected
// line commits nothing (the database's data version does not move), and
// when no row held its key before, none does after.
#include <sqlite3.h>
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <streambuf>
#include <string>

#include <nlohmann/json.hpp>

#include "catalogue/catalogue.h"
#include "cli/import.h"
#include "cli/show.h"
#include "component/server.h"
#include "platform/db/connection.h"
#include "platform/db/product_schema.h"
#include "platform/db/sqlite/date_collation.h"

namespace kvt710::fuzz {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

[[noreturn]] void Violation(const std::string& what) {
  std::fprintf(stderr, "IMPORT PROPERTY VIOLATED: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

// Hands out its text one line at a time and calls `done` once a line that
// ended with a newline has been consumed and the reader asks for the next:
// by then ImportStream has imported or rejected it.
class LineByLine : public std::streambuf {
 public:
  LineByLine(std::string text, std::function<void()> done)
      : text_(std::move(text)), done_(std::move(done)) {}

  // The last line, when it had no newline, is finished once reading ends.
  void Finish() {
    if (pending_) {
      pending_ = false;
      done_();
    }
  }

 protected:
  int_type underflow() override {
    if (gptr() != nullptr && gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (pending_ && text_[next_ - 1] == '\n') {
      pending_ = false;
      done_();
    }
    if (next_ == text_.size()) return traits_type::eof();
    size_t end = text_.find('\n', next_);
    end = end == std::string::npos ? text_.size() : end + 1;
    char* base = text_.data();
    setg(base + next_, base + next_, base + end);
    next_ = end;
    pending_ = true;
    return traits_type::to_int_type(*gptr());
  }

 private:
  std::string text_;
  std::function<void()> done_;
  size_t next_ = 0;
  bool pending_ = false;
};

class Database {
 public:
  explicit Database(const fs::path& file) {
    if (sqlite3_open_v2(file.c_str(), &db_, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
      Violation("set-up: cannot open " + file.string());
    sqlite3_busy_timeout(db_, 5000);
    sqlite3_create_collation_v2(db_, db::sqlite::kDateCollation, SQLITE_UTF8, nullptr, &Collate,
                                nullptr);
  }
  ~Database() { sqlite3_close_v2(db_); }

  void Exec(const std::string& sql) {
    char* message = nullptr;
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      std::string why = message ? message : "?";
      sqlite3_free(message);
      Violation("set-up: " + sql + ": " + why);
    }
  }

  // Changes when another connection commits.
  int64_t DataVersion() { return Integer("PRAGMA data_version", nullptr); }

  // Rows of the ten tables whose key column holds `key`.
  int64_t RowsOf(const std::string& key) {
    int64_t rows = 0;
    for (const catalogue::TableInfo& table : catalogue::Tables())
      rows += Integer(
          "Select Count(*) From " + table.name + " Where " + table.customer_key + " = ?", &key);
    return rows;
  }

 private:
  static int Collate(void*, int n1, const void* p1, int n2, const void* p2) {
    return db::sqlite::CompareCollationDates(
        std::string_view(static_cast<const char*>(p1), static_cast<size_t>(n1)),
        std::string_view(static_cast<const char*>(p2), static_cast<size_t>(n2)));
  }

  int64_t Integer(const std::string& sql, const std::string* parameter) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
      Violation("set-up: " + sql + ": " + sqlite3_errmsg(db_));
    if (parameter)
      sqlite3_bind_text(statement, 1, parameter->data(), static_cast<int>(parameter->size()),
                        SQLITE_TRANSIENT);
    if (sqlite3_step(statement) != SQLITE_ROW) Violation("set-up: " + sql + " gave no row");
    const int64_t value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return value;
  }

  sqlite3* db_ = nullptr;
};

struct Setup {
  fs::path dir;
  std::unique_ptr<Database> database;
  std::unique_ptr<cli::Importer> importer;

  Setup() {
    RegisterServer();
    const fs::path base = fs::is_directory("/dev/shm") ? "/dev/shm" : fs::temp_directory_path();
    std::string pattern = (base / "kvt710-fuzz-import-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) Violation("set-up: cannot create a temporary folder");
    dir = pattern;
    // Settings of this run only, never the user's.
    std::ofstream(dir / "settings.ini") << "[QTMS\\Common]\narea=1\n";
    setenv("KVT710_SETTINGS", (dir / "settings.ini").c_str(), 1);
    const std::string connection_string =
        "Provider=SQLite;Data Source=" + (dir / "shop.db").string();
    {
      auto connection = db::Connection::Create();
      connection->Open(connection_string + ";Mode=ReadWriteCreate");
      db::CreateProductSchema(*connection);
    }
    database = std::make_unique<Database>(dir / "shop.db");
    importer = std::make_unique<cli::Importer>(connection_string);
  }

  ~Setup() {
    importer.reset();
    database.reset();
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
};

bool IsBlank(const std::string& line) {
  return line.find_first_not_of(" \t\r") == std::string::npos;
}

// The document's key as the import reads it, when the line has one.
std::optional<std::string> KeyOf(const std::string& line) {
  const json document = json::parse(line, nullptr, false);
  if (!document.is_object() || !document.contains("key")) return std::nullopt;
  const json& key = document["key"];
  if (key.is_string()) return key.get<std::string>();
  if (key.is_number_integer()) return key.dump();
  return std::nullopt;
}

void CheckInput(const uint8_t* data, size_t size) {
  static Setup setup;
  Database& database = *setup.database;
  for (const catalogue::TableInfo& table : catalogue::Tables())
    database.Exec("Delete From " + table.name);

  const std::string text(reinterpret_cast<const char*>(data), size);
  std::ostringstream rejects;
  int64_t line_number = 0;
  size_t line_start = 0, rejects_seen = 0;
  cli::ImportCounts before = setup.importer->counts();
  int64_t version = database.DataVersion();
  // The key of the line about to be read, and whether rows held it then.
  std::optional<std::string> key;
  bool key_had_rows = false;
  auto look_ahead = [&] {
    key = std::nullopt;
    key_had_rows = false;
    if (line_start >= text.size()) return;
    size_t end = text.find('\n', line_start);
    end = end == std::string::npos ? text.size() : end;
    std::string line = text.substr(line_start, end - line_start);
    if (line_start == 0 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
    key = KeyOf(line);
    key_had_rows = key && database.RowsOf(*key) > 0;
  };
  look_ahead();

  // Called after each line: what the import did with it.
  auto check_line = [&] {
    ++line_number;
    size_t end = text.find('\n', line_start);
    end = end == std::string::npos ? text.size() : end;
    std::string line = text.substr(line_start, end - line_start);
    line_start = end + 1;
    if (line_number == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
    const std::string where = "line " + std::to_string(line_number);

    const cli::ImportCounts now = setup.importer->counts();
    const int64_t imported = now.imported - before.imported,
                  rejected = now.rejected - before.rejected;
    before = now;
    const std::string written = rejects.str().substr(rejects_seen);
    rejects_seen = rejects.str().size();
    const int64_t version_now = database.DataVersion();
    const bool committed = version_now != version;
    version = version_now;

    const std::optional<std::string> line_key = key;
    const bool line_key_had_rows = key_had_rows;
    look_ahead();

    if (IsBlank(line)) {
      if (imported != 0 || rejected != 0 || !written.empty() || committed)
        Violation(where + " is blank but was imported or rejected");
      return;
    }
    if (imported + rejected != 1 || imported < 0 || rejected < 0)
      Violation(where + ": imported " + std::to_string(imported) + ", rejected " +
                std::to_string(rejected) + " customers for one line");
    if (imported == 1) {
      if (!written.empty()) Violation(where + " was imported and has a rejects entry: " + written);
      return;
    }
    if (written.empty() || written.back() != '\n' || written.find('\n') != written.size() - 1)
      Violation(where + " was rejected without one rejects line: " + written);
    const json entry = json::parse(written, nullptr, false);
    if (!entry.is_object() || entry.value("line", int64_t{-1}) != line_number)
      Violation(where + " has a rejects entry without its line number: " + written);
    const json errors = entry.value("errors", json::array());
    if (errors.empty() || !errors[0].contains("description") ||
        !errors[0]["description"].is_string() ||
        errors[0]["description"].get<std::string>().empty())
      Violation(where + " was rejected without a reason: " + written);
    if (committed) Violation(where + " was rejected but committed changes: " + written);
    if (line_key && !line_key_had_rows && database.RowsOf(*line_key) > 0)
      Violation(where + " was rejected but rows hold its key " + *line_key);
  };

  LineByLine lines(text, check_line);
  std::istream in(&lines);
  cli::ImportStream(*setup.importer, in, rejects, nullptr);
  lines.Finish();
  if (line_start < text.size())
    Violation("the import stopped at line " + std::to_string(line_number) + " of more");
}

}  // namespace
}  // namespace kvt710::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kvt710::fuzz::CheckInput(data, size);
  return 0;
}
