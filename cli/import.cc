#include "cli/import.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>

#include "batch/KVT710C3.h"
#include "cli/common.h"
#include "cli/interrupt.h"
#include "cli/json_values.h"
#include "cli/output_file.h"
#include "platform/db/connection.h"
#include "platform/settings/settings.h"
#include "platform/sibling/prw520.h"
#include "platform/text/ascii.h"
#include "platform/text/number.h"
#include "platform/text/utf8.h"
#include "policy/retry.h"

namespace kvt710::cli {
namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

// "kvt710-rejects-20261206-201502.jsonl", in the current folder.
std::string TerminalRejectsFileName() {
  const std::time_t now = std::time(nullptr);
  std::tm local = {};
  localtime_r(&now, &local);
  char name[64];
  std::strftime(name, sizeof name, "kvt710-rejects-%Y%m%d-%H%M%S.jsonl", &local);
  return name;
}

std::string Dump(const json& value) {
  return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

// A parse error quotes the token it last read, which may be most of a huge
// line: the line itself is in the rejects already, so the message keeps its start.
std::string ParseErrorMessage(const json::exception& e) {
  constexpr size_t kLongest = 300;
  std::string message = std::string("Not a JSON line: ") + e.what();
  if (message.size() <= kLongest) return message;
  return std::string(text::Utf8Prefix(message, kLongest)) + "...";
}

bool IsBlankLine(const std::string& line) {
  return text::TrimAsciiSpace(line).empty();
}

// The members that the import runs itself around a customer's calls.
bool IsRunByImport(const std::string& method) {
  return text::EqualsIgnoreCase(method, "Initialize") ||
         text::EqualsIgnoreCase(method, "Execute") || text::EqualsIgnoreCase(method, "DelExecute");
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

Importer::Importer(const std::string& connection_string, bool check_only)
    : started_(Clock::now()), check_only_(check_only) {
  host_ = OpenDatabase(connection_string);
  RequireCustomerTables(*host_);
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
    document = ParseLine(line);
    if (!document.is_object()) throw Error(err::kTypeMismatch, "A customer line is a JSON object");
    const json* k = document.contains("key") ? &document["key"] : nullptr;
    if (k == nullptr || !(k->is_string() || k->is_number_integer()))
      throw Error(err::kTypeMismatch, "The customer needs \"key\": its unique key as a string");
    key = k->is_string() ? k->get<std::string>() : k->dump();
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
  } catch (const std::exception& e) {
    add_error("line", Error(err::kInternal, e.what()));
    return write_reject();
  }

  // A customer that meets a conflict with another writer runs again from its
  // BEGIN; a full or lost database stops the import once the customer is written.
  policy::Retry retry(policy::kImportRetry);
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
      const int64_t statements = batch_->StatementCount(document.value("delete", false));
      committing = true;
      if (check_only_) {
        host_->RollbackTrans();
      } else {
        host_->CommitTrans();
      }
      ++counts_.imported;
      counts_.retries += attempt - 1;
      counts_.statements += statements;
      return true;
    } catch (const Failure& f) {
      add_error(f.call, f.error);
    } catch (const Error& e) {
      add_error(!began ? "BeginTrans" : committing ? "CommitTrans" : "import", e);
    } catch (const std::exception& e) {
      // Nothing else is expected; the customer is rejected rather than the import ended.
      add_error("import", Error(err::kInternal, e.what()));
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
    if (retry.Again(attempt, failure)) continue;
    if (attempt > 1) reject["attempts"] = attempt;
    counts_.retries += attempt - 1;
    write_reject();
    // Nor can a full, read-only or lost database take the next customer.
    if (failure >= db::FailureKind::kStorageFull)
      throw CommandError{kExitDatabase, StopMessage(line_number, failure, errors)};
    return false;
  }
}

void Importer::RejectLine(const std::string& input, int64_t line_number, const Error& error,
                          std::ostream& rejects) {
  ++counts_.rejected;
  const json errors = json::array({{{"call", "line"},
                                    {"number", error.number()},
                                    {"description", error.description()},
                                    {"source", error.source()}}});
  rejects << Dump({{"line", line_number},
                   {"key", nullptr},
                   {"input", input},
                   {"errors", errors},
                   {"reports", json::array()}})
          << '\n';
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
  try {
    batch_->LockCustomer(key);
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
                                         Excerpt(call))};
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
                            "as SetBaseData, SetMENTEData, SetG_BaseData, FamilyUpdate (kvt710 "
                            "methods lists them)")};
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
  const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<int64_t> count = 0;
  struct stat status = {};
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) count = std::nullopt;
  try {
    LineReader lines(FileSource(fd));
    for (LineReader::Line line; count && lines.Next(line);)
      if (line.too_long || !IsBlankLine(line.text)) ++*count;
  } catch (const ReadError&) {
    count = std::nullopt;
  } catch (const Interrupted&) {
    count = std::nullopt;  // the import that follows stops at once
  }
  ::close(fd);
  return count;
}

std::string BriefReject(const std::string& reject_json) {
  constexpr size_t kLongest = 160;
  const json reject = json::parse(reject_json, nullptr, false);
  if (!reject.is_object()) return "a rejected customer";
  std::string text = "line " + Dump(reject.value("line", json())) + ", key " +
                     Dump(reject.value("key", json())) + ": ";
  const json errors = reject.value("errors", json::array());
  if (!errors.empty() && errors[0].is_object())
    text += errors[0].value("call", "") + ": " + errors[0].value("description", "");
  if (text.size() <= kLongest) return text;
  return std::string(text::Utf8Prefix(text, kLongest)) + "...";
}

ImportCounts ImportStream(Importer& importer, LineReader& lines, std::ostream& rejects,
                          Progress* progress, std::ostream* brief) {
  int64_t done = 0;
  const bool rejects_on_terminal = &rejects == &std::cerr || brief == &std::cerr;
  auto stop = [&](int exit_code, const std::string& message) {
    if (progress) progress->Finish();
    const ImportCounts counts = importer.counts();
    throw CommandError{exit_code, message + ". " + std::to_string(counts.imported) +
                                      " customers were imported and " +
                                      std::to_string(counts.rejected) + " rejected."};
  };
  auto interrupted = [&](int signal) {
    const std::string next = std::to_string(lines.lines() + 1);
    stop(128 + signal, std::string("Interrupted (") + (signal == SIGTERM ? "SIGTERM" : "Ctrl-C") +
                           ") at line " + next + ": the lines before it are done; to go on, " +
                           "import again from line " + next + " (tail -n +" + next +
                           " FILE | kvt710 import -)");
  };
  LineReader::Line line;
  for (;;) {
    if (StopSignal() != 0) interrupted(StopSignal());
    try {
      if (!lines.Next(line)) break;
    } catch (const Interrupted& e) {
      interrupted(e.signal);
    } catch (const ReadError& e) {
      stop(kExitDatabase, "The import stopped at line " + std::to_string(lines.lines() + 1) +
                              ": reading the input failed (" + std::strerror(e.error) + ")");
    }
    if (!line.too_long && IsBlankLine(line.text)) continue;
    std::ostringstream reject;
    bool stored = false;
    std::optional<CommandError> stopped;
    try {
      if (line.too_long)
        importer.RejectLine(
            line.text, line.number,
            Error(err::kOutOfMemory, "The line has " + std::to_string(line.bytes) +
                                         " bytes, more than the limit of " +
                                         std::to_string(lines.max_line_bytes()) +
                                         " (--max-line-bytes); \"input\" holds its first " +
                                         std::to_string(line.text.size())),
            reject);
      else
        stored = importer.Import(line.text, line.number, reject);
    } catch (const CommandError& e) {
      // The customer in flight is in the rejects before the import stops.
      stopped = e;
    }
    if (progress && (stopped || (!stored && rejects_on_terminal))) progress->Finish();
    if (!stored && brief) *brief << BriefReject(reject.str()) << std::endl;
    if (!stored && !(rejects << reject.str() << std::flush)) {
      const std::string reason = std::strerror(errno);
      if (stopped) stopped->message += " The rejects could not be written (" + reason + ").";
      if (!stopped)
        stop(kExitDatabase, "The import stopped at line " + std::to_string(line.number) +
                                ": the rejects could not be written (" + reason + ")");
    }
    if (stopped) throw *stopped;
    if (progress) progress->Update(++done);
  }
  return importer.counts();
}

ImportCounts ImportStream(Importer& importer, std::istream& in, std::ostream& rejects,
                          Progress* progress) {
  LineReader lines(StreamSource(in));
  return ImportStream(importer, lines, rejects, progress);
}

int ImportCommand(const std::string& file, const std::optional<std::string>& db,
                  const std::optional<std::string>& rejects_file, const ImportOptions& options,
                  std::ostream& out) {
  const InputFile input(file);
  const std::string connection_string = ResolveConnectionString(db);
  const bool terminal = ::isatty(STDERR_FILENO) == 1;
  const bool rejects_to_out = rejects_file && *rejects_file == "-";
  // JSON lines between the progress lines are unreadable on a terminal.
  const std::optional<std::string> rejects_path =
      rejects_file ? rejects_file
      : terminal   ? std::optional<std::string>(TerminalRejectsFileName())
                   : std::nullopt;
  std::unique_ptr<OutputFile> rejects_out;
  if (rejects_path && !rejects_to_out) {
    // Writing the rejects over the input would lose it.
    struct stat status = {};
    if (::stat(rejects_path->c_str(), &status) == 0 && status.st_dev == input.device() &&
        status.st_ino == input.inode() && S_ISREG(status.st_mode))
      throw CommandError{kExitUsage, "The rejects file " + *rejects_path +
                                         " is the input itself: name another file"};
    rejects_out = std::make_unique<OutputFile>(*rejects_path);
  }
  std::ostream* brief = !rejects_file && terminal ? &std::cerr : nullptr;
  // The file of a terminal's rejects is kept only when it holds some.
  auto commit_rejects = [&](int64_t rejected) {
    if (rejects_out && (rejects_file || rejected > 0)) rejects_out->Commit();
  };
  std::ostream& rejects = rejects_out ? rejects_out->stream() : rejects_to_out ? out : std::cerr;
  std::ostream& summary = rejects_to_out ? std::cerr : out;

  CatchStopSignals();
  std::optional<int64_t> total;
  if (terminal && file != "-") total = CountCustomerLines(file);
  Importer importer(connection_string, options.check);
  if (StopSignal() != 0)
    throw CommandError{128 + StopSignal(), "Interrupted before the import began"};
  Progress progress(total, terminal);
  LineReader lines(FileSource(input.fd()), options.max_line_bytes);
  const std::string rejects_where = rejects_to_out ? std::string("standard output")
                                    : rejects_path ? *rejects_path
                                                   : std::string("standard error");
  // The summary line, or with --json one object; `stopped` is the reason the
  // import ended early.
  auto print_summary = [&](const ImportCounts& counts, const std::string* stopped) {
    if (options.json) {
      const double rate =
          counts.seconds > 0
              ? static_cast<double>(counts.imported + counts.rejected) / counts.seconds
              : 0;
      json object = {{"imported", counts.imported},
                     {"rejected", counts.rejected},
                     {"retries", counts.retries},
                     {"statements", counts.statements},
                     {"seconds", counts.seconds},
                     {"customers_per_second", rate},
                     {"lines_read", lines.lines()},
                     {"stopped", stopped ? json(*stopped) : json()},
                     {"checked_only", options.check},
                     {"rejects", counts.rejected > 0 ? json(rejects_where) : json()}};
      summary << Dump(object) << "\n" << std::flush;
      return;
    }
    summary << SummaryLine(counts) << (options.check ? " (checked only: nothing stored)" : "")
            << "\n";
    if (!stopped && counts.rejected > 0)
      summary << "rejected customers were written to " << rejects_where << "\n";
    summary << std::flush;
  };
  ImportCounts counts;
  try {
    counts = ImportStream(importer, lines, rejects, &progress, brief);
  } catch (CommandError& e) {
    // How far it got, the rejects so far in place (unless writing them failed:
    // the old file is then kept), then the reason on standard error.
    print_summary(importer.counts(), &e.message);
    try {
      if (rejects_out && rejects_out->stream()) commit_rejects(importer.counts().rejected);
    } catch (const CommandError& not_written) {
      e.message += " " + not_written.message + ".";
    }
    throw;
  }
  progress.Finish();
  print_summary(counts, nullptr);
  commit_rejects(counts.rejected);
  return counts.rejected > 0 ? kExitFailed : kExitOk;
}

}  // namespace kvt710::cli
