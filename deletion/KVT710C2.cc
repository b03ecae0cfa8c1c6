#include "deletion/KVT710C2.h"

#include "deletion/deletion_statements.h"
#include "platform/clock.h"
#include "platform/db/connection.h"
#include "platform/settings/settings.h"
#include "platform/text/date.h"
#include "platform/text/number.h"
#include "policy/area.h"
#include "policy/retry.h"
#include "sql/KVT710H1.h"

namespace kvt710 {
namespace {

// kTransient when one of the errors recorded from `first` on says that
// another user got in the way: a busy or locked database, a serialization
// failure or deadlock, or a row changed since it was read; kOther otherwise.
db::FailureKind RaceOrOther(const db::Errors& errors, size_t first) {
  const std::vector<db::ProviderError>& list = errors.list();
  for (size_t i = first; i < list.size(); ++i) {
    if (list[i].number == db::kErrRowChanged ||
        db::ClassifyFailure(list[i]) == db::FailureKind::kTransient)
      return db::FailureKind::kTransient;
  }
  return db::FailureKind::kOther;
}

}  // namespace

std::shared_ptr<KVT710C2> KVT710C2::Create() {
  std::shared_ptr<KVT710C2> service(new KVT710C2());
  service->db_status_ = emDbError;
  service->funcDBConnect();
  return service;
}

std::shared_ptr<KVT710C2> KVT710C2::Create(const Settings& settings) {
  std::shared_ptr<KVT710C2> service(new KVT710C2());
  service->settings_ = std::make_shared<const Settings>(settings);
  service->db_status_ = emDbError;
  service->funcDBConnect();
  return service;
}

Settings KVT710C2::Current() const {
  return settings_ ? *settings_ : Settings::ForApp();
}

KVT710C2::~KVT710C2() {
  connection_.reset();
}

bool KVT710C2::funcDBConnect() {
  try {
    connection_ = db::Connection::Create();
    const Settings settings = Current();
    const std::optional<std::string> key = policy::ConnectionKeyOfArea(
        settings.Get(kCommonSection, "area"), policy::AreaReader::kDeletionService);
    connection_->set_connection_string(settings.Get(kCommonSection, *key));
    connection_->set_command_timeout(0);
    connection_->Open();
    db_status_ = emDbNomal;
    return true;
  } catch (const Error& e) {
    connect_failure_ = e.description();  // a missing database file is named here
  } catch (...) {
    connect_failure_ = "an unexpected failure";
  }
  connection_.reset();
  db_status_ = emDbError;
  return false;
}

db::Connection& KVT710C2::Connection() {
  if (!connection_) connection_ = db::Connection::Create();
  return *connection_;
}

void KVT710C2::SetHtKindFromArea() {
  ht_kind_ = policy::DeletionHtKind(Current().Get(kCommonSection, "area"));
}

emReturnCD KVT710C2::DeleteCBase(double db_UniqueKey, int16_t in_TranseFlg, int16_t in_UpdFlg) {
  try {
    if (!text::IsWholeKey(db_UniqueKey)) {
      last_failure_ = "the key is not a whole number of at most 15 digits";
      return emRetError;
    }
    SetHtKindFromArea();
    const int32_t marked =
        MarkRetrying(deletion::SelectionByKey(db_UniqueKey), false, in_TranseFlg, in_UpdFlg);
    return marked < 0 ? emRetError : marked == 0 ? emRetNoData : emRetDelete;
  } catch (...) {
    return emRetError;
  }
}

int32_t KVT710C2::DeleteCBaseYMD(int32_t lg_YMD, std::optional<Variant> hStoreCd) {
  try {
    // Every date sorts before a text that is not one, so a cut-off that is
    // not a real date would select every customer.
    if (!text::ReadYyyymmdd(std::to_string(lg_YMD))) {
      last_failure_ = "the cut-off " + std::to_string(lg_YMD) + " is no calendar date yyyymmdd";
      return -1;
    }
    if (hStoreCd && hStoreCd->IsMissing()) hStoreCd.reset();
    SetHtKindFromArea();
    return MarkRetrying(deletion::SelectionByDate(lg_YMD, hStoreCd), true, 0, 0);
  } catch (...) {
    return -1;
  }
}

int32_t KVT710C2::MarkRetrying(const std::string& selection, bool all_rows, int16_t transe_flag,
                               int16_t upd_flag) {
  policy::Retry retry(policy::kDeletionRetry);
  for (int attempt = 1;; ++attempt) {
    const size_t errors_before = Connection().errors().list().size();
    const int32_t result = funcDeleteCBaseProc(selection, all_rows, transe_flag, upd_flag);
    if (result >= 0 || !retry.Again(attempt, RaceOrOther(Connection().errors(), errors_before)))
      return result;
  }
}

int32_t KVT710C2::funcDeleteCBaseProc(const std::string& selection, bool all_rows,
                                      int16_t transe_flag, int16_t upd_flag) {
  db::Connection& connection = Connection();
  std::shared_ptr<db::Recordset> rows;
  bool in_transaction = false;
  try {
    rows = connection.OpenRecordset(selection, db::CursorType::kDynamic, db::LockType::kOptimistic);
    if (rows->Bof() && rows->Eof()) {
      rows->Close();
      return 0;
    }
    connection.BeginTrans();
    in_transaction = true;
    rows->MoveFirst();
    int32_t count = 0;
    while (!rows->Eof()) {
      const double key = rows->Field("CUBS_UNIQUE_KEY").ToDouble();
      // A blank kana name is stored as Null by SetBaseData; a Null store or
      // kana name is written as the empty text rather than failing the call.
      const std::string store = funcVarToStr(rows->Field("CUBS_STORE_NO"));
      const std::string kana = funcVarToStr(rows->Field("CUBS_KANA_MEI"));
      const Variant newest = rows->Field("CUBS_NEWBST_COMING");
      std::optional<DateTime> newest_visit;
      if (!newest.IsNull()) newest_visit = newest.ToDate();
      if (!funcMenteTrnWrite(key, store, kana, newest_visit, transe_flag, upd_flag))
        throw Error(err::kInternal,
                    "The maintenance transaction could not be written: " + last_failure_);
      rows->SetField("CUBS_DATA_FLG", Variant::Integer(2));
      rows->SetField("CUBS_UPD_DATE", Variant::Date(LocalNow()));
      rows->Update();
      ++count;
      if (!all_rows) break;
      rows->MoveNext();
    }
    connection.CommitTrans();
    in_transaction = false;
    rows->Close();
    return count;
  } catch (const Error& e) {
    // Without an open connection every step fails; the reason is why it did not open.
    last_failure_ = connect_failure_.empty() ? e.description() : connect_failure_;
  } catch (...) {
    last_failure_ = "an unexpected failure";
  }
  if (in_transaction) {
    try {
      connection.RollbackTrans();
    } catch (...) {
    }
  }
  if (rows) {
    try {
      rows->Close();
    } catch (...) {
    }
  }
  return -1;
}

bool KVT710C2::funcMenteTrnWrite(double key, const std::string& store, const std::string& kana,
                                 const std::optional<DateTime>& newest_visit, int16_t transe_flag,
                                 int16_t upd_flag) {
  try {
    bool exists = false;
    {
      auto lookup = Connection().OpenRecordset(deletion::MaintenanceLookup(key),
                                               db::CursorType::kStatic, db::LockType::kReadOnly);
      exists = !(lookup->Bof() && lookup->Eof());
      lookup->Close();
    }
    const deletion::MaintenanceRecord record{key,      store,       kana,     newest_visit,
                                             ht_kind_, transe_flag, upd_flag, LocalNow()};
    Connection().Execute(exists ? deletion::MaintenanceUpdate(record)
                                : deletion::MaintenanceInsert(record));
    return true;
  } catch (const Error& e) {
    last_failure_ = e.description();
    return false;
  } catch (...) {
    last_failure_ = "an unexpected failure";
    return false;
  }
}

Variant KVT710C2::Invoke(std::string_view member, InvokeKind kind, std::vector<Variant>& args) {
  using K = InvokeKind;
  using Self = KVT710C2;
  static const DispatchTable<Self> table({
      {"DBStatus", K::kPropertyGet, [](Self& s, Args&) { return Variant::Long(s.DBStatus()); }},
      {"DeleteCBase",
       K::kMethod,
       [](Self& s, Args& a) {
         return Variant::Long(s.DeleteCBase(a.Double(0), a.OptInteger(1, 0), a.OptInteger(2, 0)));
       },
       {"db_UniqueKey", "in_TranseFlg", "in_UpdFlg"}},
      {"DeleteCBaseYMD",
       K::kMethod,
       [](Self& s, Args& a) {
         std::optional<Variant> store;
         if (a.Given(1)) store = a.Raw(1);
         return Variant::Long(s.DeleteCBaseYMD(a.Long(0), store));
       },
       {"lg_YMD", "hStoreCd"}},
  });
  return GuardInvoke([&] { return table.Invoke(*this, member, kind, args); });
}

}  // namespace kvt710
