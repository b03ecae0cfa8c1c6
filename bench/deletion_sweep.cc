// One DeleteCBaseYMD sweep over a large customer table: fills a fresh
// database with TOTAL customers of which MARKED have a newest visit before
// the cut-off (every tenth also has a maintenance row already), runs the
// sweep once and prints rows per second and the process's peak memory.
//
//   deletion_sweep [MARKED [TOTAL]] [--no-pg] [--no-mariadb] [--no-pg-odbc]
//                                        defaults 100000 and 150000
//
// Runs on an SQLite file always, on PostgreSQL when KVT710_TEST_PG holds a
// connection string to a server, and through ODBC on MariaDB and PostgreSQL
// when KVT710_TEST_MARIADB and KVT710_TEST_PG_ODBC do; on a server in a
// schema or database of its own, dropped after.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_servers.h"
#include "component/server.h"
#include "deletion/KVT710C2.h"
#include "platform/automation/error.h"
#include "platform/db/connection.h"
#include "platform/db/product_schema.h"
#include "platform/settings/settings.h"

namespace {

namespace fs = std::filesystem;
using kvt710::bench::Engine;
using kvt710::db::Connection;

long PeakRssKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

long CurrentRssKb() {
  long pages = 0, resident = 0;
  if (FILE* f = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
    std::fclose(f);
  }
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::string Scalar(Connection& connection, const std::string& query) {
  auto rs = connection.OpenRecordset(query, kvt710::db::CursorType::kStatic,
                                     kvt710::db::LockType::kReadOnly);
  return rs->Field(rs->FieldNames().at(0)).ToString();
}

// Customers 1..total; customer i is marked when (i * marked) % total < marked,
// which spreads the marked ones evenly over the keys.
void Fill(Connection& connection, Engine engine, long marked, long total) {
  const std::string m = std::to_string(marked), t = std::to_string(total);
  const bool sqlite = engine == Engine::kSQLite, mariadb = engine == Engine::kMariaDB;
  const std::string numbers =
      sqlite ? "SELECT i FROM (WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
               "WHERE i < " +
                   t + ") SELECT i FROM n)"
      : mariadb ? "SELECT seq AS i FROM seq_1_to_" + t
                : "SELECT i FROM generate_series(1, " + t + ") AS n(i)";
  // The servers take typed literals where a SELECT list feeds date columns.
  const std::string old_visit = sqlite ? "'2009/06/15'" : "DATE '2009-06-15'";
  const std::string recent_visit = sqlite ? "'2012/06/15'" : "DATE '2012-06-15'";
  const std::string updated = sqlite ? "'2015/01/01 10:00:00'" : "TIMESTAMP '2015-01-01 10:00:00'";
  connection.BeginTrans();
  connection.Execute(
      "INSERT INTO CBASE (CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_KANA_MEI, CUBS_DATA_FLG, "
      "CUBS_NEWBST_COMING, CUBS_UPD_DATE) SELECT i, '012', 'ﾀﾅｶ', 0, CASE WHEN (CAST(i AS " +
      std::string(mariadb ? "SIGNED" : "BIGINT") + ") * " + m + ") % " + t + " < " + m + " THEN " +
      old_visit + " ELSE " + recent_visit + " END, " + updated + " FROM (" + numbers +
      ") AS numbered");
  connection.Execute(
      "INSERT INTO CMENTE_T (MTRN_STORE_NO, MTRN_HT_KBN, MTRN_UNIQUE_KEY, MTRN_KBN) "
      "SELECT '012', 1, i, 1 FROM (" +
      numbers + ") AS numbered WHERE i % 10 = 0");
  connection.CommitTrans();
  connection.Execute(mariadb ? "ANALYZE TABLE CBASE, CMENTE_T" : "ANALYZE");
}

void Run(const char* name, const std::string& connection_string, Engine engine, long marked,
         long total, const fs::path& settings_file) {
  auto connection = Connection::Create();
  connection->Open(engine == Engine::kSQLite ? connection_string + ";Mode=ReadWriteCreate"
                                             : connection_string);
  kvt710::db::CreateProductSchema(*connection);
  const auto fill_start = std::chrono::steady_clock::now();
  Fill(*connection, engine, marked, total);
  const double fill_seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - fill_start).count();
  const std::string expected =
      Scalar(*connection, "SELECT COUNT(*) FROM CBASE WHERE CUBS_NEWBST_COMING < '20100101'");

  kvt710::Settings settings(settings_file);
  settings.Set(kvt710::kCommonSection, "area", "1");
  settings.Set(kvt710::kCommonSection, "DBPARMC", connection_string);
  auto service = kvt710::KVT710C2::Create();
  if (service->DBStatus() != 0) {
    std::printf("%s: the service could not connect\n", name);
    return;
  }
  const long rss_before = CurrentRssKb();
  const auto start = std::chrono::steady_clock::now();
  const int32_t count = service->DeleteCBaseYMD(20100101);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const long rss_after = CurrentRssKb();
  std::printf(
      "%-15s total %ld, expected %s, marked %d in %.2f s: %.0f rows/s; RSS before %ld KiB, "
      "after %ld KiB, peak %ld KiB (fill %.1f s)\n",
      name, total, expected.c_str(), count, seconds, count > 0 ? count / seconds : 0.0, rss_before,
      rss_after, PeakRssKb(), fill_seconds);
  std::printf("%-15s maintenance rows %s, marked rows %s\n", name,
              Scalar(*connection, "SELECT COUNT(*) FROM CMENTE_T WHERE MTRN_KBN = 2").c_str(),
              Scalar(*connection, "SELECT COUNT(*) FROM CBASE WHERE CUBS_DATA_FLG = 2").c_str());
}

}  // namespace

int main(int argc, char** argv) {
  kvt710::RegisterServer();
  std::vector<long> sizes;
  std::vector<Engine> skipped;  // servers left out by their options
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (const auto* server = kvt710::bench::ServerLeftOutBy(arg)) {
      skipped.push_back(server->engine);
    } else {
      sizes.push_back(std::atol(arg.c_str()));
    }
  }
  const long marked = !sizes.empty() ? sizes[0] : 100000;
  const long total = sizes.size() > 1 ? sizes[1] : marked + marked / 2;
  if (sizes.size() > 2 || marked < 0 || total < marked || total < 1) {
    std::fprintf(stderr,
                 "usage: %s [MARKED [TOTAL]] [--no-pg] [--no-mariadb] [--no-pg-odbc] with 0 <= "
                 "MARKED <= TOTAL\n",
                 argv[0]);
    return 2;
  }
  char pattern[] = "/tmp/kvt710-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const fs::path dir = pattern;
  const fs::path settings_file = dir / "settings.ini";
  setenv("KVT710_SETTINGS", settings_file.c_str(), 1);
  int status = 0;
  try {
    Run("SQLite", "Provider=SQLite;Data Source=" + (dir / "shop.db").string(), Engine::kSQLite,
        marked, total, settings_file);
    for (const kvt710::bench::Server& server : kvt710::bench::kServers) {
      const std::string admin = kvt710::bench::ServerConnectionString(server);
      if (admin.empty() || std::ranges::count(skipped, server.engine) > 0) continue;
      const kvt710::bench::ServerNamespace space(server.engine, admin,
                                                 "kvt710_bench_" + std::to_string(getpid()));
      Run(server.name, space.connection_string(), server.engine, marked, total, settings_file);
    }
  } catch (const kvt710::Error& e) {
    std::fprintf(stderr, "deletion_sweep: %s\n", e.description().c_str());
    status = 1;
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return status;
}
