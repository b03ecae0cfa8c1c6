#include "deletion/deletion_statements.h"

#include <cmath>
#include <cstdio>

#include "platform/text/date.h"
#include "sql/KVT710H1.h"

namespace kvt710::deletion {
namespace {

constexpr const char* kSelection =
    "SELECT CUBS_DATA_FLG, CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_KANA_MEI, CUBS_NEWBST_COMING, "
    "CUBS_UPD_DATE FROM CBASE WHERE CUBS_DATA_FLG <> 2";

std::string Quoted(const std::string& text) {
  return "'" + funcSqlQuote(text) + "'";
}

std::string NewestVisit(const MaintenanceRecord& record) {
  return record.newest_visit ? "'" + text::FormatDate(*record.newest_visit) + "'" : "Null";
}

}  // namespace

std::string KeyText(double key) {
  if (std::trunc(key) == key && std::fabs(key) < 1e15) {
    if (key == 0) return "0";
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.0f", key);
    return buffer;
  }
  return Variant::Double(key).ToString();
}

std::string SelectionByKey(double key) {
  return std::string(kSelection) + " AND CUBS_UNIQUE_KEY = " + KeyText(key);
}

std::string SelectionByDate(int32_t yyyymmdd, const std::optional<Variant>& store) {
  std::string text =
      std::string(kSelection) + " AND CUBS_NEWBST_COMING < '" + std::to_string(yyyymmdd) + "'";
  if (store) text += " AND CUBS_STORE_NO = " + Quoted(funcVarToStr(*store));
  return text;
}

std::string MaintenanceLookup(double key) {
  return " SELECT MTRN_STORE_NO, MTRN_HT_KBN, MTRN_UNIQUE_KEY, MTRN_KBN, MTRN_UPDATE, "
         "MTRN_TRANSE_FLG, MTRN_UPD_FLG FROM CMENTE_T WHERE MTRN_UNIQUE_KEY = " +
         KeyText(key);
}

std::string MaintenanceInsert(const MaintenanceRecord& r) {
  return "INSERT INTO CMENTE_T (MTRN_STORE_NO, MTRN_KANA_MEI, MTRN_HT_KBN, MTRN_UNIQUE_KEY, "
         "MTRN_KBN, MTRN_NEWBST_COMING, MTRN_UPDATE, MTRN_TRANSE_FLG,MTRN_UPD_FLG ) VAlUES (" +
         Quoted(r.store) + ", " + Quoted(r.kana) + "," + std::to_string(r.ht_kind) + "," +
         KeyText(r.key) + ",2 ," + NewestVisit(r) + ", '" + text::FormatDate(r.today) + "'," +
         std::to_string(r.transe_flag) + "," + std::to_string(r.upd_flag) + ")";
}

std::string MaintenanceUpdate(const MaintenanceRecord& r) {
  return "UPDATE CMENTE_T SET MTRN_HT_KBN = " + std::to_string(r.ht_kind) +
         ",MTRN_KBN = 2, MTRN_KANA_MEI = " + Quoted(r.kana) +
         ", MTRN_STORE_NO = " + Quoted(r.store) + ", MTRN_NEWBST_COMING = " + NewestVisit(r) +
         ", MTRN_UPDATE = '" + text::FormatDate(r.today) +
         "', MTRN_TRANSE_FLG = " + std::to_string(r.transe_flag) +
         ", MTRN_UPD_FLG = " + std::to_string(r.upd_flag) +
         " WHERE MTRN_UNIQUE_KEY = " + KeyText(r.key);
}

}  // namespace kvt710::deletion
