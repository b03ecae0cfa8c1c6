// `kvt710 delete`: marks customers deleted through the deletion service
// (KVT710C2), one by key or, in one sweep, every live customer whose newest
// visit is before a date, and says what was marked.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

namespace kvt710::cli {

// Returns 0 when the customer was marked, 1 when no live customer has the key.
int DeleteByKeyCommand(const std::string& key, int16_t transe_flag, int16_t upd_flag,
                       const std::optional<std::string>& db, std::ostream& out);

// `date` is yyyymmdd. Prints the number marked and their keys.
// With `dry_run`, lists the customers the sweep would mark (key, store, newest
// visit), one a line, and changes nothing.
int DeleteBeforeCommand(const std::string& date, const std::optional<std::string>& store,
                        const std::optional<std::string>& db, bool dry_run, std::ostream& out);

}  // namespace kvt710::cli
