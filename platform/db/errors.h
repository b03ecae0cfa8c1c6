// Errors: a connection's list of provider errors (ADO's Errors collection),
// and ProviderFailure, the kvt710::Error that a backend throws for a failure
// reported by the database. Backends classify native errors in one place each
// and throw ProviderFailure; the Connection records it in its list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/automation/dispatch.h"

namespace kvt710::db {

// ADO's error numbers for the operations of Connection and Recordset (the
// general ones, such as 3704 and 3706, are in kvt710::err).
constexpr int32_t kErrObjectOpen = 3705;         // operation not allowed when the object is open
constexpr int32_t kErrNoCurrentRow = 3021;       // either BOF or EOF is true
constexpr int32_t kErrNotAllowed = 3251;         // operation not supported by this recordset
constexpr int32_t kErrItemNotFound = 3265;       // no field of that name or ordinal
constexpr int32_t kErrRowChanged = -2147217864;  // optimistic update found the row changed
// Opening found no database file, and the connection string did not ask for
// one to be created.
constexpr int32_t kErrNoDatabaseFile = 3024;

struct ProviderError {
  int32_t number = 0;       // native error code (or automation's number)
  std::string description;  // never holds a connection string or password
  std::string sqlstate;     // five characters, or empty when the backend has none
  std::string source;       // the provider, such as "SQLite" or "PostgreSQL"
};

// How a failure bears on running the work that met it again. Declared from
// the least to the most serious: of several failures, the greatest decides.
enum class FailureKind {
  kOther,            // the statement or its data: running it again fails again
  kUniqueViolation,  // a key already stored, perhaps by a writer that committed since a check
  kTransient,        // busy, lock or serialization conflict, deadlock: run the transaction again
  kStorageFull,      // the database or its disk is full
  kReadOnly,         // the database, file or session takes no writes
  kUnavailable,      // the connection is lost or the database cannot be used at all
};

// How an entry of a connection's error list (or a report of one) bears on
// retrying, as the backend named by its source classifies its codes;
// kOther for an entry of no provider.
FailureKind ClassifyFailure(const ProviderError& error);

// `text` with every occurrence of `secret` replaced by "***" (unchanged for
// an empty secret): a client library's message may repeat the password.
std::string WithoutSecret(std::string text, const std::string& secret);

class ProviderFailure : public Error {
 public:
  explicit ProviderFailure(ProviderError detail)
      : Error(detail.number, detail.description, detail.source), detail_(std::move(detail)) {}
  const ProviderError& detail() const { return detail_; }

 private:
  ProviderError detail_;
};

// Late-bound members: Count, Item(index from 0) with Number, Description,
// SQLState, Source; Clear.
class Errors : public Dispatch {
 public:
  const std::vector<ProviderError>& list() const { return list_; }
  void Add(ProviderError error) { list_.push_back(std::move(error)); }
  void Clear() { list_.clear(); }

  Variant Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) override;

 private:
  std::vector<ProviderError> list_;
};

}  // namespace kvt710::db
