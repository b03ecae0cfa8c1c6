#include "cli/demo.h"

#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <set>

#include "cli/common.h"
#include "cli/demo_data.h"
#include "cli/import.h"
#include "cli/output_file.h"
#include "cli/show.h"
#include "platform/db/connection.h"
#include "platform/db/connection_string.h"
#include "platform/db/product_schema.h"

namespace kvt710::cli {
namespace {

namespace fs = std::filesystem;

// A fresh file: the old one and its journal files go.
std::string FreshDemoFile(const fs::path& file) {
  std::error_code ec;
  fs::create_directories(file.parent_path(), ec);
  if (ec)
    throw CommandError{kExitUsage,
                       "Cannot create " + file.parent_path().string() + ": " + ec.message()};
  for (const char* suffix : {"", "-wal", "-shm", "-journal"})
    fs::remove(file.string() + suffix, ec);
  return SQLiteConnectionString(file.string());
}

// The customer to show: among the first documents, the one that uses the
// most kinds of writer.
int64_t RichestCustomer(uint64_t seed, int64_t count) {
  int64_t best = 0;
  size_t best_kinds = 0;
  for (int64_t i = 0; i < count && i < 200; ++i) {
    if (IsDemoDeletion(i)) continue;
    std::set<std::string> kinds;
    const nlohmann::json document = DemoCustomer(seed, i);
    for (const auto& call : document["calls"]) kinds.insert(call.begin().key());
    if (kinds.size() > best_kinds) {
      best = i;
      best_kinds = kinds.size();
    }
  }
  return best;
}

}  // namespace

std::string DefaultDemoDatabase() {
  return (fs::current_path() / "kvt710-demo" / "shop.db").string();
}

int DemoCommand(int64_t customers, const std::optional<std::string>& db, uint64_t seed,
                const std::optional<std::string>& emit, std::ostream& out) {
  if (customers < 1) throw CommandError{kExitUsage, "--customers needs at least 1"};
  if (emit) {
    DemoCustomerStream documents(seed, customers);
    if (*emit == "-") {
      out << documents.rdbuf() << std::flush;
      return kExitOk;
    }
    OutputFile file(*emit);
    file.stream() << documents.rdbuf();
    file.Commit();
    out << "Wrote " << customers << " sample customers to " << *emit << " (kvt710 import " << *emit
        << " imports them)\n";
    return kExitOk;
  }
  const std::string connection_string =
      db ? ResolveConnectionString(db) : FreshDemoFile(DefaultDemoDatabase());
  {
    auto connection = OpenDatabase(connection_string, Access::kCreate);
    try {
      db::CreateProductSchema(*connection);
    } catch (const Error& e) {
      throw CommandError{kExitDatabase, "Creating the tables failed: " + e.description()};
    }
  }

  out << "Importing " << customers << " sample customers into "
      << db::RedactConnectionString(connection_string) << "\n";
  DemoCustomerStream documents(seed, customers);
  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  Importer importer(connection_string);
  Progress progress(customers, terminal);
  const ImportCounts counts = ImportStream(importer, documents, std::cerr, &progress);
  progress.Finish();

  const std::string key = DemoKey(RichestCustomer(seed, customers));
  auto connection = OpenDatabase(connection_string);
  out << "\nCustomer " << key << ", as `kvt710 show " << key << "` prints it:\n"
      << CustomerRows(*connection, key)
             .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
      << "\n\n"
      << SummaryLine(counts) << "\n";
  // A connection string is shown without its password.
  const std::string where =
      !db ? DefaultDemoDatabase()
      : db->find('=') != std::string::npos || db->find("://") != std::string::npos
          ? db::RedactConnectionString(*db)
          : *db;
  if (!db) out << "The database is " << where << ".\n";
  out << "Look around with\n  kvt710 show " << key << " --db '" << where << "'\n";
  return counts.rejected > 0 ? kExitFailed : kExitOk;
}

}  // namespace kvt710::cli
