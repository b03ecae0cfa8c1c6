// Every writer's statement, compared whole: one call per table and shape, and
// the text it must queue or return, written out literally.
#include <algorithm>
#include <functional>

#include "batch/KVT710C3.h"
#include "batch/statement_queue.h"
#include "deletion/deletion_statements.h"
#include "fieldlist/field_list_sql.h"
#include "platform/clock.h"
#include "platform/db/connection.h"
#include "tests/batch/writer_fixture.h"

namespace kvt710 {
namespace {

using testing_support::Backend;
using namespace writer_testing;

TEST(WriterStatements, WholeTexts) {
  ScopedClock clock(FixedNow);
  Bench bench(Backend::kSQLite);
  KVT710C3& b = *bench.batch;
  // The statements one call queues, one a line.
  auto queued = [&](const std::function<int32_t()>& call) {
    b.Initialize();
    EXPECT_EQ(call(), 0);
    std::string texts;
    for (const std::string& item : b.Queue()->items()) texts += (texts.empty() ? "" : "\n") + item;
    return texts;
  };
  auto exists = [&](const char* insert) { bench.caller->Execute(insert); };
  const MenteDataParams no_options =
      With(With(FullMente(), &MenteDataParams::MotoStore, "x5"), &MenteDataParams::ZyotaiKbn, "");
  deletion::MaintenanceRecord record{12345, "0'1", "O'Hara", DateTime{2009, 3, 5, 10, 11, 12},
                                     2,     1,     0,        DateTime{2016, 7, 4, 13, 5, 9}};
  deletion::MaintenanceRecord no_visit = record;
  no_visit.newest_visit.reset();
  const std::vector<std::string> names = {"CUBS_KANA_MEI", "CUBS_SEX"}, values = {"'ﾀﾅｶ'", "1"};
  using namespace fieldlist;
  struct Golden {
    const char* what;
    std::function<std::string()> text;
    const char* expected;
  };
  const Golden goldens[] = {
      {"CBASE insert", [&] { return queued([&] { return b.SetBaseData(FullCustomer()); }); },
       kCustomerInsert},
      {"CBASE update: the insert's literals, the remarks after the cylinder sum",
       [&] {
         exists("Insert Into CBASE(CUBS_UNIQUE_KEY) Values (1203)");
         const std::string u = queued([&] { return b.SetBaseData(FullCustomer()); });
         EXPECT_EQ(LiteralsOf(u), LiteralsOf(kCustomerInsert));
         const size_t cyl = u.find(",CUBS_CYL_SUM"), where = u.rfind(" Where ");
         return std::to_string(std::count(u.begin(), u.end(), '=')) + " =: " + u.substr(0, 31) +
                "..." + u.substr(cyl, u.find(",CUBS_CL_AMT_SUM") - cyl) + "..." + u.substr(where);
       },
       "149 =: Update CBASE Set CUBS_STORE_NO=...,CUBS_CYL_SUM=-0.75,CUBS_REMARKS='note ''x''',"
       "CUBS_GL_AMT_SUM=1500... Where CUBS_UNIQUE_KEY=1203"},
      {"CBASE insert, SyoriKBN 0",
       [&] {
         b.SetSyoriKBN(0);
         return queued([&] { return b.SetBaseData(FullCustomer()); });
       },
       kCustomerInsert},
      {"CMENTE_T insert", [&] { return queued([&] { return b.SetMENTEData(FullMente()); }); },
       "Insert Into CMENTE_T(MTRN_STORE_NO,MTRN_HT_KBN,MTRN_UNIQUE_KEY,MTRN_KBN,MTRN_MOTO_STORE,"
       "MTRN_KANA_MEI,MTRN_CUSTOM_MEI,MTRN_SEX,MTRN_BIRTH_DT,MTRN_HOME_TEL,MTRN_NEWBST_COMING,"
       "MTRN_CLERK_CD,MTRN_ZYOTAI_KBN,MTRN_UPDATE,MTRN_TRANSE_FLG,MTRN_UPD_FLG) Values ( '001',2,"
       "1203,1,'5','O''Hara','山田 太郎',1,'1970/01/02','03-1234-5678','2016/07/04','C7',3,"
       "'2016/07/04 13:05:09',Null,1)"},
      {"CMENTE_T update",
       [&] {
         exists(
             "Insert Into CMENTE_T(MTRN_STORE_NO,MTRN_HT_KBN,MTRN_UNIQUE_KEY) Values "
             "('001',2,1203)");
         return queued([&] { return b.SetMENTEData(FullMente()); });
       },
       "Update CMENTE_T Set MTRN_STORE_NO='001',MTRN_HT_KBN=2,MTRN_UNIQUE_KEY=1203,MTRN_KBN=1,"
       "MTRN_MOTO_STORE='5',MTRN_KANA_MEI='O''Hara',MTRN_CUSTOM_MEI='山田 太郎',MTRN_SEX=1,"
       "MTRN_BIRTH_DT='1970/01/02',MTRN_HOME_TEL='03-1234-5678',MTRN_NEWBST_COMING='2016/07/04',"
       "MTRN_CLERK_CD='C7',MTRN_ZYOTAI_KBN=3,MTRN_UPDATE='2016/07/04 13:05:09',"
       "MTRN_TRANSE_FLG=Null,"
       "MTRN_UPD_FLG=1 Where MTRN_STORE_NO='001' And MTRN_HT_KBN=2 And MTRN_UNIQUE_KEY=1203"},
      {"CMENTE_T update, no state nor former store",
       [&] { return queued([&] { return b.SetMENTEData(no_options); }); },
       "Update CMENTE_T Set MTRN_STORE_NO='001',MTRN_HT_KBN=2,MTRN_UNIQUE_KEY=1203,MTRN_KBN=1,"
       "MTRN_KANA_MEI='O''Hara',MTRN_CUSTOM_MEI='山田 太郎',MTRN_SEX=1,MTRN_BIRTH_DT='1970/01/02',"
       "MTRN_HOME_TEL='03-1234-5678',MTRN_NEWBST_COMING='2016/07/04',MTRN_CLERK_CD='C7',"
       "MTRN_UPDATE='2016/07/04 13:05:09',MTRN_TRANSE_FLG=Null,MTRN_UPD_FLG=1 "
       "Where MTRN_STORE_NO='001' And MTRN_HT_KBN=2 And MTRN_UNIQUE_KEY=1203"},
      {"CGLASBS", [&] { return queued([&] { return b.SetG_BaseData(GlassesHeader()); }); },
       "Insert Into CGLASBS(GLS_STORE_NO,GLS_UNIQUE_KEY,GLS_HISTORY_NO,GLS_EXAM_DT,GLS_INQ_NO,"
       "GLS_USE_PUR,GLS_PUR_DISTANCE,GLS_TUNING,GLS_INT_CD,GLS_CLERK_CD,GLS_ATUKAI_NO,"
       "GLS_NAKED_SIGHT_1,GLS_NAKED_SIGHT_2,GLS_NAKED_SIGHT_3,GLS_LENS_COLR1,GLS_LENS_NODO1,"
       "GLS_LENS_NODO_UD1,GLS_SPEC_1,GLS_COLR_CLS1,GLS_MATERIAL_CD1,GLS_CYL_CTRL1,GLS_LENS_COLR2,"
       "GLS_LENS_NODO2,GLS_LENS_NODO_UD2,GLS_SPEC_2,GLS_COLR_CLS2,GLS_MATERIAL_CD2,GLS_CYL_CTRL2,"
       "GLS_OPHT_MEDIC,GLS_REMARKS,GLS_OD_KIND_FLG,GLS_1_F_DEGREE_N,GLS_1_N_DEGREE_N,GLS_1_CYL_N,"
       "GLS_2_F_DEGREE_N,GLS_2_N_DEGREE_N,GLS_2_CYL_N,GLS_3_F_DEGREE_N,GLS_3_N_DEGREE_N,"
       "GLS_3_CYL_N,GLS_4_F_DEGREE_N,GLS_4_N_DEGREE_N,GLS_4_CYL_N,GLS_YOBI1,GLS_YOBI2,GLS_YOBI3,"
       "GLS_UPD_DATETIME,GLS_TRANSE_FLG) Values ( '001',1203,3,'2016/07/04','12345', 2,1,3,'7',"
       "'012','5',0.1,0.2,1.2,'brown',25,10,'it''s',1,11,0,'gray',30,15,'UV',2,12,1,4,'it''s',1,"
       "-1.25,-0.5,-0.75,-1.5,-0.25,0,2,3,-1,1.75,2.25,-2,8,9,'ab','2016/07/04 13:05:09',0)"},
      {"CGLASDTL", [&] { return queued([&] { return b.SetG_DTLData(GlassesDetail()); }); },
       "Insert Into CGLASDTL(GLS_STORE_NO,GLS_UNIQUE_KEY,GLS_HISTORY_NO,GLS_KIND1,GLS_INQ_NO,"
       "GLS_SIGHT_1,GLS_SIGHT_2,GLS_SIGHT_3,GLS_S_1,GLS_C_1,GLS_AX_1,GLS_ADD_1,GLS_P1_1,GLS_B1_1,"
       "GLS_HEN1_1,GLS_P_WAY1_1,GLS_PD_1,GLS_NPD_1,GLS_EYE_POINT_1,GLS_S_2,GLS_C_2,GLS_AX_2,"
       "GLS_ADD_2,GLS_P1_2,GLS_B1_2,GLS_HEN1_2,GLS_P_WAY1_2,GLS_PD_2,GLS_NPD_2,GLS_EYE_POINT_2,"
       "GLS_UPD_DATETIME,GLS_TRANSE_FLG) Values ( '001',1203,3,2,'12345',0.5,0.8,1,-1.25,-0.5,90 ,"
       "2,1,2,3,4,32,30,22,-1,-0.75,180,2.5,1.5,2.5,3.5,5,31.5,29.5,21,'2016/07/04 13:05:09',1)"},
      {"CCNTBS", [&] { return queued([&] { return b.SetC_BaseData(ContactHeader()); }); },
       "Insert Into CCNTBS(CNT_STORE_NO,CNT_UNIQUE_KEY,CNT_HISTORY_NO,CNT_EXAM_DT,CNT_INQ_NO,"
       "CNT_USE_PUR,CNT_DOCTOR_CD,CNT_INT_CD,CNT_CLERK_CD,CNT_ATUKAI_NO,CNT_NAKED_SIGHT_1,"
       "CNT_NAKED_SIGHT_2,CNT_NAKED_SIGHT_3,CNT_VK_1,CNT_HK_1,CNT_KRT_AX_1,CNT_VK_2,CNT_HK_2,"
       "CNT_KRT_AX_2,CNT_SYORI_KBN1,CNT_SYORI_KBN2,CNT_ALLERGY,CNT_YY,CNT_TIME,CNT_REMARKS,"
       "CNT_1_F_DEGREE_N,CNT_1_N_DEGREE_N,CNT_1_CYL_N,CNT_2_F_DEGREE_N,CNT_2_N_DEGREE_N,"
       "CNT_2_CYL_N,CNT_3_F_DEGREE_N,CNT_3_N_DEGREE_N,CNT_3_CYL_N,CNT_4_F_DEGREE_N,"
       "CNT_4_N_DEGREE_N,CNT_4_CYL_N,CNT_YOBI1,CNT_YOBI2,CNT_YOBI3,CNT_UPD_DATETIME,"
       "CNT_TRANSE_FLG) Values ( '001',1203,3,'2016/07/04','12345',1,'7','8','012','5',0.1,0.2,"
       "0.3,7.85,7.9,180,7.7,7.8,90,1,2,0,5,12,'it''s',-3,-2.5,-0.5,-3.25,-2.75,-0.75,1,2,3,4,5,6,"
       "7,8,'ab','2016/07/04 13:05:09',1)"},
      {"CCNTDTL", [&] { return queued([&] { return b.SetC_DTLData(ContactDetail()); }); },
       "Insert Into CCNTDTL(CNT_STORE_NO,CNT_UNIQUE_KEY,CNT_HISTORY_NO,CNT_KIND1,CNT_INQ_NO,"
       "CNT_SIGHT_1,CNT_SIGHT_2,CNT_SIGHT_3,CNT_BC_1,CNT_P_1,CNT_C_1,CNT_AX_1,CNT_SIZ_1,CNT_ADD_1,"
       "CNT_BC_2,CNT_P_2,CNT_C_2,CNT_AX_2,CNT_SIZ_2,CNT_ADD_2,CNT_YOBI1,CNT_YOBI2,CNT_YOBI3,"
       "CNT_UPD_DATETIME,CNT_TRANSE_FLG) Values ( '001',1203,3,1,'12345',1.2,1.5,0.9,8.6,-3,-0.75,"
       "180,14,1,8.7,-3.5,-1,90,14.2,2,3,4,'ab','2016/07/04 13:05:09',0)"},
      {"CHOCHOBS", [&] { return queued([&] { return b.SetH_BaseData(HearingHeader()); }); },
       "Insert Into CHOCHOBS(HOC_STORE_NO,HOC_UNIQUE_KEY,HOC_HISTORY_NO,HOC_EXAM_DT,HOC_INQ_NO,"
       "HOC_USE_PUR,HOC_WEAR_EAR,HOC_SALES_CD,HOC_INT_CD,HOC_CLERK_CD,HOC_ATUKAI_NO,HOC_DOCTOR_CD,"
       "HOC_SERIAL_NO_R,HOC_SERIAL_NO_L,HOC_KARTE_NO,HOC_GUARANTEE_PERIOD,HOC_REMARKS1,"
       "HOC_REMARKS2,HOC_REMARKS3,HOC_YOBI1,HOC_YOBI2,HOC_YOBI3,HOC_YOBI4,HOC_YOBI5,HOC_YOBI6,"
       "HOC_YOBI7,HOC_YOBI8,HOC_YOBI9,HOC_YOBI10,HOC_FLG_1,HOC_FLG_2,"
       "HOC_UPD_DATETIME) Values ( '001',1203,3,'2016/07/04','00123',1,2,'10','11','12','13','14',"
       "'SN-1','SN''2','K 7','2019/07/03','O''Hara','two','three','y1','y2','y3','y4','y5','y6',"
       "'y7','y8','y9','y10','1','0','2016/07/04 13:05:09')"},
      {"CHOCHODTL", [&] { return queued([&] { return b.SetH_DTLData(HearingDetail()); }); },
       "Insert Into CHOCHODTL(HOCD_STORE_NO,HOCD_UNIQUE_KEY,HOCD_HISTORY_NO,HOCD_KIND1,"
       "HOCD_INQ_NO,HOCD_KIDOR_1,HOCD_KIDOR_2,HOCD_KIDOR_3,HOCD_KIDOR_4,HOCD_KIDOR_5,HOCD_KIDOR_6,"
       "HOCD_KIDOR_7,HOCD_KIDOR_8,HOCD_KIDOR_9,HOCD_KIDOR_10,HOCD_KIDOR_11,HOCD_KIDOL_1,"
       "HOCD_KIDOL_2,HOCD_KIDOL_3,HOCD_KIDOL_4,HOCD_KIDOL_5,HOCD_KIDOL_6,HOCD_KIDOL_7,"
       "HOCD_KIDOL_8,HOCD_KIDOL_9,HOCD_KIDOL_10,HOCD_KIDOL_11,HOCD_KODOR_1,HOCD_KODOR_2,"
       "HOCD_KODOR_3,HOCD_KODOR_4,HOCD_KODOR_5,HOCD_KODOR_6,HOCD_KODOR_7,HOCD_KODOR_8,"
       "HOCD_KODOR_9,HOCD_KODOR_10,HOCD_KODOR_11,HOCD_KODOL_1,HOCD_KODOL_2,HOCD_KODOL_3,"
       "HOCD_KODOL_4,HOCD_KODOL_5,HOCD_KODOL_6,HOCD_KODOL_7,HOCD_KODOL_8,HOCD_KODOL_9,"
       "HOCD_KODOL_10,HOCD_KODOL_11,HOCD_YOBI1,HOCD_YOBI2,HOCD_YOBI3,HOCD_YOBI4,HOCD_YOBI5,"
       "HOCD_YOBI6,HOCD_YOBI7,HOCD_YOBI8,HOCD_YOBI9,HOCD_YOBI10,HOCD_FLG_1,HOCD_FLG_2,"
       "HOCD_UPD_DATETIME) Values ( '001',1203,3,1,'00123','5','10','15','20','25','30','35','40',"
       "'45','50','55','15','20','25','30','35','40','45','50','55','60','65','101','102','103',"
       "'104','105','106','107','108','109','110','111','201','202','203','204','205','206','207',"
       "'208','209','210',Null,'y1','y2','y3','y4','y5','y6','y7','y8','y9','y10','1',Null,"
       "'2016/07/04 13:05:09')"},
      {"CSALE", [&] { return queued([&] { return b.SetUriageData(SalesLine()); }); },
       "Insert Into CSALE(CSALE_STORE_NO,CSALE_UNIQUE_KEY,CSALE_KIND,CSALE_HISTORY_NO,"
       "CSALE_LINE_NO,CSALE_INQ_NO,CSALE_SALE_DT,CSALE_INT_CD,CSALE_ATUKAI_NO,CSALE_CLERK_CD,"
       "CSALE_GOODS_KBN,CSALE_GOODS_NM,CSALE_GOODS_CD,CSALE_MAKER,CSALE_CLASS,CSALE_GOODS_QTY,"
       "CSALE_TANKA,CSALE_AMT,CSALE_SALE_DCNT,CSALE_S_TTL,CSALE_TAX,CSALE_RECP_DCNT,CSALE_TOTAL,"
       "CSALE_RL_KBN,CSALE_DUMMY,CSALE_UPD_DATETIME,CSALE_TRANSE_FLG) Values ( '001',1203,1,3,2,"
       "'12345','2016/07/04','8','002','012',1,'O''Hara frame','4901234','Maker''A',2,2,1981,-3,"
       "100,3861,309,0,4169,2.5,7,'2016/07/04 13:05:09',1)"},
      {"CSYOKN",
       [&] { return queued([&] {
               return b.SetSYOKANData({"001", "1203", "  it's  ", "1"});
             }); },
       "Insert Into CSYOKN(CMNT_STORE_NO,CMNT_UNIQUE_KEY,CMNT_COMMENT_1,CMNT_UPD_DATE,"
       "CMNT_TRANCE_FLG) Values ( '001',1203,'it''s','2016/07/04 13:05:09',1)"},
      {"family", [&] { return queued([&] { return b.FamilyUpdate(" 1200", "1305 "); }); },
       "Update CBASE Set CUBS_FAMILY_KEY =  1200 Where CUBS_UNIQUE_KEY=1305 \n"
       "Update CBASE Set CUBS_FAMILY_CNT= (Select Count(*) From CBASE Where CUBS_FAMILY_KEY= 1200"
       " And CUBS_UNIQUE_KEY<> 1200 And CUBS_DATA_FLG='0') Where CUBS_UNIQUE_KEY= 1200"},
      {"family count", [&] { return queued([&] { return b.FamilyCnt_Update("1200"); }); },
       "Update CBASE Set CUBS_FAMILY_CNT= (Select Count(*) From CBASE Where CUBS_FAMILY_KEY=1200"
       " And CUBS_UNIQUE_KEY<>1200 And CUBS_DATA_FLG='0') Where CUBS_UNIQUE_KEY=1200"},
      {"deletion by key", [] { return deletion::SelectionByKey(-12345); },
       "SELECT CUBS_DATA_FLG, CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_KANA_MEI, CUBS_NEWBST_COMING, "
       "CUBS_UPD_DATE FROM CBASE WHERE CUBS_DATA_FLG <> 2 AND CUBS_UNIQUE_KEY = -12345"},
      {"deletion by date", [] { return deletion::SelectionByDate(20100101, std::nullopt); },
       "SELECT CUBS_DATA_FLG, CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_KANA_MEI, CUBS_NEWBST_COMING, "
       "CUBS_UPD_DATE FROM CBASE WHERE CUBS_DATA_FLG <> 2 AND CUBS_NEWBST_COMING < '20100101'"},
      {"deletion by date and store",
       [] { return deletion::SelectionByDate(20100101, Variant::String(" 0'1 ")); },
       "SELECT CUBS_DATA_FLG, CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_KANA_MEI, CUBS_NEWBST_COMING, "
       "CUBS_UPD_DATE FROM CBASE WHERE CUBS_DATA_FLG <> 2 AND CUBS_NEWBST_COMING < '20100101' "
       "AND CUBS_STORE_NO = ' 0''1 '"},
      {"deletion by date, Null store",
       [] { return deletion::SelectionByDate(20100101, Variant::Null()); },
       "SELECT CUBS_DATA_FLG, CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_KANA_MEI, CUBS_NEWBST_COMING, "
       "CUBS_UPD_DATE FROM CBASE WHERE CUBS_DATA_FLG <> 2 AND CUBS_NEWBST_COMING < '20100101' "
       "AND CUBS_STORE_NO = ''"},
      {"maintenance lookup", [] { return deletion::MaintenanceLookup(12345); },
       " SELECT MTRN_STORE_NO, MTRN_HT_KBN, MTRN_UNIQUE_KEY, MTRN_KBN, MTRN_UPDATE, "
       "MTRN_TRANSE_FLG, MTRN_UPD_FLG FROM CMENTE_T WHERE MTRN_UNIQUE_KEY = 12345"},
      {"maintenance insert", [&] { return deletion::MaintenanceInsert(record); },
       "INSERT INTO CMENTE_T (MTRN_STORE_NO, MTRN_KANA_MEI, MTRN_HT_KBN, MTRN_UNIQUE_KEY, "
       "MTRN_KBN, MTRN_NEWBST_COMING, MTRN_UPDATE, MTRN_TRANSE_FLG,MTRN_UPD_FLG ) VAlUES "
       "('0''1', 'O''Hara',2,12345,2 ,'2009/03/05', '2016/07/04',1,0)"},
      {"maintenance update", [&] { return deletion::MaintenanceUpdate(no_visit); },
       "UPDATE CMENTE_T SET MTRN_HT_KBN = 2,MTRN_KBN = 2, MTRN_KANA_MEI = 'O''Hara', "
       "MTRN_STORE_NO = '0''1', MTRN_NEWBST_COMING = Null, MTRN_UPDATE = '2016/07/04', "
       "MTRN_TRANSE_FLG = 1, MTRN_UPD_FLG = 0 WHERE MTRN_UNIQUE_KEY = 12345"},
      {"field list insert", [&] { return funcCreateSql(kInsert, 12345, 2, names, values); },
       "INSERT INTO CBASE (CUBS_UNIQUE_KEY,CUBS_KANA_MEI,CUBS_SEX) VALUES (12345,'ﾀﾅｶ',1)"},
      {"field list update, first pair",
       [&] { return funcCreateSql(kUpdate, -7, 1, names, values); },
       "UPDATE CBASE SET CUBS_KANA_MEI = 'ﾀﾅｶ' WHERE CUBS_UNIQUE_KEY = -7"},
      {"field list delete", [] { return funcCreateSql(kDelete, 12345, 5, {"x;"}, {}); },
       "DELETE FROM CBASE WHERE CUBS_UNIQUE_KEY = 12345"},
      {"field list unknown mode", [&] { return funcCreateSql(4, 1, 2, names, values); }, ""},
      {"family count difference", [] { return FamilyCountSql(12345, -1); },
       "UPDATE CBASE SET CUBS_FAMILY_CNT = CUBS_FAMILY_CNT + -1 Where CUBS_UNIQUE_KEY = 12345"},
  };
  for (const Golden& golden : goldens) EXPECT_EQ(golden.text(), golden.expected) << golden.what;
}

}  // namespace
}  // namespace kvt710
