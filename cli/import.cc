#include "cli/import.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <thread>

#include "batch/KVT710C3.h"
#include "cli/common.h"
#include "cli/json_values.h"
#include "platform/db/connection.h"
#include "platform/db/providers.h"
#include "platform/settings/settings.h"
#include "platform/sibling/prw520.h"

namespace kvt710::cli {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

std::string Dump(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// A parse error quotes the token it last read, which may be most of a huge
// line: the line itself is in the rejects already, so the message keeps its start.
std::string ParseErrorMessage(const json::exception& e) {
  constexpr size_t kLongest = 300;
  std::string message = std::string("Not a JSON line: ") + e.what();
  if (message.size() <= kLongest) return message;
  size_t cut = kLongest;
  while (cut > 0 && (static_cast<unsigned char>(message[cut]) & 0xC0) == 0x80) --cut;
  message.resize(cut);
  return message + "...";
}

bool IsBlankLine(const std::string& line) {
  return line.find_first_not_of(" \t\r") == std::string::npos;
}

// Editors may start a UTF-8 file with a byte-order mark; it is no part of the first line.
void DropByteOrderMark(std::string& line) {
  if (line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
}

// The members that the import runs itself around a customer's calls.
bool IsRunByImport(const std::string& method) {
  return NamesEqual(method, "Initialize") || NamesEqual(method, "Execute") ||
         NamesEqual(method, "DelExecute");
}

std::string Descriptions(const std::vector<Report>& reports, size_t from) {
  std::string text;
  for (size_t i = from; i < reports.size(); ++i) {
    if (!text.empty()) text += "; ";
    text += reports[i].error_description;
  }
  return text;
}

}  // namespace

// Why a customer was rejected: the call that failed and its error.
struct Importer::Failure {
  std::string call;
  Error error;
};

Importer::Importer(const std::string& connection_string)
    : started_(Clock::now()), jitter_(static_cast<uint32_t>(::getpid())) {
  host_ = OpenDatabase(connection_string);
  try {
    host_->OpenRecordset("Select Count(*) As CNT From CBASE", db::CursorType::kStatic,
                         db::LockType::kReadOnly);
  } catch (const Error& e) {
    throw CommandError{kExitDatabase, "The database has no customer tables (" + e.description() +
                                          "): create them with kvt710 init"};
  }
  listening_ = ListenForReports([this](const Report& report) { reports_.push_back(report); });
  batch_ = KVT710C3::Create(SettingsForDatabase(connection_string));
  if (batch_->DBStatus() != emDbNomal)
    throw CommandError{kExitDatabase, "The batch object cannot open its own connection: " +
                                          Descriptions(reports_, 0) + batch_->DBStatusString()};
  batch_->PutRef("DBCon", Variant::Object(host_));
}

Importer::~Importer() = default;

ImportCounts Importer::counts() const {
  ImportCounts counts = counts_;
  counts.seconds = std::chrono::duration<double>(Clock::now() - started_).count();
  return counts;
}

bool Importer::Import(const std::string& line, int64_t line_number, std::ostream& rejects) {
  reports_.clear();
  json reject = {{"line", line_number}, {"key", nullptr}};
  json errors = json::array();
  auto add_error = [&](const std::string& call, const Error& error) {
    errors.push_back({{"call", call},
                      {"number", error.number()},
                      {"description", error.description()},
                      {"source", error.source()}});
  };
  auto write_reject = [&] {
    ++counts_.rejected;
    reject["input"] = line;
    reject["errors"] = errors;
    json reports = json::array();
    for (const Report& report : reports_) reports.push_back(ReportJson(report));
    reject["reports"] = reports;
    rejects << Dump(reject) << '\n';
    return false;
  };

  // The document's shape, before anything touches the database.
  json document;
  std::string key;
  try {
    document = json::parse(line);
    if (!document.is_object()) throw Error(err::kTypeMismatch, "A customer line is a JSON object");
    const json* k = document.contains("key") ? &document["key"] : nullptr;
    if (k == nullptr || !(k->is_string() || k->is_number_integer()))
      throw Error(err::kTypeMismatch, "The customer needs \"key\": its unique key as a string");
    key = k->is_string() ? k->get<std::string>() : std::to_string(k->get<int64_t>());
    reject["key"] = key;
    if (document.contains("calls") && !document["calls"].is_array())
      throw Error(err::kTypeMismatch, "\"calls\" is an array of {\"Method\":{arguments}}");
    if (document.contains("delete") && !document["delete"].is_boolean())
      throw Error(err::kTypeMismatch, "\"delete\" is true or false");
  } catch (const json::exception& e) {
    add_error("line", Error(err::kTypeMismatch, ParseErrorMessage(e)));
    return write_reject();
  } catch (const Error& e) {
    add_error("line", e);
    return write_reject();
  }

  // A customer that meets a conflict with another writer runs again from its
  // BEGIN; a full or lost database stops the import once the customer is written.
  for (int attempt = 1;; ++attempt) {
    reports_.clear();
    errors = json::array();
    host_->errors().Clear();
    db::FailureKind failure = db::FailureKind::kOther;
    bool began = false, committing = false;
    try {
      host_->BeginTrans();
      began = true;
      LockCustomer(key);
      Run(document, key);
      const bool deleting = document.value("delete", false);
      const int64_t queued = batch_->Queue() ? batch_->Queue()->Count() : 0;
      committing = true;
      host_->CommitTrans();
      ++counts_.imported;
      counts_.retries += attempt - 1;
      counts_.statements += queued + (deleting ? 1 : 8) + 1;
      return true;
    } catch (const Failure& f) {
      add_error(f.call, f.error);
    } catch (const Error& e) {
      add_error(!began ? "BeginTrans" : committing ? "CommitTrans" : "import", e);
    }
    failure = FailureOfCustomer();
    if (began) {
      try {
        host_->RollbackTrans();
      } catch (const Error& e) {
        // After a failed commit, or a failure that ended the transaction
        // (SQLite's full disk does), there is nothing left to roll back; a
        // rollback that fails otherwise leaves the connection unusable.
        const auto* provider = dynamic_cast<const db::ProviderFailure*>(&e);
        if (host_->State() != db::kStateOpen ||
            (provider != nullptr &&
             db::ClassifyFailure(provider->detail()) == db::FailureKind::kUnavailable)) {
          add_error("RollbackTrans", e);
          failure = db::FailureKind::kUnavailable;
        }
      }
    } else if (failure == db::FailureKind::kOther || failure == db::FailureKind::kUniqueViolation) {
      // A database that will not begin a transaction cannot take later customers either.
      failure = db::FailureKind::kUnavailable;
    }
    if (host_->State() != db::kStateOpen) failure = db::FailureKind::kUnavailable;
    const bool conflict =
        failure == db::FailureKind::kTransient || failure == db::FailureKind::kUniqueViolation;
    if (conflict && attempt < kMaxAttempts) {
      // A short, growing, jittered pause lets the other writer finish.
      std::this_thread::sleep_for(
          std::chrono::milliseconds((10 << (attempt - 1)) + jitter_() % 10));
      continue;
    }
    if (attempt > 1) reject["attempts"] = attempt;
    counts_.retries += attempt - 1;
    write_reject();
    // Nor can a full, read-only or lost database take the next customer.
    if (failure >= db::FailureKind::kStorageFull)
      throw CommandError{kExitDatabase, StopMessage(line_number, failure, errors)};
    return false;
  }
}

db::FailureKind Importer::FailureOfCustomer() const {
  // The most serious kind among the host connection's errors and those that
  // the reports carried (a writer's report empties its connection's list).
  db::FailureKind worst = db::FailureKind::kOther;
  auto consider = [&](const db::ProviderError& error) {
    worst = std::max(worst, db::ClassifyFailure(error));
  };
  for (const db::ProviderError& error : host_->errors().list()) consider(error);
  for (const Report& report : reports_)
    for (const ReportedProviderError& e : report.errors)
      consider(db::ProviderError{e.number, e.description, e.sqlstate, e.source});
  return worst;
}

std::string Importer::StopMessage(int64_t line_number, db::FailureKind failure,
                                  const json& errors) const {
  std::string reason;
  if (!errors.empty()) reason = errors.front().value("description", "");
  const char* what = "the database cannot be used";
  const char* remedy = "When the database is back, run";
  if (failure == db::FailureKind::kStorageFull) {
    what = "the database is full";
    remedy = "Make room and run";
  } else if (failure == db::FailureKind::kReadOnly) {
    what = "the database is read-only";
    remedy = "Make it writable and run";
  }
  std::ostringstream text;
  text << "The import stopped at line " << line_number << ": " << what
       << (reason.empty() ? "" : " (" + reason + ")") << ". " << counts_.imported
       << " customers were imported and " << counts_.rejected << " rejected, this one among them. "
       << remedy << " the import again: customers imported before are stored again unchanged.";
  return text.str();
}

void Importer::LockCustomer(const std::string& key) {
  // Only a plain number goes into the text; Execute refuses any other key.
  if (key.empty() || key.size() > 18 || key.find_first_not_of("0123456789") != std::string::npos)
    return;
  try {
    host_->Execute("Update CBASE Set CUBS_UNIQUE_KEY = CUBS_UNIQUE_KEY Where CUBS_UNIQUE_KEY = " +
                   key);
  } catch (const Error& e) {
    throw Failure{"lock", e};
  }
}

void Importer::Run(const json& document, const std::string& key) {
  try {
    batch_->Call("Initialize");
  } catch (const Error& e) {
    throw Failure{"Initialize", e};
  }
  if (document.contains("calls")) {
    for (const json& call : document["calls"]) {
      if (!call.is_object() || call.size() != 1 || !call.begin().value().is_object())
        throw Failure{"calls", Error(err::kTypeMismatch,
                                     "Each call is {\"Method\":{\"Parameter\":value,...}}: " +
                                         Dump(call).substr(0, 80))};
      Call(call.begin().key(), call.begin().value());
    }
  }
  const bool deleting = document.value("delete", false);
  const std::string method = deleting ? "DelExecute" : "Execute";
  const size_t reports_before = reports_.size();
  Variant result;
  try {
    result = CallNamed(*batch_, method, {{"UniqueKey", Variant::String(key)}});
  } catch (const Error& e) {
    throw Failure{method, e};
  }
  if (result.type() == Variant::Type::kLong && result.ToLong() == -1)
    throw Failure{method, Error(err::kInvalidCall, method + " returned -1: " +
                                                       Descriptions(reports_, reports_before))};
}

void Importer::Call(const std::string& method, const json& arguments) {
  if (IsRunByImport(method))
    throw Failure{method,
                  Error(err::kInvalidCall, method + " is run by the import itself: leave it "
                                                    "out of \"calls\" (use \"delete\" for "
                                                    "DelExecute)")};
  if (batch_->ParameterNames(method).empty())
    throw Failure{method,
                  Error(err::kUnknownMember,
                        "Unknown method " + method +
                            ": a call names a writer or family method of the batch object, such "
                            "as SetBaseData, SetMENTEData, SetG_BaseData, FamilyUpdate")};
  std::vector<NamedArg> named;
  for (const auto& [name, value] : arguments.items()) {
    try {
      named.push_back({name, ImportValue(value)});
    } catch (const Error& e) {
      throw Failure{method, Error(e.number(), name + ": " + e.description())};
    }
  }
  const size_t reports_before = reports_.size();
  Variant result;
  try {
    result = CallNamed(*batch_, method, std::move(named));
  } catch (const Error& e) {
    throw Failure{method, e};
  }
  if (result.type() == Variant::Type::kLong && result.ToLong() == -1)
    throw Failure{method, Error(err::kInvalidCall, method + " returned -1: " +
                                                       Descriptions(reports_, reports_before))};
}

Progress::Progress(std::optional<int64_t> total, bool enabled)
    : total_(total), enabled_(enabled), started_(Clock::now()), last_() {}

Progress::~Progress() {
  Finish();
}

void Progress::Update(int64_t done) {
  if (!enabled_) return;
  const auto now = Clock::now();
  if (shown_ && now - last_ < std::chrono::milliseconds(200) && (!total_ || done < *total_)) return;
  last_ = now;
  const double seconds = std::chrono::duration<double>(now - started_).count();
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  std::ostringstream line;
  line << "\r" << done;
  if (total_) line << "/" << *total_;
  line << " customers, " << std::fixed << std::setprecision(1) << rate << "/s";
  if (total_ && rate > 0 && done < *total_)
    line << ", " << static_cast<int64_t>(std::ceil(static_cast<double>(*total_ - done) / rate))
         << " s left";
  line << "\033[K";
  std::cerr << line.str() << std::flush;
  shown_ = true;
}

void Progress::Finish() {
  if (!enabled_ || !shown_) return;
  std::cerr << "\r\033[K" << std::flush;
  shown_ = false;
}

std::string SummaryLine(const ImportCounts& counts) {
  std::ostringstream line;
  const double rate = counts.seconds > 0
                          ? static_cast<double>(counts.imported + counts.rejected) / counts.seconds
                          : 0;
  line << "imported " << counts.imported << ", rejected " << counts.rejected << ", "
       << counts.statements << " statements in " << std::fixed << std::setprecision(2)
       << counts.seconds << " s (" << std::setprecision(1) << rate << " customers/s)";
  if (counts.retries > 0) line << ", " << counts.retries << " retries";
  return line.str();
}

std::optional<int64_t> CountCustomerLines(const std::string& file) {
  std::ifstream in(file);
  if (!in) return std::nullopt;
  int64_t count = 0;
  std::string line;
  for (bool first = true; std::getline(in, line); first = false) {
    if (first) DropByteOrderMark(line);
    if (!IsBlankLine(line)) ++count;
  }
  return count;
}

ImportCounts ImportStream(Importer& importer, std::istream& in, std::ostream& rejects,
                          Progress* progress) {
  std::string line;
  int64_t line_number = 0, done = 0;
  const bool rejects_on_terminal = &rejects == &std::cerr;
  while (std::getline(in, line)) {
    if (++line_number == 1) DropByteOrderMark(line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (IsBlankLine(line)) continue;
    std::ostringstream reject;
    bool stored = false;
    try {
      stored = importer.Import(line, line_number, reject);
    } catch (const CommandError&) {
      // The customer in flight is in the rejects before the import stops.
      if (progress) progress->Finish();
      rejects << reject.str() << std::flush;
      throw;
    }
    if (!stored) {
      if (progress && rejects_on_terminal) progress->Finish();
      rejects << reject.str() << std::flush;
    }
    if (progress) progress->Update(++done);
  }
  return importer.counts();
}

int ImportCommand(const std::string& file, const std::optional<std::string>& db,
                  const std::optional<std::string>& rejects_file, std::ostream& out) {
  std::ifstream file_in;
  if (file != "-") {
    file_in.open(file);
    if (!file_in)
      throw CommandError{kExitUsage, "Cannot read " + file + ": " + std::strerror(errno)};
  }
  std::istream& in = file == "-" ? std::cin : file_in;
  const std::string connection_string = ResolveConnectionString(db);
  std::ofstream rejects_out;
  if (rejects_file) {
    rejects_out.open(*rejects_file, std::ios::trunc);
    if (!rejects_out)
      throw CommandError{kExitUsage, "Cannot write the rejects file " + *rejects_file + ": " +
                                         std::strerror(errno)};
  }
  std::ostream& rejects = rejects_file ? static_cast<std::ostream&>(rejects_out) : std::cerr;

  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  std::optional<int64_t> total;
  if (terminal && file != "-") total = CountCustomerLines(file);
  Importer importer(connection_string);
  Progress progress(total, terminal);
  ImportCounts counts;
  try {
    counts = ImportStream(importer, in, rejects, &progress);
  } catch (const CommandError&) {
    // How far it got, then the reason on standard error.
    out << SummaryLine(importer.counts()) << "\n" << std::flush;
    throw;
  }
  progress.Finish();
  out << SummaryLine(counts) << "\n";
  if (counts.rejected > 0)
    out << "rejected customers were written to "
        << (rejects_file ? *rejects_file : std::string("standard error")) << "\n";
  return counts.rejected > 0 ? kExitFailed : kExitOk;
}

}  // namespace kvt710::cli
