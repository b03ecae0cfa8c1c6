// KVT710C3, the batch object: it collects the SQL statements that bring one
// customer's records up to date and runs them on the host's connection.
//
// It holds two connections: the caller connection (assigned through DBCon;
// every write runs on it, it is never opened or closed here) and the own
// connection (opened at creation from the per-user settings; the immediate
// existence checks of SetBaseData and SetMENTEData run on it). Caught errors
// go to the error reporter ("PRW520.PRW520C1").
//
// Writers return 0, or -1 after reporting a caught error; they queue nothing
// when they fail. Execute raises its failure as kvt710::Error. No member
// lets any other exception escape. Used by the thread that created it.
//
// The class is split by subject: batch/ holds its state, properties,
// Initialize, Execute and DelExecute; master/ and history/ hold the writers.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/writer_params.h"
#include "platform/automation/dispatch.h"
#include "policy/area.h"

namespace kvt710::sql {
struct Literal;
}  // namespace kvt710::sql

namespace kvt710 {
class StatementQueue;  // batch/statement_queue.h: kept out of the installed headers
namespace sql {
struct ParamInfo;  // sql/table.h: kept out of the installed headers
}

namespace db {
class Connection;
}
class Settings;

// The configuration messages of a creation that found no connection string.
inline constexpr const char* kAreaMessage = "エリアをレジストリに設定してください";
inline constexpr const char* kConnectionStringMessage =
    "ＤＢ接続文字列をレジストリに設定してください";

class KVT710C3 : public Dispatch {
 public:
  // Creates a batch object from the settings. Throws kvt710::Error when the
  // error reporter cannot be created; every later failure only leaves
  // DBStatus at emDbError.
  static std::shared_ptr<KVT710C3> Create();
  // The same, reading "area" and the connection strings from `settings`.
  static std::shared_ptr<KVT710C3> Create(const Settings& settings);
  ~KVT710C3() override;

  int32_t DBStatus() const { return db_status_; }
  const std::string& DBStatusString() const { return db_status_string_; }
  // The caller connection, or nullptr.
  std::shared_ptr<db::Connection> DBCon() const { return caller_; }
  void SetDBCon(std::shared_ptr<db::Connection> connection) { caller_ = std::move(connection); }
  int32_t SyoriKBN() const { return syori_kbn_; }
  void SetSyoriKBN(int32_t value) { syori_kbn_ = value; }
  bool CreateMenteTRN() const { return create_mente_trn_; }
  void SetCreateMenteTRN(bool value) { create_mente_trn_ = value; }

  // Discards the statement queue without running it.
  void Initialize();
  // The statement queue, or nullptr when none exists.
  const StatementQueue* Queue() const { return queue_.get(); }

  // Deletes the customer's rows of the eight history tables, then runs the
  // queue, on the caller connection. Throws kvt710::Error on any failure
  // (a key that is not a plain number fails before anything runs).
  int32_t Execute(const std::string& UniqueKey, const std::string& StoreCd = {},
                  int32_t MenteKBN = 1);
  // Marks the customer deleted, then runs the queue; -1 after a reported error.
  int32_t DelExecute(const std::string& UniqueKey);

  // For a host that writes customers from several processes at once: locks
  // the customer's master row, when there is one, for the caller
  // connection's open transaction (a no-op UPDATE), so that another writer
  // of the same customer waits until this one commits and their existence
  // checks and history rows never interleave. A key that is not a plain
  // number locks nothing (Execute refuses it). Throws kvt710::Error.
  void LockCustomer(const std::string& UniqueKey);
  // The statements run on the caller connection for a customer locked and
  // then written by Execute (by DelExecute when `deleting`), with the queue
  // as it stands.
  int64_t StatementCount(bool deleting) const;

  // master/
  int32_t SetBaseData(const BaseDataParams& p);
  int32_t SetMENTEData(const MenteDataParams& p);
  int32_t FamilyCnt_Update(const std::string& UniqueKey);
  int32_t FamilyUpdate(const std::string& DaihyoKey, const std::string& KazokuKey);

  // history/
  int32_t SetG_BaseData(const GlassesHeaderParams& p);
  int32_t SetG_DTLData(const GlassesDetailParams& p);
  int32_t SetC_BaseData(const ContactHeaderParams& p);
  int32_t SetC_DTLData(const ContactDetailParams& p);
  int32_t SetH_BaseData(const HearingHeaderParams& p);
  int32_t SetH_DTLData(const HearingDetailParams& p);
  int32_t SetUriageData(const SalesLineParams& p);
  int32_t SetSYOKANData(const CommentParams& p);

  Variant Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) override;
  std::vector<std::string> ParameterNames(std::string_view member) const override;

  using Member = DispatchTable<KVT710C3>::Member;

  // A method that an import line may call: a writer with the table it
  // writes, or a family method (no table), with its parameters in call order.
  struct MethodInfo {
    std::string name;
    std::string table;
    std::vector<sql::ParamInfo> params;
  };
  // The writer and family methods, in the order they are bound.
  static const std::vector<MethodInfo>& ImportMethods();

 private:
  KVT710C3() = default;
  void Construct(const Settings& settings);

  // Which connection's error list a caught error is reported with.
  enum class ErrorList { kOwn, kCaller };

  // Runs a writer's body: 0 when it returns, -1 after reporting a caught
  // error as "KVT710C3.<method>" with code "11015".
  template <class Body>
  int32_t Guarded(const char* method, ErrorList list, Body&& body);
  void ReportCaught(const Error& error, const char* code, ErrorList list,
                    const std::string& source);

  // The queue, created on first use.
  StatementQueue& EnsureQueue();
  // The own connection when it is open; throws otherwise.
  db::Connection& OpenOwnConnection();
  // One condition of an existence check: its text ("... Where COL=") and
  // the literal compared.
  struct ConditionValue {
    std::string_view text;
    const sql::Literal& literal;
  };
  // Runs "Select Count(*) As CNT From T" followed by its conditions on the
  // own connection; its shape is prepared once, as the queued statements' are.
  int64_t CountOnOwnConnection(std::string_view query, std::initializer_list<ConditionValue> where);
  void RunQueue(db::Connection& connection) const;

  // The late-bound members defined by master/ and history/, each described
  // in `methods` as it is bound.
  static void AddMasterMembers(std::vector<Member>& members, std::vector<MethodInfo>& methods);
  static void AddHistoryMembers(std::vector<Member>& members, std::vector<MethodInfo>& methods);
  struct Binding {
    DispatchTable<KVT710C3> table;
    std::vector<MethodInfo> methods;
  };
  static const Binding& Bindings();
  static const DispatchTable<KVT710C3>& Table() { return Bindings().table; }

  std::shared_ptr<db::Connection> caller_;
  std::shared_ptr<db::Connection> own_;
  std::shared_ptr<Dispatch> reporter_;
  std::unique_ptr<StatementQueue> queue_;
  int32_t db_status_ = emDbError;
  std::string db_status_string_;
  bool create_mente_trn_ = true;
  int32_t syori_kbn_ = 1;
};

}  // namespace kvt710
