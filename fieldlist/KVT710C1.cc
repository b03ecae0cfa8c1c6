#include "fieldlist/KVT710C1.h"

#include <exception>
#include <new>

#include "fieldlist/field_list_sql.h"
#include "platform/automation/registry.h"
#include "platform/db/connection.h"
#include "platform/sibling/prw520.h"

namespace kvt710 {
namespace {

constexpr int16_t kErrorCode = 11015;

// The state that the executors of one thread share.
struct ThreadState {
  std::shared_ptr<db::Connection> connection;
  double key = 0;
  int32_t mode = 0;
  int32_t count = 0;
  std::optional<std::vector<std::string>> names;
  std::optional<std::vector<std::string>> values;
  int32_t difference = 0;
  bool result = false;
  std::shared_ptr<Dispatch> reporter;
};

ThreadState& Shared() {
  thread_local ThreadState state;
  return state;
}

// The shared connection; an unopened one takes its place when it is empty.
const std::shared_ptr<db::Connection>& SharedConnection() {
  ThreadState& state = Shared();
  if (!state.connection) state.connection = db::Connection::Create();
  return state.connection;
}

Error AsError(const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e) != nullptr)
    return Error(err::kOutOfMemory, "Out of memory");
  return Error(err::kInternal, std::string("Internal error: ") + e.what());
}

// Runs `body`; a caught failure goes to `on_error` as a kvt710::Error.
template <class Body, class OnError>
bool Caught(Body&& body, OnError&& on_error) {
  try {
    body();
    return true;
  } catch (const Error& e) {
    on_error(e);
  } catch (const std::exception& e) {
    on_error(AsError(e));
  }
  return false;
}

// Hands `error` to the thread's reporter, created when first needed, with
// the error list of `connection`. A reporter that cannot be created or
// fails is not reported to: the method's result still says false.
void ReportCaught(const Error& error, const std::shared_ptr<db::Connection>& connection,
                  const std::string& source) {
  ThreadState& state = Shared();
  try {
    if (!state.reporter) state.reporter = CreateObject("PRW520.PRW520C1");
    ReportError(*state.reporter, error.WithSource(source), Variant::Integer(kErrorCode),
                connection->errors_object(), source);
  } catch (const Error&) {
  }
}

// Ends a run: the shared connection and the reporter are dropped.
void EndRun() {
  ThreadState& state = Shared();
  state.connection.reset();
  state.reporter.reset();
}

// Ends a run that failed building or running its statement: report with the
// shared connection's error list, close that connection, drop it.
void FailRun(const Error& error, const std::string& source) {
  const std::shared_ptr<db::Connection> connection = SharedConnection();
  ReportCaught(error, connection, source);
  try {
    if (connection->State() == db::kStateOpen) connection->Close();
  } catch (const Error&) {
  }
  EndRun();
}

std::vector<std::string>& Sized(std::optional<std::vector<std::string>>& array) {
  if (!array) throw Error(err::kSubscript, "Subscript out of range");
  return *array;
}

}  // namespace

std::shared_ptr<KVT710C1> KVT710C1::Create() {
  return std::shared_ptr<KVT710C1>(new KVT710C1());
}

std::string& KVT710C1::Slot(std::optional<std::vector<std::string>>& array) const {
  std::vector<std::string>& items = Sized(array);
  if (index_ < 0 || static_cast<uint64_t>(index_) >= items.size())
    throw Error(err::kSubscript, "Subscript out of range");
  return items[static_cast<size_t>(index_)];
}

void KVT710C1::propFields(const std::string& name) {
  Slot(names_) = name;
}

void KVT710C1::propValue(const std::string& value) {
  Slot(values_) = value;
}

void KVT710C1::ObjConnect(std::shared_ptr<db::Connection> connection) {
  Shared().connection = std::move(connection);
}

const std::shared_ptr<db::Connection>& KVT710C1::Idle() {
  if (!idle_) idle_ = db::Connection::Create();
  return idle_;
}

void KVT710C1::subParaRedim() {
  if (count_ < 1 || count_ > kMaxFields) return;
  try {
    const auto n = static_cast<size_t>(count_);
    std::vector<std::string> names(n), values(n), working_names(n), working_values(n);
    names_ = std::move(names);
    values_ = std::move(values);
    ThreadState& state = Shared();
    state.names = std::move(working_names);
    state.values = std::move(working_values);
  } catch (const std::exception&) {
    // Out of memory: the arrays stay as they were.
  }
}

void KVT710C1::subParaClear() {
  key_ = 0;
  mode_ = 0;
  count_ = 0;
}

bool KVT710C1::funcExeSqlCbase() {
  ThreadState& state = Shared();
  state.result = false;
  const bool copied = Caught(
      [&] {
        state.key = key_;
        state.mode = mode_;
        state.count = count_;
        if (state.mode == fieldlist::kDelete) return;
        for (int32_t i = 0; i < state.count; ++i) {
          const auto at = static_cast<size_t>(i);
          std::vector<std::string>& names = Sized(state.names);
          std::vector<std::string>& values = Sized(state.values);
          const std::vector<std::string>& own_names = Sized(names_);
          const std::vector<std::string>& own_values = Sized(values_);
          if (at >= names.size() || at >= values.size() || at >= own_names.size() ||
              at >= own_values.size())
            throw Error(err::kSubscript, "Subscript out of range");
          names[at] = own_names[at];
          values[at] = own_values[at];
        }
      },
      [&](const Error& e) { ReportCaught(e, Idle(), "KVT710.funcExeSqlCbase"); });
  if (!copied) return false;

  std::string statement;
  static const std::vector<std::string> kNone;
  if (!Caught(
          [&] {
            statement = fieldlist::funcCreateSql(state.mode, state.key, state.count,
                                                 state.names ? *state.names : kNone,
                                                 state.values ? *state.values : kNone);
          },
          [&](const Error& e) { FailRun(e, "KVT710.funcCreateSql"); }))
    return false;

  if (!Caught(
          [&] {
            const std::shared_ptr<db::Connection> connection = SharedConnection();
            if (statement.empty())
              throw Error(err::kInvalidCall, "ExMode " + std::to_string(state.mode) +
                                                 " is not 1 (insert), 2 (update) or 3 "
                                                 "(delete): there is no statement to run");
            connection->Execute(statement);
          },
          [&](const Error& e) { FailRun(e, "KVT710.funcExeSqlCbaseProc"); }))
    return false;

  EndRun();
  state.result = true;
  return true;
}

bool KVT710C1::funcFamilyCntUD() {
  ThreadState& state = Shared();
  state.result = false;
  state.key = key_;
  state.difference = difference_;

  std::string statement;
  if (!Caught([&] { statement = fieldlist::FamilyCountSql(state.key, state.difference); },
              [&](const Error& e) { FailRun(e, "KVT710.funcFamilyCntUDProc"); }))
    return false;
  if (!Caught([&] { SharedConnection()->Execute(statement); },
              [&](const Error& e) { FailRun(e, "KVT710.funcFamilyCntUDProc"); }))
    return false;

  EndRun();
  state.result = true;
  return true;
}

Variant KVT710C1::Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) {
  using K = InvokeKind;
  using Self = KVT710C1;
  // The assigned value is the last argument of a property assignment.
  static const DispatchTable<Self> table({
      {"CliantNo", K::kPropertyPut,
       [](Self& c, Args& a) {
         c.CliantNo(a.Double(a.size() - 1));
         return Variant();
       }},
      {"ExMode", K::kPropertyPut,
       [](Self& c, Args& a) {
         c.ExMode(a.Long(a.size() - 1));
         return Variant();
       }},
      {"FldCount", K::kPropertyPut,
       [](Self& c, Args& a) {
         c.FldCount(a.Long(a.size() - 1));
         return Variant();
       }},
      {"FldIndex", K::kPropertyPut,
       [](Self& c, Args& a) {
         c.FldIndex(a.Long(a.size() - 1));
         return Variant();
       }},
      {"propFields", K::kPropertyPut,
       [](Self& c, Args& a) {
         c.propFields(a.String(a.size() - 1));
         return Variant();
       }},
      {"propValue", K::kPropertyPut,
       [](Self& c, Args& a) {
         c.propValue(a.String(a.size() - 1));
         return Variant();
       }},
      {"propUDCnt", K::kPropertyPut,
       [](Self& c, Args& a) {
         c.propUDCnt(a.Long(a.size() - 1));
         return Variant();
       }},
      {"ObjConnect", K::kPropertyPutRef,
       [](Self& c, Args& a) {
         std::shared_ptr<Dispatch> object = a.Object(a.size() - 1);
         auto connection = std::dynamic_pointer_cast<db::Connection>(object);
         if (object && !connection)
           throw Error(err::kTypeMismatch, "ObjConnect takes a connection object");
         c.ObjConnect(std::move(connection));
         return Variant();
       }},
      {"subParaRedim", K::kMethod,
       [](Self& c, Args&) {
         c.subParaRedim();
         return Variant();
       }},
      {"subParaClear", K::kMethod,
       [](Self& c, Args&) {
         c.subParaClear();
         return Variant();
       }},
      {"funcExeSqlCbase", K::kMethod,
       [](Self& c, Args&) { return Variant::Boolean(c.funcExeSqlCbase()); }},
      {"funcFamilyCntUD", K::kMethod,
       [](Self& c, Args&) { return Variant::Boolean(c.funcFamilyCntUD()); }},
  });
  return GuardInvoke([&] { return table.Invoke(*this, member, kind, args); });
}

}  // namespace kvt710
