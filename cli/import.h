// `kvt710 import FILE|-`: loads customers in bulk, one customer document a
// JSON line:
//
//   {"key":"1203","calls":[{"SetBaseData":{"StoreCd":"001",...}},...],"delete":false}
//
// Each call is one method of the batch object with its arguments named by
// the method's parameter names (case-insensitive). Per customer: a
// transaction on the host connection, Initialize, the calls in order through
// the late-bound interface, then Execute(key) (or DelExecute(key) when
// "delete" is true), commit. A call that returns -1, an Execute that raises,
// a malformed line, an unknown method or parameter: the customer is rolled
// back and written to the rejects with its errors and the reports that
// arrived, and the import goes on. A conflict with another writer runs the
// customer again; a full or unreachable database, a failed read of the input
// or a failed write of the rejects stops the import, and so does Ctrl-C or
// SIGTERM, between customers.
#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/input.h"

namespace kvt710 {
class Error;
class KVT710C3;
struct Report;
namespace db {
class Connection;
enum class FailureKind;
}  // namespace db

namespace cli {

struct ImportCounts {
  int64_t imported = 0;
  int64_t rejected = 0;
  int64_t statements = 0;  // statements run on the host connection for imported customers
  int64_t retries = 0;     // customers run again after a conflict with another writer
  double seconds = 0;
};

class Importer {
 public:
  // Opens the host connection and creates a batch object whose own
  // connection goes to the same database. Throws CommandError (exit code 4)
  // when the database cannot be reached or has no customer tables. With
  // `check_only` every customer runs as in an import and is then rolled
  // back: the database's own checks run, nothing is stored.
  explicit Importer(const std::string& connection_string, bool check_only = false);
  ~Importer();
  Importer(const Importer&) = delete;
  Importer& operator=(const Importer&) = delete;

  // Imports one customer document. Returns true when it is stored; otherwise
  // writes one JSON line to `rejects`:
  //   {"line":N,"key":K,"input":TEXT,"errors":[{"call":M,"number":..,"description":..,"source":..}],
  //    "reports":[...]}
  // A customer that fails on a conflict with another writer (busy, deadlock,
  // serialization failure, a key stored since its existence check) runs
  // again, as often as policy::kImportRetry allows; the reject then has "attempts".
  // Throws CommandError (exit code 4), after writing the customer to
  // `rejects`, when the database is full or cannot be reached, so that no
  // later customer could be imported either.
  bool Import(const std::string& line, int64_t line_number, std::ostream& rejects);

  // Writes a line that is no customer document to `rejects` as Import does,
  // the error's "call" being "line".
  void RejectLine(const std::string& input, int64_t line_number, const Error& error,
                  std::ostream& rejects);

  // Counts so far; seconds since construction.
  ImportCounts counts() const;

 private:
  struct Failure;
  // The batch object's lock of the customer (KVT710C3::LockCustomer); throws
  // Failure. Two imports of a new customer meet at its INSERT instead; the
  // loser runs again.
  void LockCustomer(const std::string& key);
  // Runs one parsed document inside the open transaction; throws Failure.
  void Run(const nlohmann::json& document, const std::string& key);
  void Call(const std::string& method, const nlohmann::json& arguments);
  // What the errors of the customer just failed say about running it again.
  db::FailureKind FailureOfCustomer() const;
  std::string StopMessage(int64_t line_number, db::FailureKind failure,
                          const nlohmann::json& errors) const;

  std::shared_ptr<db::Connection> host_;
  std::shared_ptr<KVT710C3> batch_;
  std::shared_ptr<void> listening_;
  std::vector<Report> reports_;  // reports of the customer being imported
  ImportCounts counts_;
  std::chrono::steady_clock::time_point started_;
  bool check_only_ = false;
};

// A progress line on standard error, redrawn at most a few times a second:
// customers done, rate, and time left when the total is known.
class Progress {
 public:
  Progress(std::optional<int64_t> total, bool enabled);
  ~Progress();
  void Update(int64_t done);
  // Clears the line.
  void Finish();

 private:
  std::optional<int64_t> total_;
  bool enabled_;
  bool shown_ = false;
  std::chrono::steady_clock::time_point started_, last_;
};

// "imported 198, rejected 2, 3120 statements in 1.52 s (130.3 customers/s)",
// then ", 3 retries" when customers ran again.
std::string SummaryLine(const ImportCounts& counts);

// "line 12, key 1203: SetBaseData: ..." from a reject's JSON line: its line,
// its key and its first error, cut to fit a terminal's line or two.
std::string BriefReject(const std::string& reject_json);

// The number of customer lines (not blank) in a regular file; nullopt when
// it is none or cannot be read.
std::optional<int64_t> CountCustomerLines(const std::string& file);

// Imports every line that `lines` reads; rejected lines go to `rejects`, a
// line over the reader's limit among them. Returns the counts. Throws
// CommandError when the import stops: exit code 4 for the database, a failed
// read or a failed write of the rejects, 128 + the signal for a stop signal
// (cli/interrupt.h), the message naming the line. When `brief` is given,
// each rejected customer also gets one short line there (BriefReject).
ImportCounts ImportStream(Importer& importer, LineReader& lines, std::ostream& rejects,
                          Progress* progress, std::ostream* brief = nullptr);
// The same for the lines of an in-memory stream.
ImportCounts ImportStream(Importer& importer, std::istream& in, std::ostream& rejects,
                          Progress* progress);

// The command: FILE or "-", the database (--db or the settings), the rejects
// file (standard output for "-", and then the summary goes to standard
// error), the longest line. Without a rejects file the rejects go to standard
// error, unless it is a terminal: it then gets a BriefReject line each, and
// the JSON lines go to kvt710-rejects-<time>.jsonl in the current folder,
// made only when a customer was rejected and named in the summary. Prints the summary to
// `out`. Returns 0, or 1 when a customer was rejected; throws CommandError
// otherwise.
// The command's switches: the longest line; --check (run every customer
// and roll it back); --json (the summary as one JSON object).
struct ImportOptions {
  size_t max_line_bytes = LineReader::kDefaultMaxLineBytes;
  bool check = false;
  bool json = false;
};
int ImportCommand(const std::string& file, const std::optional<std::string>& db,
                  const std::optional<std::string>& rejects_file, const ImportOptions& options,
                  std::ostream& out);

}  // namespace cli
}  // namespace kvt710
