#include "batch/KVT710C3.h"

#include "batch/statement_queue.h"

#include "batch/writer_support.h"
#include "catalogue/catalogue.h"
#include "platform/automation/registry.h"
#include "platform/db/connection.h"
#include "platform/settings/settings.h"
#include "platform/sibling/prw520.h"
#include "platform/text/number.h"

namespace kvt710 {
namespace {

// A key written bare into a statement must be a key number.
void RequirePlainKey(const std::string& key, const std::string& source) {
  if (!text::IsKeyNumber(key))
    throw Error(err::kInvalidCall,
                "UniqueKey must be a plain number of at most 15 significant digits", source);
}

std::shared_ptr<db::Connection> RequireCaller(const std::shared_ptr<db::Connection>& caller,
                                              const std::string& source) {
  if (!caller)
    throw Error(err::kObjectRequired, "No caller connection: assign DBCon before running", source);
  return caller;
}

}  // namespace

std::shared_ptr<KVT710C3> KVT710C3::Create() {
  return Create(Settings::ForApp());
}

std::shared_ptr<KVT710C3> KVT710C3::Create(const Settings& settings) {
  std::shared_ptr<KVT710C3> batch(new KVT710C3());
  batch->Construct(settings);
  return batch;
}

void KVT710C3::Initialize() {
  queue_.reset();
}

KVT710C3::~KVT710C3() {
  caller_.reset();
  own_.reset();
  reporter_.reset();
  queue_.reset();
}

void KVT710C3::Construct(const Settings& settings) {
  // Without a reporter there is nowhere to report to: creation fails.
  reporter_ = CreateObject("PRW520.PRW520C1");
  try {
    create_mente_trn_ = true;
    db_status_ = emDbError;
    syori_kbn_ = 1;
    const std::optional<std::string> key = policy::ConnectionKeyOfArea(
        settings.Get(kCommonSection, "area"), policy::AreaReader::kBatchObject);
    if (!key) {
      db_status_string_ = kAreaMessage;
      return;
    }
    std::string connection_string = settings.Get(kCommonSection, *key);
    if (connection_string.empty()) {
      db_status_string_ = kConnectionStringMessage;
      return;
    }
    own_ = db::Connection::Create();
    own_->set_connection_string(connection_string);
    own_->set_command_timeout(0);
    own_->Open();
    db_status_ = emDbNomal;
  } catch (const Error& error) {
    db_status_ = emDbError;
    std::string source = "KVT710C3.Class_Initialize";
    ReportError(*reporter_, error.WithSource(source), Variant::String("11002"),
                own_ ? own_->errors_object() : nullptr, source);
  }
}

void KVT710C3::ReportCaught(const Error& error, const char* code, ErrorList list,
                            const std::string& source) {
  db::Connection* connection = list == ErrorList::kOwn ? own_.get() : caller_.get();
  try {
    ReportError(*reporter_, error.WithSource(source), Variant::String(code),
                connection ? connection->errors_object() : nullptr, source);
  } catch (const Error&) {
    // A reporter that fails cannot be reported to; the result still says -1.
  }
  if (connection) connection->errors().Clear();
}

StatementQueue& KVT710C3::EnsureQueue() {
  if (!queue_) queue_ = std::make_unique<StatementQueue>();
  return *queue_;
}

db::Connection& KVT710C3::OpenOwnConnection() {
  if (!own_ || own_->State() != db::kStateOpen)
    throw Error(err::kConnectionClosed,
                "The batch object has no open connection of its own (DBStatus is -1)");
  return *own_;
}

int64_t KVT710C3::CountOnOwnConnection(std::string_view query,
                                       std::initializer_list<ConditionValue> where) {
  db::Statement statement;
  statement.AppendText(query);
  for (const ConditionValue& condition : where) {
    statement.AppendText(condition.text);
    statement.AppendValue(condition.literal.text, condition.literal.value);
  }
  auto recordset = OpenOwnConnection().OpenRecordset(statement);
  return static_cast<int64_t>(recordset->Field("CNT").ToDouble());
}

void KVT710C3::RunQueue(db::Connection& connection) const {
  if (!queue_) return;
  const int32_t count = queue_->Count();
  for (int32_t position = 1; position <= count; ++position)
    connection.Execute(queue_->Statement(position));
}

int32_t KVT710C3::Execute(const std::string& UniqueKey, const std::string& /*StoreCd*/,
                          int32_t /*MenteKBN*/) {
  const std::string source = "KVT710C3.Execute";
  RequirePlainKey(UniqueKey, source);
  auto caller = RequireCaller(caller_, source);
  const sql::Literal key = sql::RenderLiteral(sql::Form::kKey, UniqueKey, "UniqueKey", DateTime{});
  // The DELETEs are shaped too, so that each is prepared once per connection;
  // all statements go together, in one round trip where the database can.
  std::vector<db::Statement> deletes;
  deletes.reserve(catalogue::HistoryTables().size());
  for (const catalogue::TableInfo* h : catalogue::HistoryTables()) {
    db::Statement& statement = deletes.emplace_back();
    statement.AppendText("Delete From " + h->name + " Where " + h->customer_key + "=");
    statement.AppendValue(key.text, key.value);
  }
  std::vector<const db::Statement*> all;
  all.reserve(deletes.size() + (queue_ ? static_cast<size_t>(queue_->Count()) : 0));
  for (const db::Statement& statement : deletes) all.push_back(&statement);
  if (queue_) {
    const int32_t count = queue_->Count();
    for (int32_t position = 1; position <= count; ++position)
      all.push_back(&queue_->Statement(position));
  }
  caller->ExecuteAll(all);
  return 0;
}

int32_t KVT710C3::DelExecute(const std::string& UniqueKey) {
  return Guarded("DelExecute", ErrorList::kCaller, [&] {
    RequirePlainKey(UniqueKey, "KVT710C3.DelExecute");
    auto caller = RequireCaller(caller_, "KVT710C3.DelExecute");
    caller->Execute("Update CBASE Set CUBS_DATA_FLG = 2 Where CUBS_UNIQUE_KEY = " + UniqueKey);
    RunQueue(*caller);
  });
}

void KVT710C3::LockCustomer(const std::string& UniqueKey) {
  // Only a key number goes into the text.
  if (!text::IsKeyNumber(UniqueKey)) return;
  RequireCaller(caller_, "KVT710C3.LockCustomer")
      ->Execute("Update CBASE Set CUBS_UNIQUE_KEY = CUBS_UNIQUE_KEY Where CUBS_UNIQUE_KEY = " +
                UniqueKey);
}

int64_t KVT710C3::StatementCount(bool deleting) const {
  // The lock, then DelExecute's UPDATE or Execute's DELETEs, then the queue.
  const int64_t own = deleting ? 1 : static_cast<int64_t>(catalogue::HistoryTables().size());
  return 1 + own + (queue_ ? queue_->Count() : 0);
}

const KVT710C3::Binding& KVT710C3::Bindings() {
  static const Binding binding = [] {
    using K = InvokeKind;
    std::vector<Member> members = {
        {"DBStatus", K::kPropertyGet,
         [](KVT710C3& b, Args&) { return Variant::Long(b.DBStatus()); }},
        {"DBStatusString", K::kPropertyGet,
         [](KVT710C3& b, Args&) { return Variant::String(b.DBStatusString()); }},
        {"DBCon", K::kPropertyGet,
         [](KVT710C3& b, Args&) {
           return b.caller_ ? Variant::Object(b.caller_) : Variant::Object(nullptr);
         }},
        {"DBCon", K::kPropertyPutRef,
         [](KVT710C3& b, Args& a) {
           std::shared_ptr<Dispatch> object = a.Object(a.size() - 1);
           auto connection = std::dynamic_pointer_cast<db::Connection>(object);
           if (object && !connection)
             throw Error(err::kTypeMismatch, "DBCon takes a connection object");
           b.SetDBCon(connection);
           return Variant();
         }},
        {"SyoriKBN", K::kPropertyGet,
         [](KVT710C3& b, Args&) { return Variant::Long(b.SyoriKBN()); }},
        {"SyoriKBN", K::kPropertyPut,
         [](KVT710C3& b, Args& a) {
           b.SetSyoriKBN(a.Long(a.size() - 1));
           return Variant();
         }},
        {"CreateMenteTRN", K::kPropertyGet,
         [](KVT710C3& b, Args&) { return Variant::Boolean(b.CreateMenteTRN()); }},
        {"CreateMenteTRN", K::kPropertyPut,
         [](KVT710C3& b, Args& a) {
           b.SetCreateMenteTRN(a.Bool(a.size() - 1));
           return Variant();
         }},
        {"Initialize", K::kMethod,
         [](KVT710C3& b, Args&) {
           b.Initialize();
           return Variant();
         }},
        {"Execute",
         K::kMethod,
         [](KVT710C3& b, Args& a) {
           return Variant::Long(b.Execute(a.String(0), a.OptString(1), a.OptLong(2, 1)));
         },
         {"UniqueKey", "StoreCd", "MenteKBN"}},
        {"DelExecute",
         K::kMethod,
         [](KVT710C3& b, Args& a) { return Variant::Long(b.DelExecute(a.String(0))); },
         {"UniqueKey"}},
    };
    std::vector<MethodInfo> methods;
    AddMasterMembers(members, methods);
    AddHistoryMembers(members, methods);
    return Binding{DispatchTable<KVT710C3>(std::move(members)), std::move(methods)};
  }();
  return binding;
}

const std::vector<KVT710C3::MethodInfo>& KVT710C3::ImportMethods() {
  return Bindings().methods;
}

std::vector<std::string> KVT710C3::ParameterNames(std::string_view member) const {
  return Table().ParameterNames(member);
}

Variant KVT710C3::Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) {
  return GuardInvoke([&] { return Table().Invoke(*this, member, kind, args); });
}

}  // namespace kvt710
