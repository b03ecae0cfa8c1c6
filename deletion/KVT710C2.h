// KVT710C2, the customer deletion service: marks customers deleted
// (CUBS_DATA_FLG 2, CUBS_UPD_DATE now) by key or, in one sweep, by a cut-off
// of their newest visit, and records each deletion as a maintenance
// transaction of kind 2 in CMENTE_T.
//
// It opens its own connection at creation from the per-user settings
// ("area" exactly "1" takes DBPARMC, anything else DBPARMS). Each call that
// finds a customer is one transaction of that connection: every mark and
// maintenance row of the call is committed together or rolled back. The
// customers are read through an updatable recordset that pages by key, so a
// sweep never holds all of them in memory. Several services may work on one
// database at once: a call that meets another's changes or locks (a row
// marked since it was read, a busy database, a deadlock) rolls back and runs
// again from a fresh selection, a few times at most, so each customer is
// marked and counted by exactly one call.
//
// Failures are reported to no one: they show only as the results (-1) and
// DBStatus; no exception leaves the typed members. Used by the thread that
// created it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/automation/dispatch.h"

namespace kvt710 {

namespace db {
class Connection;
}
class Settings;

enum emReturnCD : int32_t { emRetDelete = 1, emRetError = -1, emRetNoData = 0 };

class KVT710C2 : public Dispatch {
 public:
  // Creates the service and runs its connect step; a failed connect leaves
  // DBStatus -1 and every deletion then returns -1.
  static std::shared_ptr<KVT710C2> Create();
  // The same, reading "area" and the connection strings from `settings`
  // rather than from the per-user settings file.
  static std::shared_ptr<KVT710C2> Create(const Settings& settings);
  ~KVT710C2() override;

  // 0 when the connection opened at creation, -1 otherwise (emDB_Status).
  int32_t DBStatus() const { return db_status_; }

  // Marks the live customer with this key: emRetDelete, emRetNoData when no
  // live customer has it (no transaction is begun), emRetError when it
  // failed and nothing changed. The flags go to the maintenance row. A key
  // that is not a whole number below 10^15 in magnitude is refused
  // (emRetError) before anything is read.
  emReturnCD DeleteCBase(double db_UniqueKey, int16_t in_TranseFlg = 0, int16_t in_UpdFlg = 0);

  // Marks every live customer whose newest visit is before `lg_YMD`
  // (yyyymmdd), of the store `hStoreCd` only when it is given (a Null store
  // is the empty text). Returns the number marked, or -1 when it failed and
  // nothing changed; a cut-off that is not a real calendar date written
  // yyyymmdd is refused (-1) before anything is read.
  int32_t DeleteCBaseYMD(int32_t lg_YMD, std::optional<Variant> hStoreCd = std::nullopt);

  // Why the last call that failed did: its error's description, the
  // database's message among them. For C++ callers; nothing is reported.
  const std::string& LastFailure() const { return last_failure_; }

  Variant Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) override;

 private:
  KVT710C2() = default;

  bool funcDBConnect();
  // The connection; an unopened one takes its place when it is empty.
  db::Connection& Connection();
  // funcDeleteCBaseProc, run again from a fresh selection when it failed
  // because another user changed or locked the same rows at the same time
  // (each attempt is its own transaction, and a failed one changed nothing).
  int32_t MarkRetrying(const std::string& selection, bool all_rows, int16_t transe_flag,
                       int16_t upd_flag);
  int32_t funcDeleteCBaseProc(const std::string& selection, bool all_rows, int16_t transe_flag,
                              int16_t upd_flag);
  bool funcMenteTrnWrite(double key, const std::string& store, const std::string& kana,
                         const std::optional<DateTime>& newest_visit, int16_t transe_flag,
                         int16_t upd_flag);
  // The HT kind from "area": 2 when it is exactly "1", otherwise 1.
  void SetHtKindFromArea();

  // The settings given at creation; the per-user settings when none were.
  Settings Current() const;

  std::shared_ptr<db::Connection> connection_;
  std::shared_ptr<const Settings> settings_;
  int32_t db_status_ = -1;
  int16_t ht_kind_ = 0;
  std::string last_failure_;
  std::string connect_failure_;  // why the connection did not open at creation
};

}  // namespace kvt710
