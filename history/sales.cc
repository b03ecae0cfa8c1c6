// SetUriageData: a sales line, table CSALE.
#include "history/history_tables.h"
#include "history/history_writer.h"

namespace kvt710 {

const sql::Table<SalesLineParams>& SalesLineTable() {
  using P = SalesLineParams;
  using S = sql::Source<P>;
  using F = sql::Form;
  static const sql::Table<P> table = {
      "CSALE",
      {
          {"CSALE_STORE_NO", F::kQuotedUnchanged, S::Text(&P::StoreCd)},
          {"CSALE_UNIQUE_KEY", F::kKey, S::Text(&P::UniqueKey)},
          {"CSALE_KIND", F::kInteger, S::Number(&P::Kind)},
          {"CSALE_HISTORY_NO", F::kInteger, S::Number(&P::HistoryNo)},
          {"CSALE_LINE_NO", F::kInteger, S::Number(&P::LineNo)},
          {"CSALE_INQ_NO", F::kQuotedNumber, S::Text(&P::DenpyoNo)},
          {"CSALE_SALE_DT", F::kDate, S::Text(&P::SaleDate)},
          {"CSALE_INT_CD", F::kQuotedNumber, S::Text(&P::IntCd)},
          {"CSALE_ATUKAI_NO", F::kQuotedNumber, S::Text(&P::ToriStoreCd)},
          {"CSALE_CLERK_CD", F::kQuotedNumber, S::Text(&P::ClerkCd)},
          {"CSALE_GOODS_KBN", F::kNumber, S::Text(&P::GoodsKbn)},
          {"CSALE_GOODS_NM", F::kText, S::Text(&P::GoodsName)},
          {"CSALE_GOODS_CD", F::kQuotedNumber, S::Text(&P::GoodsCd)},
          {"CSALE_MAKER", F::kPlainText, S::Text(&P::Maker)},
          {"CSALE_CLASS", F::kWholeNumber, S::Text(&P::Class)},
          {"CSALE_GOODS_QTY", F::kWholeNumber, S::Text(&P::GoodsQty)},
          {"CSALE_TANKA", F::kWholeNumber, S::Text(&P::Tanka)},
          {"CSALE_AMT", F::kWholeNumber, S::Text(&P::Amt)},
          {"CSALE_SALE_DCNT", F::kWholeNumber, S::Text(&P::SaleDiscount)},
          {"CSALE_S_TTL", F::kWholeNumber, S::Text(&P::SubTotal)},
          {"CSALE_TAX", F::kWholeNumber, S::Text(&P::Tax)},
          {"CSALE_RECP_DCNT", F::kWholeNumber, S::Text(&P::ReceptDiscount)},
          {"CSALE_TOTAL", F::kWholeNumber, S::Text(&P::Total)},
          {"CSALE_RL_KBN", F::kSideCode, S::Text(&P::RL_Kbn)},
          {"CSALE_DUMMY", F::kReserve, S::Text(&P::Dummy)},
          {"CSALE_UPD_DATETIME", F::kTimestamp, S::None()},
          {"CSALE_TRANSE_FLG", F::kInteger, S::Number(&P::TranseFlg)},
      },
  };
  return table;
}

const std::vector<sql::Param<SalesLineParams>>& SalesLineParamList() {
  using P = SalesLineParams;
  using S = sql::Source<P>;
  static const auto params = history::Concat<sql::Param<P>>({
      history::Required<P>({{"StoreCd", &P::StoreCd}, {"UniqueKey", &P::UniqueKey}}),
      {{"Kind", S::Number(&P::Kind), false},
       {"HistoryNo", S::Number(&P::HistoryNo), false},
       {"LineNo", S::Number(&P::LineNo), false}},
      history::Optional<P>({{"DenpyoNo", &P::DenpyoNo},
                            {"SaleDate", &P::SaleDate},
                            {"IntCd", &P::IntCd},
                            {"ToriStoreCd", &P::ToriStoreCd},
                            {"ClerkCd", &P::ClerkCd},
                            {"GoodsKbn", &P::GoodsKbn},
                            {"GoodsName", &P::GoodsName},
                            {"GoodsCd", &P::GoodsCd},
                            {"Maker", &P::Maker},
                            {"Class", &P::Class},
                            {"GoodsQty", &P::GoodsQty},
                            {"Tanka", &P::Tanka},
                            {"Amt", &P::Amt},
                            {"SaleDiscount", &P::SaleDiscount},
                            {"SubTotal", &P::SubTotal},
                            {"Tax", &P::Tax},
                            {"ReceptDiscount", &P::ReceptDiscount},
                            {"Total", &P::Total},
                            {"RL_Kbn", &P::RL_Kbn},
                            {"Dummy", &P::Dummy}}),
      {{"TranseFlg", S::Number(&P::TranseFlg), true}},
  });
  return params;
}

int32_t KVT710C3::SetUriageData(const SalesLineParams& p) {
  return Guarded("SetUriageData", ErrorList::kOwn,
                 [&] { history::QueueInsert(EnsureQueue(), SalesLineTable(), p); });
}

}  // namespace kvt710
