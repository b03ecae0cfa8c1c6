// Connection strings: "Provider=SQLite;Data Source=PATH",
// "Provider=PostgreSQL;Host=H;Port=P;Database=D;User ID=U;Password=W"
// (ADO quoting: a value in double or single quotes may hold ";"; a doubled
// quote inside stands for one), and "postgresql://" or "postgres://" URIs.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kvt710::db {

struct ConnectionParameters {
  std::string provider;  // upper-cased provider name, such as "SQLITE" or "POSTGRESQL"
  std::vector<std::pair<std::string, std::string>> values;  // keys as written, in order
  std::string uri;                                          // the whole URI when the string was one

  // The value of `key` (case-insensitive; blanks around keys ignored).
  std::optional<std::string> Find(const std::string& key) const;
};

// Throws kvt710::Error 3706 for a malformed string or a missing provider. The
// error description never repeats the string itself.
ConnectionParameters ParseConnectionString(const std::string& text);

// `text` with "key=value" added after its other parts, so that it overrides
// an earlier value of the key. A URI is returned unchanged: it names a
// PostgreSQL server, whose provider takes no such keys.
std::string WithKey(const std::string& text, const std::string& key, const std::string& value);

// The string with every password (and the password of a URI) replaced by
// "***", for messages that must show which database was meant.
std::string RedactConnectionString(const std::string& text);

}  // namespace kvt710::db
