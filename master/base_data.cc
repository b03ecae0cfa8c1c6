// SetBaseData: one customer's complete master row, table CBASE.
#include <optional>

#include "batch/writer_support.h"
#include "master/master_tables.h"
#include "platform/clock.h"

namespace kvt710 {
namespace {

using P = BaseDataParams;
using S = sql::Source<P>;
using F = sql::Form;

// The form of a row whose literal SetBaseData computes itself; it renders
// as Null until the writer sets it.
constexpr F kComputed = F::kPlainText;

std::vector<sql::Column<P>> BaseColumns() {
  std::vector<sql::Column<P>> c = {
      {"CUBS_STORE_NO", F::kQuotedUnchanged, S::Text(&P::StoreCd)},
      {"CUBS_UNIQUE_KEY", F::kKey, S::Text(&P::UniqueKey)},
      {"CUBS_INQ_NO", F::kQuotedNumber, S::Text(&P::DenpyoNo)},
      {"CUBS_CUSTOMER_NO", F::kQuotedNumber, S::Text(&P::CustomerNo)},
      {"CUBS_KANA_MEI", F::kText, S::Text(&P::KanaNm)},
      {"CUBS_CUSTOM_MEI", F::kPlainText, S::Text(&P::KanjiNm)},
      {"CUBS_TELKEY", kComputed, S::None()},
      {"CUBS_FAMILY_KEY", kComputed, S::None()},
      {"CUBS_FAMILY_KBN", kComputed, S::None()},
      {"CUBS_FAMILY_CD", F::kPlainText, S::Text(&P::FamilyCd)},
      {"CUBS_FAMILY_CNT", F::kNumberOrZero, S::Text(&P::FamilyCnt)},
      {"CUBS_KARUTE_NO", F::kUntrimmedText, S::Text(&P::KaruteNo)},
      {"CUBS_DATA_FLG", kComputed, S::None()},
      {"CUBS_SEX", F::kNumber, S::Text(&P::C_Sex)},
      {"CUBS_BIRTH_DT", F::kDate, S::Text(&P::C_Birthday)},
      {"CUBS_BIRTH_MD", F::kMonthDay, S::Text(&P::C_Birthday)},
      {"CUBS_VISIT_DT", F::kDate, S::Text(&P::FirstVisit)},
      {"CUBS_HOME_TEL", F::kUntrimmedPhone, S::Text(&P::HomeTel)},
      {"CUBS_CARRY_TEL", F::kUntrimmedPhone, S::Text(&P::PortableTel)},
      {"CUBS_CONNECT_TEL", F::kUntrimmedPhone, S::Text(&P::ConnectTel)},
      {"CUBS_CONNECT_KBN", F::kNumber, S::Text(&P::ConnectKbn)},
      {"CUBS_CONNECT_CMT", F::kText, S::Text(&P::ConnectRemarks)},
      {"CUBS_E_MAIL", F::kText, S::Text(&P::E_mail_Add)},
      {"CUBS_MAILNO", F::kPlainText, S::Text(&P::ZipCd)},
      {"CUBS_ADDRESS1", F::kPlainText, S::Text(&P::C_Address1)},
      {"CUBS_ADDRESS2", F::kPlainText, S::Text(&P::C_Address2)},
      {"CUBS_KATAGAKI", F::kText, S::Text(&P::C_Address3)},
  };
  sql::AddElementColumns(c, "CUBS_BUY", "_FLG", 16, F::kPlainText, &P::BuyFlg);
  sql::AddElementColumns(c, "CUBS_FREE_", "", 16, F::kWholeNumber, &P::C_FREE);
  sql::AddElementColumns(c, "CUBS_FREE_17_", "", 16, F::kPlainText, &P::C_Free17);
  sql::AddElementColumns(c, "CUBS_FREE_18_", "", 16, F::kPlainText, &P::C_Free18);
  sql::AddElementColumns(c, "CUBS_FREE_19_", "", 16, F::kPlainText, &P::C_Free19);
  c.insert(c.end(), {
                        {"CUBS_LICENCE_UPD", F::kNumber, S::Text(&P::LicenseYear)},
                        {"CUBS_NEWBST_COMING", F::kDate, S::Text(&P::NewestVisit)},
                        {"CUBS_BUY_TIMES", F::kNumber, S::Text(&P::BuyTimes)},
                        {"CUBS_F_DEGREE_SUM", F::kNumber, S::Text(&P::FarDegree)},
                        {"CUBS_N_DEGREE_SUM", F::kNumber, S::Text(&P::NearDegree)},
                        {"CUBS_CYL_SUM", F::kNumber, S::Text(&P::CylDegree)},
                        {"CUBS_GL_AMT_SUM", F::kWholeNumber, S::Text(&P::GlassMoney)},
                        {"CUBS_CL_AMT_SUM", F::kWholeNumber, S::Text(&P::ContactMoney)},
                        {"CUBS_OTH_AMT_SUM", F::kWholeNumber, S::Text(&P::OtherMoney)},
                        {"CUBS_HO_AMT_SUM", F::kWholeNumber, S::Text(&P::HochoMoney)},
                        {"CUBS_DM_FLG", F::kNumber, S::Text(&P::DM_Flag)},
                        {"CUBS_REMARKS", F::kText, S::Text(&P::C_Remarks)},
                    });
  sql::AddElementColumns(c, "CUBS_EVENT_FLG_", "", 16, F::kPlainText, &P::EventFlg);
  c.insert(c.end(), {
                        {"CUBS_BEST_KEY", F::kPlainText, S::Text(&P::Bestkey)},
                        {"CUBS_BEST_LINK", kComputed, S::None()},
                        {"CUBS_JPG_PATH", F::kPlainText, S::Text(&P::JpegPath)},
                        {"CUBS_AREA_CD", F::kNumber, S::Text(&P::AreaCD)},
                        {"CUBS_YOBI1", F::kNumber, S::Text(&P::Yobi1)},
                        {"CUBS_YOBI2", F::kNumber, S::Text(&P::Yobi2)},
                        {"CUBS_YOBI3", F::kNumber, S::Text(&P::Yobi3)},
                        {"CUBS_YOBI4", F::kNumber, S::Text(&P::Yobi4)},
                        {"CUBS_YOBI5", F::kPlainText, S::Text(&P::Yobi5)},
                        {"CUBS_YOBI6", F::kPlainText, S::Text(&P::Yobi6)},
                        {"CUBS_ADRES_VAR_CD", F::kPlainText, S::Text(&P::AddressBarcode)},
                        {"CUBS_UPD_DATE", F::kTimestamp, S::None()},
                        {"CUBS_TRANSE_FLG", F::kInteger, S::Number(&P::TranseFlg)},
                    });
  return c;
}

// Where the computed literals go in a rendered row.
struct ComputedColumns {
  size_t unique_key, telkey, family_key, family_kbn, data_flg, best_link;
};

const ComputedColumns& Computed() {
  static const ComputedColumns columns = [] {
    const sql::Table<P>& t = BaseTable();
    return ComputedColumns{
        sql::ColumnIndex(t, "CUBS_UNIQUE_KEY"), sql::ColumnIndex(t, "CUBS_TELKEY"),
        sql::ColumnIndex(t, "CUBS_FAMILY_KEY"), sql::ColumnIndex(t, "CUBS_FAMILY_KBN"),
        sql::ColumnIndex(t, "CUBS_DATA_FLG"),   sql::ColumnIndex(t, "CUBS_BEST_LINK")};
  }();
  return columns;
}

// The telephone key: the last four characters of the trimmed home number,
// quoted, when they are a number that is not negative; otherwise Null.
// A numeric piece that does not fit 32 bits (9E99) is an error.
sql::Literal TelephoneKey(std::string_view home_tel, const DateTime& now) {
  if (!sql::IsValidText(home_tel))
    throw Error(err::kInvalidCall, "HomeTel is not valid text (UTF-8 without NUL)");
  const std::string_view trimmed = sql::Trim(home_tel);
  size_t start = trimmed.size();
  int characters = 0;
  while (start > 0 && characters < 4) {
    --start;
    while (start > 0 && (static_cast<unsigned char>(trimmed[start]) & 0xC0) == 0x80) --start;
    ++characters;
  }
  const std::string_view piece = trimmed.substr(start);
  const sql::Literal null = sql::RenderLiteral(F::kText, "", "HomeTel", now);
  if (!sql::IsNumeric(piece)) return null;
  const std::optional<int32_t> value = sql::ToLongHalfEven(piece);
  if (!value) throw Error(err::kOverflow, "HomeTel: the telephone key overflows");
  if (*value < 0 || characters != 4) return null;
  return sql::RenderLiteral(F::kQuotedUnchanged, piece, "HomeTel", now);
}

}  // namespace

const sql::Table<BaseDataParams>& BaseTable() {
  static const sql::Table<P> table{"CBASE", BaseColumns()};
  return table;
}

const std::vector<size_t>& BaseUpdateOrder() {
  static const std::vector<size_t> order = [] {
    std::vector<size_t> o;
    const size_t remarks = sql::ColumnIndex(BaseTable(), "CUBS_REMARKS");
    const size_t cylinder = sql::ColumnIndex(BaseTable(), "CUBS_CYL_SUM");
    for (size_t i = 0; i < BaseTable().columns.size(); ++i) {
      if (i == remarks) continue;
      o.push_back(i);
      if (i == cylinder) o.push_back(remarks);
    }
    return o;
  }();
  return order;
}

const std::vector<sql::Param<BaseDataParams>>& BaseParamList() {
  static const std::vector<sql::Param<P>> params = [] {
    std::vector<sql::Param<P>> list;
    auto text = [&](const char* name, std::string P::*member, bool optional = false) {
      list.push_back({name, S::Text(member), optional});
    };
    auto array = [&](const char* name, StringArray P::*member) {
      list.push_back({name, S::Array(member), false});
    };
    text("StoreCd", &P::StoreCd);
    text("UniqueKey", &P::UniqueKey);
    text("DenpyoNo", &P::DenpyoNo);
    text("CustomerNo", &P::CustomerNo);
    text("KanaNm", &P::KanaNm);
    text("KanjiNm", &P::KanjiNm);
    text("FamilyKey", &P::FamilyKey);
    text("FamilyKbn", &P::FamilyKbn);
    text("FamilyCd", &P::FamilyCd);
    text("FamilyCnt", &P::FamilyCnt);
    text("KaruteNo", &P::KaruteNo);
    text("C_Sex", &P::C_Sex);
    text("C_Birthday", &P::C_Birthday);
    text("FirstVisit", &P::FirstVisit);
    text("HomeTel", &P::HomeTel);
    text("PortableTel", &P::PortableTel);
    text("ConnectTel", &P::ConnectTel);
    text("ConnectKbn", &P::ConnectKbn);
    text("ConnectRemarks", &P::ConnectRemarks);
    text("E_mail_Add", &P::E_mail_Add);
    text("ZipCd", &P::ZipCd);
    text("C_Address1", &P::C_Address1);
    text("C_Address2", &P::C_Address2);
    text("C_Address3", &P::C_Address3);
    array("BuyFlg", &P::BuyFlg);
    array("C_FREE", &P::C_FREE);
    array("C_Free17", &P::C_Free17);
    array("C_Free18", &P::C_Free18);
    array("C_Free19", &P::C_Free19);
    text("LicenseYear", &P::LicenseYear);
    text("NewestVisit", &P::NewestVisit);
    text("BuyTimes", &P::BuyTimes);
    text("FarDegree", &P::FarDegree);
    text("NearDegree", &P::NearDegree);
    text("CylDegree", &P::CylDegree);
    text("GlassMoney", &P::GlassMoney);
    text("ContactMoney", &P::ContactMoney);
    text("OtherMoney", &P::OtherMoney);
    text("HochoMoney", &P::HochoMoney);
    text("DM_Flag", &P::DM_Flag);
    text("C_Remarks", &P::C_Remarks);
    array("EventFlg", &P::EventFlg);
    text("Bestkey", &P::Bestkey);
    text("JpegPath", &P::JpegPath);
    text("AreaCD", &P::AreaCD);
    for (auto [name, member] : {std::pair{"Yobi1", &P::Yobi1}, std::pair{"Yobi2", &P::Yobi2},
                                std::pair{"Yobi3", &P::Yobi3}, std::pair{"Yobi4", &P::Yobi4},
                                std::pair{"Yobi5", &P::Yobi5}, std::pair{"Yobi6", &P::Yobi6},
                                std::pair{"AddressBarcode", &P::AddressBarcode}})
      text(name, member, true);
    list.push_back({"TranseFlg", S::Number(&P::TranseFlg), true});
    return list;
  }();
  return params;
}

int32_t KVT710C3::SetBaseData(const BaseDataParams& params) {
  return Guarded("SetBaseData", ErrorList::kOwn, [&] {
    StatementQueue& queue = EnsureQueue();
    const DateTime now = LocalNow();
    const sql::Literal key = sql::RenderLiteral(F::kKey, params.UniqueKey, "UniqueKey", now);
    const int64_t count = CountOnOwnConnection("Select Count(*) As CNT From CBASE",
                                               {{" Where CUBS_UNIQUE_KEY=", key}});

    // The computed values come first: they fail before any array element is rendered.
    const sql::Literal telkey = TelephoneKey(params.HomeTel, now);
    const bool member = sql::Trim(params.FamilyKbn) == "2";
    const sql::Literal family_key =
        member ? sql::RenderLiteral(F::kKey, params.FamilyKey, "FamilyKey", now) : key;
    const sql::Literal family_kbn =
        sql::RenderLiteral(F::kQuotedUnchanged, member ? "2" : "1", "FamilyKbn", now);
    const sql::Literal data_flg = sql::RenderLiteral(F::kQuotedUnchanged, "0", "DataFlg", now);
    const sql::Literal best_link =
        sql::RenderLiteral(F::kText, sql::Trim(params.Bestkey).empty() ? "" : "1", "Bestkey", now);

    // The arrays are the caller's and are rendered in place.
    sql::Row rendered;
    sql::RenderRow(BaseTable(), params, now, rendered);
    std::vector<sql::Value>& row = rendered.values;
    const ComputedColumns& at = Computed();
    row[at.telkey].Set(telkey);
    row[at.family_key].Set(family_key);
    row[at.family_kbn].Set(family_kbn);
    row[at.data_flg].Set(data_flg);
    row[at.best_link].Set(best_link);

    if (count > 0 && syori_kbn_ != 0) {
      const std::vector<sql::Value> where = {row[at.unique_key]};
      queue.Append(sql::BuildUpdate(BaseTable().name, row, where, BaseUpdateOrder()));
    } else {
      queue.Append(sql::BuildInsert(BaseTable().name, row));
    }
  });
}

}  // namespace kvt710
