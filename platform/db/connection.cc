#include "platform/db/connection.h"

#include <cctype>
#include <new>
#include <optional>
#include <string_view>
#include <type_traits>

#include "platform/db/backend.h"
#include "platform/db/connection_string.h"
#include "platform/db/providers.h"
#include "platform/db/recordsets.h"
#include "platform/db/sql_trace.h"
#include "platform/text/ascii.h"
#include "platform/text/utf8.h"

namespace kvt710::db {
namespace {

constexpr const char* kSource = "ADODB.Connection";

bool StartsWithWord(std::string_view text, std::string_view word) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  if (text.size() - i < word.size()) return false;
  for (size_t k = 0; k < word.size(); ++k) {
    if (text::ToUpperAscii(text[i + k]) != word[k]) return false;
  }
  const size_t after = i + word.size();
  return after == text.size() ||
         !(std::isalnum(static_cast<unsigned char>(text[after])) || text[after] == '_');
}

// Replaces (or adds) the value of a key: every key that `same` accepts goes.
template <class Same>
void Override(ConnectionParameters& params, Same same, const std::string& key,
              const std::string& value) {
  std::erase_if(params.values, [&](const auto& kv) { return same(kv.first); });
  params.values.emplace_back(key, value);
}

// Reads and removes the prepared-shapes option ("Prepared Statements" as a
// key, "prepared_statements" in a URI's query), so that no backend sees it.
bool TakePreparedOption(ConnectionParameters& params) {
  std::optional<std::string> value;
  if (params.uri.empty()) {
    value = params.Find(kPreparedStatementsKey);
    std::erase_if(params.values, [](const auto& kv) {
      return KeysEqual(kv.first, kPreparedStatementsKey, KeyRule::kIgnoreCase);
    });
  } else if (const size_t query = params.uri.find('?'); query != std::string::npos) {
    std::string rest;
    size_t p = query + 1;
    while (p <= params.uri.size()) {
      size_t amp = params.uri.find('&', p);
      if (amp == std::string::npos) amp = params.uri.size();
      const std::string_view pair = std::string_view(params.uri).substr(p, amp - p);
      if (pair.substr(0, pair.find('=')) == "prepared_statements") {
        const size_t eq = pair.find('=');
        value = eq == std::string_view::npos ? std::string() : std::string(pair.substr(eq + 1));
      } else if (!pair.empty()) {
        rest += rest.empty() ? "" : "&";
        rest += pair;
      }
      p = amp + 1;
    }
    params.uri.resize(query);
    if (!rest.empty()) params.uri += "?" + rest;
  }
  if (!value) return true;
  std::string word;
  for (char c : *value)
    if (c != ' ') word += text::ToLowerAscii(c);
  if (word == "true" || word == "yes" || word == "on" || word == "1") return true;
  if (word == "false" || word == "no" || word == "off" || word == "0") return false;
  throw Error(kvt710::err::kBadConnectionString,
              "The connection string's Prepared Statements value must be true or false", kSource);
}

Error AsError(const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr)
    return Error(kvt710::err::kOutOfMemory, "Out of memory", kSource);
  return Error(kvt710::err::kInternal, std::string("Internal error: ") + e.what(), kSource);
}

}  // namespace

void CheckConnectionString(const std::string& connection_string) {
  ConnectionParameters params = ParseConnectionString(connection_string);
  TakePreparedOption(params);
  CreateBackend(params.provider)->CheckKeys(params);
}

std::shared_ptr<Connection> Connection::Create() {
  return std::shared_ptr<Connection>(new Connection());
}

Connection::Connection() : errors_(std::make_shared<Errors>()) {}

Connection::~Connection() {
  if (backend_) {
    try {
      backend_->Close();
    } catch (...) {
      // Nothing may escape a destructor; the handle is released either way.
    }
  }
}

template <class F>
auto Connection::Guarded(const std::string* sql, F&& body) -> decltype(body()) {
  // Only a text that reaches an open database is traced.
  const bool traced = sql != nullptr && State() == kStateOpen;
  try {
    if constexpr (std::is_void_v<decltype(body())>) {
      body();
      if (traced) Trace(*sql, true);
    } else {
      auto result = body();
      if (traced) Trace(*sql, true);
      return result;
    }
  } catch (const Error& e) {
    if (traced) Trace(*sql, false);
    RecordFailure(e);
    throw;
  } catch (const std::exception& e) {
    if (traced) Trace(*sql, false);
    const Error error = AsError(e);
    RecordFailure(error);
    throw error;
  }
}

void Connection::Open(const std::string& connection_string, const std::string& user,
                      const std::string& password) {
  Guarded(nullptr, [&] {
    if (State() == kStateOpen)
      throw Error(kErrObjectOpen, "Operation is not allowed when the object is open", kSource);
    if (!connection_string.empty()) connection_string_ = connection_string;
    ConnectionParameters params = ParseConnectionString(connection_string_);
    const bool prepared = TakePreparedOption(params);
    if (!user.empty()) {
      const auto is_user = [](std::string_view key) {
        return text::EqualsIgnoreCase(key, "User ID") || text::EqualsIgnoreCase(key, "UID") ||
               text::EqualsIgnoreCase(key, "User");
      };
      Override(params, is_user, "User ID", user);
    }
    if (!password.empty())
      Override(
          params, [](std::string_view key) { return IsPasswordKey(key); }, "Password", password);
    std::unique_ptr<Backend> backend = CreateBackend(params.provider);
    backend->Open(params, command_timeout_);
    backend_ = std::move(backend);
    prepared_shapes_ = prepared;
  });
}

void Connection::Execute(const std::string& sql) {
  Guarded(&sql, [&] { backend().Execute(sql); });
}

void Connection::Execute(const Statement& statement) {
  const std::string& sql = statement.text();
  Guarded(&sql, [&] {
    Backend& backend = this->backend();
    // A NUL byte is refused by the text's own checks; bound, it would pass.
    if (prepared_shapes_ && statement.has_shape() && sql.find('\0') == std::string::npos) {
      backend.ExecuteShaped(statement);
    } else {
      backend.Execute(sql);
    }
  });
}

void Connection::ExecuteAll(const std::vector<const Statement*>& statements) {
  size_t done = 0;
  try {
    Backend& backend = this->backend();
    bool shaped = prepared_shapes_;
    for (const Statement* s : statements)
      if (s->text().find('\0') != std::string::npos) shaped = false;
    backend.ExecuteAll(statements, shaped, &done);
  } catch (const std::exception&) {
    // The statements that ran, then the one that failed, as Execute traces them.
    for (size_t i = 0; i < done && i < statements.size(); ++i) Trace(statements[i]->text(), true);
    if (done < statements.size()) {
      const std::string& failed = statements[done]->text();
      Guarded(&failed, [] { throw; });
    }
    Guarded(nullptr, [] { throw; });
  }
  for (const Statement* s : statements) Trace(s->text(), true);
}

int64_t Connection::ExecuteCount(const std::string& sql) {
  return Guarded(&sql, [&] { return backend().ExecuteBound(sql, {}); });
}

std::shared_ptr<Recordset> Connection::OpenRecordset(const std::string& sql, CursorType /*cursor*/,
                                                     LockType lock) {
  // The lock type decides: read-only gives the in-memory recordset, any
  // other the updatable one (which traces the texts it sends itself).
  if (lock == LockType::kReadOnly)
    return Guarded(&sql,
                   [&] { return OpenStaticRecordset(shared_from_this(), Statement(sql), false); });
  return Guarded(nullptr, [&] { return OpenUpdatableRecordset(shared_from_this(), sql); });
}

std::shared_ptr<Recordset> Connection::OpenRecordset(const Statement& query) {
  return Guarded(&query.text(),
                 [&] { return OpenStaticRecordset(shared_from_this(), query, prepared_shapes_); });
}

void Connection::BeginTrans() {
  Guarded(nullptr, [&] { backend().Begin(); });
}

void Connection::CommitTrans() {
  Guarded(nullptr, [&] { backend().Commit(); });
}

void Connection::RollbackTrans() {
  Guarded(nullptr, [&] { backend().Rollback(); });
}

int32_t Connection::State() const {
  return backend_ && backend_->IsOpen() ? kStateOpen : kStateClosed;
}

void Connection::Close() {
  // Closing a closed connection does nothing.
  if (!backend_) return;
  Guarded(nullptr, [&] {
    std::unique_ptr<Backend> backend = std::move(backend_);
    backend->Close();
  });
}

Backend& Connection::backend() {
  if (!backend_ || !backend_->IsOpen()) {
    throw Error(kvt710::err::kConnectionClosed,
                "Operation is not allowed when the object is closed", kSource);
  }
  return *backend_;
}

void Connection::RecordFailure(const Error& error) {
  if (const auto* failure = dynamic_cast<const ProviderFailure*>(&error)) {
    errors_->Add(failure->detail());
  } else {
    errors_->Add(ProviderError{error.number(), error.description(), "", error.source()});
  }
}

void Connection::Trace(const std::string& sql, bool ok) const {
  TraceStatement(sql, ok);
}

Variant Connection::Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) {
  if (text::EqualsIgnoreCase(member, "Execute") && kind == InvokeKind::kMethod) {
    // Execute(sql, [recordsAffected], [options]): the count is by reference.
    if (args.size() > 3) ThrowWrongArgCount("Execute");
    Args wrapped("Execute", args);
    const std::string sql = wrapped.String(0);
    const bool want_count = wrapped.Given(1);
    if (StartsWithWord(sql, "SELECT") || StartsWithWord(sql, "WITH")) {
      auto recordset = OpenRecordset(sql, CursorType::kStatic, LockType::kReadOnly);
      if (want_count) args[1] = Variant::Long(-1);
      return Variant::Object(recordset);
    }
    if (want_count) {
      args[1] = Variant::Long(static_cast<int32_t>(ExecuteCount(sql)));
    } else {
      Execute(sql);
    }
    return Variant();
  }
  static const DispatchTable<Connection> table({
      // Read back without its passwords: the property may end up in a log.
      {"ConnectionString", InvokeKind::kPropertyGet,
       [](Connection& c, Args&) {
         return Variant::String(RedactConnectionString(c.connection_string()));
       }},
      {"ConnectionString", InvokeKind::kPropertyPut,
       [](Connection& c, Args& a) {
         c.set_connection_string(a.String(a.size() - 1));
         return Variant();
       }},
      {"CommandTimeout", InvokeKind::kPropertyGet,
       [](Connection& c, Args&) { return Variant::Long(c.command_timeout()); }},
      {"CommandTimeout", InvokeKind::kPropertyPut,
       [](Connection& c, Args& a) {
         c.set_command_timeout(a.Long(a.size() - 1));
         return Variant();
       }},
      // Options (ADO's fourth argument) has nothing to choose here.
      {"Open",
       InvokeKind::kMethod,
       [](Connection& c, Args& a) {
         c.Open(a.OptString(0), a.OptString(1), a.OptString(2));
         return Variant();
       },
       {"ConnectionString", "UserID", "Password", "Options"}},
      {"BeginTrans", InvokeKind::kMethod,
       [](Connection& c, Args&) {
         c.BeginTrans();
         return Variant::Long(1);
       }},
      {"CommitTrans", InvokeKind::kMethod,
       [](Connection& c, Args&) {
         c.CommitTrans();
         return Variant();
       }},
      {"RollbackTrans", InvokeKind::kMethod,
       [](Connection& c, Args&) {
         c.RollbackTrans();
         return Variant();
       }},
      {"Errors", InvokeKind::kPropertyGet,
       [](Connection& c, Args&) { return Variant::Object(c.errors_object()); }},
      {"State", InvokeKind::kPropertyGet,
       [](Connection& c, Args&) { return Variant::Long(c.State()); }},
      {"Close", InvokeKind::kMethod,
       [](Connection& c, Args&) {
         c.Close();
         return Variant();
       }},
  });
  return table.Invoke(*this, member, kind, args);
}

std::vector<std::string> ClientLibraries() {
  std::vector<std::string> libraries;
  for (const std::string& provider : ProviderNames())
    libraries.push_back(CreateBackend(provider)->ClientLibrary());
  return libraries;
}

}  // namespace kvt710::db
