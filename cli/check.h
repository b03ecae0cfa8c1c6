// `kvt710 check`: whether the database is sound (the product's tables, keys
// and indexes there, the storage undamaged) and how many customers are live
// and deleted.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

namespace kvt710::cli {

// The command. Returns 0 when sound; CommandError (exit code 4) when the
// database cannot be opened or asked, and 4 after naming each problem.
int CheckCommand(const std::optional<std::string>& db, std::ostream& out);

}  // namespace kvt710::cli
