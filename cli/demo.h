// `kvt710 demo`: generates sample customers, imports them into an SQLite
// file with a fresh schema (or a database given with --db), then shows one
// customer and the import's summary. Nothing to configure.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

namespace kvt710::cli {

// The SQLite file of a demo without --db: ./kvt710-demo/shop.db.
std::string DefaultDemoDatabase();

// Returns 0, or 1 when a sample customer was rejected.
// With `emit`, writes the sample customers as an import file to that path
// ("-": `out`) instead, one line at a time, and touches no database.
int DemoCommand(int64_t customers, const std::optional<std::string>& db, uint64_t seed,
                const std::optional<std::string>& emit, std::ostream& out);

}  // namespace kvt710::cli
