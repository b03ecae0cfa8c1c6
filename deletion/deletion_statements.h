// The texts that the deletion service sends: the selections of the live
// customers to mark (by key, or by a cut-off of the newest visit and an
// optional store), the lookup of a customer's maintenance rows, and the
// maintenance INSERT and UPDATE. Quoted values have their quotes doubled.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/automation/variant.h"

namespace kvt710::deletion {

// A key in decimal: a whole key without decimal point ("12345"), any other
// finite number in its shortest form. REQUIRED: std::isfinite(key).
std::string KeyText(double key);

// Live customers with this key.
std::string SelectionByKey(double key);
// Live customers whose newest visit is before yyyymmdd; of one store only
// when `store` is given (Null or Missing count as given: the empty store).
std::string SelectionByDate(int32_t yyyymmdd, const std::optional<Variant>& store);

// Every maintenance row of the key (the text begins with a blank).
std::string MaintenanceLookup(double key);

// One deletion to record in CMENTE_T with the kind 2.
struct MaintenanceRecord {
  double key = 0;
  std::string store;
  std::string kana;
  std::optional<DateTime> newest_visit;  // written as Null when absent
  int16_t ht_kind = 0;
  int16_t transe_flag = 0;
  int16_t upd_flag = 0;
  DateTime today;  // written as its date only
};

std::string MaintenanceInsert(const MaintenanceRecord& record);
// Rewrites every maintenance row of the key, whatever its store and HT kind.
std::string MaintenanceUpdate(const MaintenanceRecord& record);

}  // namespace kvt710::deletion
