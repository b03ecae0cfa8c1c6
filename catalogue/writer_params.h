// The parameters of the batch object's writer methods, one struct per writer,
// members named and ordered as the host passes them. Every value is text as
// the host sends it; an omitted optional text is the empty text. Arrays are
// the caller's own arrays: the writers render their elements in place.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/automation/safe_array.h"

namespace kvt710 {

using StringArray = std::shared_ptr<SafeArray>;

// SetBaseData: the customer master row (table CBASE).
struct BaseDataParams {
  std::string StoreCd, UniqueKey, DenpyoNo, CustomerNo, KanaNm, KanjiNm, FamilyKey, FamilyKbn,
      FamilyCd, FamilyCnt, KaruteNo, C_Sex, C_Birthday, FirstVisit, HomeTel, PortableTel,
      ConnectTel, ConnectKbn, ConnectRemarks, E_mail_Add, ZipCd, C_Address1, C_Address2, C_Address3;
  StringArray BuyFlg, C_FREE, C_Free17, C_Free18, C_Free19;  // indices 1 to 16
  std::string LicenseYear, NewestVisit, BuyTimes, FarDegree, NearDegree, CylDegree, GlassMoney,
      ContactMoney, OtherMoney, HochoMoney, DM_Flag, C_Remarks;
  StringArray EventFlg;  // indices 1 to 16
  std::string Bestkey, JpegPath, AreaCD;
  std::string Yobi1, Yobi2, Yobi3, Yobi4, Yobi5, Yobi6, AddressBarcode;  // optional
  int32_t TranseFlg = 0;                                                 // optional
};

// SetMENTEData: a maintenance transaction (table CMENTE_T).
struct MenteDataParams {
  std::string StoreCd, HtKbn, UniqueKey, KBN, MotoStore, KanaMei, CustomMei, Sex, BirthDt, HomeTel,
      NewbstComing, ClerkCd, ZyotaiKbn, TranseFlg, UpdFlg;
};

// SetG_BaseData: a glasses prescription header (table CGLASBS).
struct GlassesHeaderParams {
  std::string StoreCd, UniqueKey, HistoryNo, ExamDt, DenpyoNo, UsePur, PurDistance, Tun, IntCd,
      ClerkCd, AtukaiNo, Naked_S_1, Naked_S_2, Naked_S_3, LensColr_R, LensColr_L, LensNodo_R,
      LensNodo_L, LensNodo_Ud_R, LensNodo_Ud_L, Spec1, Spec2, ColrCls_R, ColrCls_L, MaterialCd_R,
      MaterialCd_L, CylCtrl_R, CylCtrl_L, OphtMedic, C_Remarks, OdKind_Flg;
  std::string Fdegree_1, Ndegree_1, Cyl_N_1, Fdegree_2, Ndegree_2, Cyl_N_2, Fdegree_3, Ndegree_3,
      Cyl_N_3, Fdegree_4, Ndegree_4, Cyl_N_4, Yobi1, Yobi2, Yobi3, TranseFlg;  // optional
};

// SetG_DTLData: a glasses measurement detail (table CGLASDTL).
struct GlassesDetailParams {
  std::string StoreCd, UniqueKey, HistoryNo, Kind, DenpyoNo, Sight1, Sight2, Sight3, S_1, C_1, Ax_1,
      Add_1, P1_1, B1_1, Hen1_1, P_Way1_1, Pd_1, Npd_1, EyePoint_1, S_2, C_2, Ax_2, Add_2, P1_2,
      B1_2, Hen1_2, P_Way1_2, Pd_2, Npd_2, EyePoint2;
  std::string TranseFlg;  // optional
};

// SetC_BaseData: a contact lens header (table CCNTBS).
struct ContactHeaderParams {
  std::string StoreCd, UniqueKey, HistoryNo, ExamDt, DenpyoNo, UsePur, DoctorCd, IntCd, ClerkCd,
      AtukaiNo, Naked_S_1, Naked_S_2, Naked_S_3, Vk_1, Hk_1, Krt_Ax_1, Vk_2, Hk_2, Krt_Ax_2,
      SyoriKbn1, SyoriKbn2, Allergy, UseYear, Time, Remarks;
  std::string Fdegree_1, Ndegree_1, Cyl_N_1, Fdegree_2, Ndegree_2, Cyl_N_2, Fdegree_3, Ndegree_3,
      Cyl_N_3, Fdegree_4, Ndegree_4, Cyl_N_4, Yobi1, Yobi2, Yobi3, TranseFlg;  // optional
};

// SetC_DTLData: a contact lens detail (table CCNTDTL). ExamDt is accepted and unused.
struct ContactDetailParams {
  std::string StoreCd, UniqueKey, HistoryNo, Kind, ExamDt, DenpyoNo, Sight1, Sight2, Sight3, Bc_1,
      P_1, C_1, Ax_1, Siz_1, Add_1, Bc_2, P_2, C_2, Ax_2, Siz_2, Add_2;
  std::string Yobi1, Yobi2, Yobi3, TranseFlg;  // optional
};

// SetH_BaseData: a hearing aid header (table CHOCHOBS).
struct HearingHeaderParams {
  std::string StoreCd, UniqueKey, HistoryNo, ExamDt, DenpyoNo, UsePur, WearEar, SalesCd, IntCd,
      ClerkCd, AtukaiNo, DoctorCd, SerialNoR, SerialNoL, KarteNo, HoshoKigen, Remarks1, Remarks2,
      Remarks3;
  std::string Yobi1, Yobi2, Yobi3, Yobi4, Yobi5, Yobi6, Yobi7, Yobi8, Yobi9, Yobi10, Flg1,
      Flg2;  // optional
};

// SetH_DTLData: a hearing aid detail (table CHOCHODTL). ExamDt is accepted and unused.
struct HearingDetailParams {
  std::string StoreCd, UniqueKey, HistoryNo, Kind, ExamDt, DenpyoNo;
  StringArray Kido, Kodo;  // subscripts 1 to 2 (side) and 1 to 11 (point)
  std::string Yobi1, Yobi2, Yobi3, Yobi4, Yobi5, Yobi6, Yobi7, Yobi8, Yobi9, Yobi10, Flg1,
      Flg2;  // optional
};

// SetUriageData: a sales line (table CSALE).
struct SalesLineParams {
  std::string StoreCd, UniqueKey;
  int32_t Kind = 0, HistoryNo = 0, LineNo = 0;
  std::string DenpyoNo, SaleDate, IntCd, ToriStoreCd, ClerkCd, GoodsKbn, GoodsName, GoodsCd, Maker,
      Class, GoodsQty, Tanka, Amt, SaleDiscount, SubTotal, Tax, ReceptDiscount, Total, RL_Kbn,
      Dummy;              // optional
  int32_t TranseFlg = 0;  // optional
};

// SetSYOKANData: a customer comment (table CSYOKN).
struct CommentParams {
  std::string StoreCd, UniqueKey, Comment1;
  std::string TranseFlg;  // optional
};

}  // namespace kvt710
