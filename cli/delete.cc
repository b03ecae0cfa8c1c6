#include "cli/delete.h"

#include <ostream>
#include <vector>

#include "cli/common.h"
#include "deletion/KVT710C2.h"
#include "deletion/deletion_statements.h"
#include "platform/db/connection.h"
#include "platform/settings/settings.h"
#include "platform/text/date.h"
#include "sql/KVT710H1.h"

namespace kvt710::cli {
namespace {

// How many keys a sweep lists before it only counts.
constexpr size_t kKeysShown = 100;

std::shared_ptr<KVT710C2> CreateService(const std::string& connection_string) {
  // Opening it here first gives a clear message when the database or its
  // tables are not there.
  RequireCustomerTables(*OpenDatabase(connection_string));
  auto service = KVT710C2::Create(SettingsForDatabase(connection_string));
  if (service->DBStatus() != 0)
    throw CommandError{kExitDatabase, "The deletion service cannot open the database"};
  return service;
}

}  // namespace

int DeleteByKeyCommand(const std::string& key, int16_t transe_flag, int16_t upd_flag,
                       const std::optional<std::string>& db, std::ostream& out) {
  const int64_t number = ParseKey(key, "--key");
  auto service = CreateService(ResolveConnectionString(db));
  switch (service->DeleteCBase(static_cast<double>(number), transe_flag, upd_flag)) {
    case emRetDelete:
      out << "Customer " << key
          << " marked deleted; its maintenance rows record the deletion (kind 2).\n";
      return kExitOk;
    case emRetNoData:
      out << "No live customer has the key " << key << "; nothing changed.\n";
      return kExitFailed;
    case emRetError:
      break;
  }
  throw CommandError{kExitDatabase, "The deletion of customer " + key +
                                        " failed; nothing changed: " + service->LastFailure()};
}

int DeleteBeforeCommand(const std::string& date, const std::optional<std::string>& store,
                        const std::optional<std::string>& db, bool dry_run, std::ostream& out) {
  const std::optional<text::DateTime> cutoff = text::ReadYyyymmdd(date);
  if (!cutoff)
    throw CommandError{kExitUsage,
                       "--before is a calendar date written yyyymmdd, such as 20150101: " + date};
  const std::string connection_string = ResolveConnectionString(db);
  const int32_t yyyymmdd = std::stoi(date);
  std::optional<Variant> store_value;
  if (store) store_value = Variant::String(*store);

  // The customers the sweep will mark, read with the sweep's own selection.
  std::vector<std::string> keys, details;
  {
    auto connection = OpenDatabase(connection_string, dry_run ? Access::kRead : Access::kWrite);
    RequireCustomerTables(*connection);
    try {
      auto rows = connection->OpenRecordset(deletion::SelectionByDate(yyyymmdd, store_value),
                                            db::CursorType::kStatic, db::LockType::kReadOnly);
      for (; !rows->Eof(); rows->MoveNext()) {
        keys.push_back(deletion::KeyText(rows->Field("CUBS_UNIQUE_KEY").ToDouble()));
        if (dry_run)
          details.push_back(keys.back() + "\t" + funcVarToStr(rows->Field("CUBS_STORE_NO")) + "\t" +
                            funcVarToStr(rows->Field("CUBS_NEWBST_COMING")));
      }
    } catch (const Error& e) {
      throw CommandError{kExitDatabase, "Reading the customers failed: " + e.description()};
    }
  }
  const std::string when = text::FormatDate(*cutoff);
  if (dry_run) {
    out << "Would mark " << keys.size() << (keys.size() == 1 ? " customer" : " customers")
        << " whose newest visit is before " << when << (store ? " of store " + *store : "")
        << "; nothing changed" << (keys.empty() ? "." : " (key, store, newest visit):") << "\n";
    for (const std::string& line : details) out << line << "\n";
    return kExitOk;
  }
  auto service = CreateService(connection_string);
  const int32_t marked = service->DeleteCBaseYMD(yyyymmdd, store_value);
  if (marked < 0)
    throw CommandError{kExitDatabase,
                       "The sweep failed; nothing changed: " + service->LastFailure()};
  out << "Marked " << marked << (marked == 1 ? " customer" : " customers")
      << " deleted whose newest visit is before " << when;
  if (store) out << " of store " << *store;
  out << (marked > 0 ? ":" : ".") << "\n";
  if (marked > 0 && static_cast<size_t>(marked) == keys.size()) {
    for (size_t i = 0; i < keys.size() && i < kKeysShown; ++i)
      out << keys[i] << (i + 1 < keys.size() && i + 1 < kKeysShown ? " " : "\n");
    if (keys.size() > kKeysShown) out << "... and " << keys.size() - kKeysShown << " more\n";
  }
  return kExitOk;
}

}  // namespace kvt710::cli
