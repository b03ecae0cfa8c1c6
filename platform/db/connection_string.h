// Connection strings: "Provider=SQLite;Data Source=PATH",
// "Provider=PostgreSQL;Host=H;Port=P;Database=D;User ID=U;Password=W"
// "Provider=ODBC;Driver={NAME};..." and the bare ODBC form "Driver={NAME};..."
// or "DSN=NAME;..." (ADO quoting: a value in double or single quotes may hold
// ";", a doubled quote inside standing for one; ODBC quoting: a value in
// braces is kept with its braces, "}}" inside standing for "}"), and
// "postgresql://" or "postgres://" URIs.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
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

// Throws kvt710::Error 3706 for a malformed string, a missing provider or a
// URI of an unknown scheme. The error description never repeats the string.
ConnectionParameters ParseConnectionString(const std::string& text);

// The keys that every provider takes: the provider's name, and the option
// that the connection itself reads.
inline constexpr const char* kProviderKey = "Provider";
inline constexpr const char* kPreparedStatementsKey = "Prepared Statements";
// The connection's access, as the SQLite provider and the servers' take it.
inline constexpr const char* kModeKey = "Mode";

// How a provider compares the keys of a connection string. Blanks around a
// key never count.
enum class KeyRule {
  kIgnoreCase,                     // "Data Source" is "DATA SOURCE", not "DataSource"
  kIgnoreCaseBlanksAndUnderscores  // "User ID" is "user_id" and "UserID"
};

// Whether two keys are the same by `rule`.
bool KeysEqual(std::string_view a, std::string_view b, KeyRule rule);

// For a server provider: true when `params` ask for a session that takes no
// writes, a "Mode" key (compared by `rule`) of ReadOnly. ReadWrite and
// ReadWriteCreate change nothing there (connecting never creates a server's
// database). Throws kvt710::Error 3706 for any other Mode.
bool AsksReadOnly(const ConnectionParameters& params, KeyRule rule);

// Whether `key` names a password, as the most lenient provider takes one
// (KeyRule::kIgnoreCaseBlanksAndUnderscores); `uri_query`: a key of a URI's
// query, percent-decoded first. Providers and redaction both ask this.
bool IsPasswordKey(std::string_view key, bool uri_query = false);
inline constexpr const char* kPasswordKeys[] = {"Password", "Pwd"};

// Throws kvt710::Error 3706 naming the first key of `params` that is neither
// one of `known` (compared by `rule`) nor one that every provider takes, with
// the nearest known key by edit distance.
void RefuseUnknownKeys(const ConnectionParameters& params, std::span<const char* const> known,
                       KeyRule rule);

// `text` with "key=value" added after its other parts, so that it overrides
// an earlier value of the key. A URI is returned unchanged: it names a
// PostgreSQL server, whose provider takes no such keys.
std::string WithKey(const std::string& text, const std::string& key, const std::string& value);

// The string with every password (and the password of a URI) replaced by
// "***", for messages that must show which database was meant.
std::string RedactConnectionString(const std::string& text);

}  // namespace kvt710::db
