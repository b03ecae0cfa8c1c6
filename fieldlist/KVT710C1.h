// KVT710C1, the field-list executor: writes one CBASE row from a list that
// the caller fills pair by pair (column name, ready SQL value text), or adds
// a number to a customer's family count, running the statement at once on
// the connection handed in through ObjConnect.
//
// Per-thread shared state: the connection assigned through ObjConnect, the
// working copies of the last run and the executor's error reporter exist once
// per thread and are shared by every KVT710C1 of that thread (an assignment
// on one instance is used by another); instances on other threads never see
// them. Every run drops the shared connection, so ObjConnect is assigned
// again before each run; a failed run also closes it.
//
// The two methods return false after reporting a caught error (code 11015,
// sources "KVT710.funcExeSqlCbase", "KVT710.funcCreateSql",
// "KVT710.funcExeSqlCbaseProc", "KVT710.funcFamilyCntUD",
// "KVT710.funcFamilyCntUDProc") to the reporter "PRW520.PRW520C1", created
// when first needed. Value texts must each be one SQL literal and names
// columns of CBASE; anything else is refused before any statement runs.
// Error lists are never cleared. Used by the thread that created it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/automation/dispatch.h"

namespace kvt710 {

namespace db {
class Connection;
}

class KVT710C1 : public Dispatch {
 public:
  static std::shared_ptr<KVT710C1> Create();

  // Assign-only properties.
  void CliantNo(double key) { key_ = key; }
  void ExMode(int32_t mode) { mode_ = mode; }
  // Takes effect for the arrays at the next subParaRedim.
  void FldCount(int32_t count) { count_ = count; }
  // Selects pair `index` (counted from 1) for propFields and propValue.
  void FldIndex(int32_t index) { index_ = static_cast<int64_t>(index) - 1; }
  // Throw Error 9 when the arrays are not sized or FldIndex is outside them.
  void propFields(const std::string& name);
  void propValue(const std::string& value);
  void propUDCnt(int32_t difference) { difference_ = difference; }
  // Stores the shared connection of this thread (nullptr empties it).
  void ObjConnect(std::shared_ptr<db::Connection> connection);

  // Sizes this instance's arrays and the thread's working arrays to FldCount
  // empty pairs. A count below 1 or above kMaxFields leaves them as they were.
  void subParaRedim();
  // Sets CliantNo, ExMode and FldCount to 0; the arrays stay.
  void subParaClear();

  // The INSERT (ExMode 1), UPDATE (2) or DELETE (3) of the listed pairs for
  // CliantNo; true when the statement ran.
  bool funcExeSqlCbase();
  // Adds propUDCnt to CUBS_FAMILY_CNT of CliantNo; true when it ran.
  bool funcFamilyCntUD();

  Variant Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) override;

  static constexpr int32_t kMaxFields = 4096;

 private:
  KVT710C1() = default;
  std::string& Slot(std::optional<std::vector<std::string>>& array) const;
  // The connection whose (always empty) error list goes with the errors of
  // the methods' own steps; created on first use, never opened.
  const std::shared_ptr<db::Connection>& Idle();

  std::shared_ptr<db::Connection> idle_;
  double key_ = 0;
  int32_t mode_ = 0;
  int32_t count_ = 0;
  int64_t index_ = 0;
  std::optional<std::vector<std::string>> names_;
  std::optional<std::vector<std::string>> values_;
  int32_t difference_ = 0;
};

}  // namespace kvt710
