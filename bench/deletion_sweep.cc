// One DeleteCBaseYMD sweep over a large customer table: fills a fresh
// database with TOTAL customers of which MARKED have a newest visit before
// the cut-off (every tenth also has a maintenance row already), runs the
// sweep once and prints rows per second and the process's peak memory.
//
//   deletion_sweep [MARKED [TOTAL]]     defaults 100000 and 150000
//
// Runs on an SQLite file always and on PostgreSQL when KVT710_TEST_PG holds
// a connection string to a server (in a schema of its own, dropped after).
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "component/server.h"
#include "deletion/KVT710C2.h"
#include "platform/automation/error.h"
#include "platform/db/connection.h"
#include "platform/db/product_schema.h"
#include "platform/settings/settings.h"

namespace {

namespace fs = std::filesystem;
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
void Fill(Connection& connection, bool postgres, long marked, long total) {
  const std::string m = std::to_string(marked), t = std::to_string(total);
  const std::string numbers =
      postgres ? "SELECT i FROM generate_series(1, " + t + ") AS n(i)"
               : "SELECT i FROM (WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                 "WHERE i < " +
                     t + ") SELECT i FROM n)";
  // PostgreSQL takes typed literals where a SELECT list feeds date columns.
  const std::string old_visit = postgres ? "DATE '2009-06-15'" : "'2009/06/15'";
  const std::string recent_visit = postgres ? "DATE '2012-06-15'" : "'2012/06/15'";
  const std::string updated =
      postgres ? "TIMESTAMP '2015-01-01 10:00:00'" : "'2015/01/01 10:00:00'";
  connection.BeginTrans();
  connection.Execute(
      "INSERT INTO CBASE (CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_KANA_MEI, CUBS_DATA_FLG, "
      "CUBS_NEWBST_COMING, CUBS_UPD_DATE) SELECT i, '012', 'ﾀﾅｶ', 0, CASE WHEN (CAST(i AS BIGINT) "
      "* " +
      m + ") % " + t + " < " + m + " THEN " + old_visit + " ELSE " + recent_visit + " END, " +
      updated + " FROM (" + numbers + ") AS keys");
  connection.Execute(
      "INSERT INTO CMENTE_T (MTRN_STORE_NO, MTRN_HT_KBN, MTRN_UNIQUE_KEY, MTRN_KBN) "
      "SELECT '012', 1, i, 1 FROM (" +
      numbers + ") AS keys WHERE i % 10 = 0");
  connection.CommitTrans();
  connection.Execute("ANALYZE");
}

void Run(const char* name, const std::string& connection_string, bool postgres, long marked,
         long total, const fs::path& settings_file) {
  auto connection = Connection::Create();
  connection->Open(postgres ? connection_string : connection_string + ";Mode=ReadWriteCreate");
  kvt710::db::CreateProductSchema(*connection);
  const auto fill_start = std::chrono::steady_clock::now();
  Fill(*connection, postgres, marked, total);
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
      "%-10s total %ld, expected %s, marked %d in %.2f s: %.0f rows/s; RSS before %ld KiB, "
      "after %ld KiB, peak %ld KiB (fill %.1f s)\n",
      name, total, expected.c_str(), count, seconds, count > 0 ? count / seconds : 0.0, rss_before,
      rss_after, PeakRssKb(), fill_seconds);
  std::printf("%-10s maintenance rows %s, marked rows %s\n", name,
              Scalar(*connection, "SELECT COUNT(*) FROM CMENTE_T WHERE MTRN_KBN = 2").c_str(),
              Scalar(*connection, "SELECT COUNT(*) FROM CBASE WHERE CUBS_DATA_FLG = 2").c_str());
}

}  // namespace

int main(int argc, char** argv) {
  kvt710::RegisterServer();
  const long marked = argc > 1 ? std::atol(argv[1]) : 100000;
  const long total = argc > 2 ? std::atol(argv[2]) : marked + marked / 2;
  if (marked < 0 || total < marked || total < 1) {
    std::fprintf(stderr, "usage: %s [MARKED [TOTAL]] with 0 <= MARKED <= TOTAL\n", argv[0]);
    return 2;
  }
  char pattern[] = "/tmp/kvt710-bench-XXXXXX";
  if (mkdtemp(pattern) == nullptr) return 1;
  const fs::path dir = pattern;
  const fs::path settings_file = dir / "settings.ini";
  setenv("KVT710_SETTINGS", settings_file.c_str(), 1);
  int status = 0;
  try {
    Run("SQLite", "Provider=SQLite;Data Source=" + (dir / "shop.db").string(), false, marked, total,
        settings_file);
    if (const char* pg = std::getenv("KVT710_TEST_PG"); pg != nullptr && *pg != '\0') {
      const std::string schema = "kvt710_bench_" + std::to_string(getpid());
      auto admin = Connection::Create();
      admin->Open(pg);
      admin->Execute("CREATE SCHEMA " + schema);
      try {
        Run("PostgreSQL", std::string(pg) + ";Search Path=" + schema, true, marked, total,
            settings_file);
      } catch (...) {
        admin->Execute("DROP SCHEMA " + schema + " CASCADE");
        throw;
      }
      admin->Execute("DROP SCHEMA " + schema + " CASCADE");
    }
  } catch (const kvt710::Error& e) {
    std::fprintf(stderr, "deletion_sweep: %s\n", e.description().c_str());
    status = 1;
  }
  std::error_code ignored;
  fs::remove_all(dir, ignored);
  return status;
}
