#include "cli/check.h"

#include <ostream>
#include <vector>

#include "cli/common.h"
#include "platform/automation/error.h"
#include "platform/db/connection.h"
#include "platform/db/product_schema.h"

namespace kvt710::cli {
namespace {

std::string Count(db::Connection& connection, const std::string& where) {
  auto recordset = connection.OpenRecordset("SELECT COUNT(*) AS N FROM CBASE WHERE " + where,
                                            db::CursorType::kStatic, db::LockType::kReadOnly);
  return recordset->Field("N").ToString();
}

}  // namespace

int CheckCommand(const std::optional<std::string>& db, std::ostream& out) {
  auto connection = OpenDatabase(ResolveConnectionString(db), Access::kRead);
  try {
    const std::vector<std::string> problems = db::CheckProductSchema(*connection);
    for (const std::string& problem : problems) out << "problem: " << problem << "\n";
    if (problems.empty()) out << "The ten tables, their keys and indexes are sound.\n";
    try {
      // Live as the deletion service reads it: any flag but 2.
      const std::string live = Count(*connection, "CUBS_DATA_FLG <> 2");
      out << "Live customers: " << live << "\n"
          << "Deleted customers: " << Count(*connection, "CUBS_DATA_FLG = 2") << "\n";
    } catch (const Error&) {
      if (problems.empty()) throw;  // else CBASE is missing, as said
    }
    return problems.empty() ? kExitOk : kExitDatabase;
  } catch (const Error& e) {
    throw CommandError{kExitDatabase, "The check failed: " + e.description()};
  }
}

}  // namespace kvt710::cli
