#include "cli/demo_data.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <vector>

#include "platform/automation/variant.h"
#include "platform/text/date.h"

namespace kvt710::cli {
namespace {

using nlohmann::json;

constexpr int64_t kFirstKey = 10001;

// A small counter-based generator (splitmix64): the same numbers on every
// platform, unlike the standard distributions.
class Rng {
 public:
  Rng(uint64_t seed, int64_t index, uint64_t stream)
      : state_(Scramble(seed * 0x9E3779B97F4A7C15ULL ^ Scramble(static_cast<uint64_t>(index)) ^
                        (stream << 56))) {}

  uint64_t Next() {
    state_ += 0x9E3779B97F4A7C15ULL;
    return Scramble(state_);
  }
  // lo..hi inclusive.
  int64_t Int(int64_t lo, int64_t hi) {
    return lo + static_cast<int64_t>(Next() % static_cast<uint64_t>(hi - lo + 1));
  }
  bool Chance(int percent) { return Int(0, 99) < percent; }
  template <class T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Next() % N];
  }
  std::string Digits(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += static_cast<char>('0' + Int(0, 9));
    return text;
  }

 private:
  static uint64_t Scramble(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  uint64_t state_;
};

// Day numbers for spacing visits and birthdays: automation's date serial,
// through Variant's own calendar conversion.
int64_t Days(int y, int m, int d) {
  return static_cast<int64_t>(Variant::Date(DateTime{y, m, d}).ToDouble());
}

std::string DateText(int64_t days) {
  return text::FormatDate(Variant::Double(static_cast<double>(days)).ToDate());
}

// The generated shop's "today" and opening day: the data do not depend on the clock.
const int64_t kToday = Days(2024, 3, 31);
const int64_t kOpened = Days(2008, 4, 1);

std::string Fixed(double value, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

struct Surname {
  const char* kanji;
  const char* kana;
  const char* romaji;
};
constexpr Surname kSurnames[] = {
    {"佐藤", "サトウ", "sato"},
    {"鈴木", "スズキ", "suzuki"},
    {"高橋", "タカハシ", "takahashi"},
    {"田中", "タナカ", "tanaka"},
    {"伊藤", "イトウ", "ito"},
    {"渡辺", "ワタナベ", "watanabe"},
    {"山本", "ヤマモト", "yamamoto"},
    {"中村", "ナカムラ", "nakamura"},
    {"小林", "コバヤシ", "kobayashi"},
    {"加藤", "カトウ", "kato"},
    {"吉田", "ヨシダ", "yoshida"},
    {"山田", "ヤマダ", "yamada"},
    {"佐々木", "ササキ", "sasaki"},
    {"山口", "ヤマグチ", "yamaguchi"},
    {"松本", "マツモト", "matsumoto"},
    {"井上", "イノウエ", "inoue"},
    {"木村", "キムラ", "kimura"},
    {"林", "ハヤシ", "hayashi"},
    {"斎藤", "サイトウ", "saito"},
    {"清水", "シミズ", "shimizu"},
    {"長谷川", "ハセガワ", "hasegawa"},
    {"石川", "イシカワ", "ishikawa"},
    {"森", "モリ", "mori"},
    {"岡田", "オカダ", "okada"},
};

struct GivenName {
  const char* kanji;
  const char* kana;
  const char* romaji;
};
constexpr GivenName kMaleNames[] = {
    {"太郎", "タロウ", "taro"},    {"健一", "ケンイチ", "kenichi"}, {"大輔", "ダイスケ", "daisuke"},
    {"翔太", "ショウタ", "shota"}, {"誠", "マコト", "makoto"},      {"浩", "ヒロシ", "hiroshi"},
    {"隆", "タカシ", "takashi"},   {"拓也", "タクヤ", "takuya"},    {"修", "オサム", "osamu"},
    {"蓮", "レン", "ren"},         {"悠斗", "ユウト", "yuto"},      {"和夫", "カズオ", "kazuo"},
};
constexpr GivenName kFemaleNames[] = {
    {"花子", "ハナコ", "hanako"}, {"陽子", "ヨウコ", "yoko"},  {"美咲", "ミサキ", "misaki"},
    {"裕子", "ユウコ", "yuko"},   {"恵", "メグミ", "megumi"},  {"さくら", "サクラ", "sakura"},
    {"直美", "ナオミ", "naomi"},  {"由美", "ユミ", "yumi"},    {"千代子", "チヨコ", "chiyoko"},
    {"結衣", "ユイ", "yui"},      {"明美", "アケミ", "akemi"}, {"久美子", "クミコ", "kumiko"},
};

struct Place {
  const char* prefecture;
  const char* city;
  const char* town;
  const char* zip3;
  const char* area_code;  // the local number then has 10 - its length digits
  int area_cd;            // the shop's area code of the customer
};
constexpr Place kPlaces[] = {
    {"東京都", "世田谷区", "桜丘", "156", "03", 13},
    {"東京都", "杉並区", "阿佐谷南", "166", "03", 13},
    {"神奈川県", "横浜市港北区", "日吉", "223", "045", 14},
    {"神奈川県", "川崎市中原区", "小杉町", "211", "044", 14},
    {"埼玉県", "さいたま市浦和区", "高砂", "330", "048", 11},
    {"千葉県", "千葉市美浜区", "幕張西", "261", "043", 12},
    {"大阪府", "大阪市北区", "天神橋", "530", "06", 27},
    {"愛知県", "名古屋市千種区", "覚王山通", "464", "052", 23},
    {"京都府", "京都市左京区", "下鴨本町", "606", "075", 26},
    {"兵庫県", "神戸市灘区", "六甲町", "657", "078", 28},
    {"福岡県", "福岡市中央区", "大名", "810", "092", 40},
    {"北海道", "札幌市中央区", "南一条西", "060", "011", 1},
};

constexpr const char* kBuildings[] = {"サンハイツ",   "グランメゾン",         "コーポ若葉",
                                      "パークハウス", "メゾン・ド・ソレイユ", "ライオンズ桜"};

constexpr const char* kComments[] = {
    "遠近両用を検討中。次回来店時に再測定。",
    "コンタクトの装用時間が長め。ドライアイに注意。",
    "フレームは軽量チタンを希望。",
    "お子様の視力を定期的にチェック中。半年後に再検査。",
    "DM不要とのこと。電話連絡は夕方以降。",
    "運転用メガネを別に作成。夜間のまぶしさを気にされている。",
    "O'Neillモデルのフレームを気に入っている。",
    "補聴器の聞こえ方の調整を希望（右側の音がこもる）。",
    "眼科で白内障の経過観察中。処方箋持参。",
    "パソコン作業が多く中近両用を提案済み。",
};

constexpr const char* kConnectRemarks[] = {"日中は携帯へ", "夕方以降に連絡", "留守電に伝言可",
                                           "勤務先：平日9時〜18時"};

constexpr const char* kMakers[] = {"みどり光学", "ルミナ", "ソラ眼鏡", "Aoba Optical",
                                   "ひかりレンズ"};

constexpr const char* kStores[] = {"001", "002", "003"};
constexpr const char* kClerks[] = {"012", "015", "021", "034", "047"};

bool IsMember(int64_t index) {
  const int64_t r = index % 20;
  return index > 0 && (r == 3 || r == 9 || r == 16);
}

struct Household {
  const Surname* surname;
  const Place* place;
  std::string store, zip, address2, address3, home_tel;
};

Household MakeHousehold(uint64_t seed, int64_t index) {
  Rng r(seed, index, 1);
  Household h;
  h.surname = &r.Pick(kSurnames);
  h.place = &r.Pick(kPlaces);
  h.store = r.Pick(kStores);
  h.zip = std::string(h.place->zip3) + "-" + r.Digits(4);
  h.address2 = std::to_string(r.Int(1, 5)) + "丁目" + std::to_string(r.Int(1, 30)) + "番" +
               std::to_string(r.Int(1, 20)) + "号";
  if (r.Chance(40))
    h.address3 = std::string(r.Pick(kBuildings)) + std::to_string(r.Int(1, 9)) + "0" +
                 std::to_string(r.Int(1, 9)) + "号室";
  const std::string area = h.place->area_code;
  const int local = 10 - static_cast<int>(area.size());
  const int first = local - 4;
  if (r.Chance(85)) h.home_tel = area + "-" + r.Digits(first) + "-" + r.Digits(4);
  return h;
}

struct Person {
  Household home;
  const GivenName* given;
  int sex;  // 1 male, 2 female
  int64_t birth, first_visit, newest_visit;
  std::string mobile, email;

  int Age() const { return static_cast<int>((kToday - birth) / 365); }
  std::string Kana() const { return std::string(home.surname->kana) + " " + given->kana; }
  std::string Kanji() const { return std::string(home.surname->kanji) + "　" + given->kanji; }
};

Person MakePerson(uint64_t seed, int64_t index) {
  Person p;
  p.home = MakeHousehold(seed, IsMember(index) ? index - 1 : index);
  Rng r(seed, index, 2);
  p.sex = static_cast<int>(r.Int(1, 2));
  p.given = p.sex == 1 ? &r.Pick(kMaleNames) : &r.Pick(kFemaleNames);
  const int64_t age = IsMember(index) ? r.Int(6, 84) : r.Int(17, 89);
  p.birth = kToday - age * 365 - r.Int(0, 364);
  int64_t lo = std::max(kOpened, p.birth + 6 * 365);
  const int64_t hi = kToday - 14;
  lo = std::min(lo, hi);
  p.first_visit = r.Int(lo, hi);
  p.newest_visit = r.Int(p.first_visit, kToday);
  static constexpr const char* kMobile[] = {"090", "080", "070"};
  if (age >= 13 && r.Chance(75))
    p.mobile = std::string(r.Pick(kMobile)) + "-" + r.Digits(4) + "-" + r.Digits(4);
  if (age >= 16 && r.Chance(55))
    p.email =
        std::string(p.given->romaji) + "." + p.home.surname->romaji + r.Digits(2) + "@example.jp";
  return p;
}

json Call(const char* method, json arguments) {
  json call = json::object();
  call[method] = std::move(arguments);
  return call;
}

json Strings(std::vector<std::string> items) {
  return json(std::move(items));
}

// Amounts of one customer's purchases.
struct Purchases {
  int64_t glasses = 0, contacts = 0, hearing = 0, other = 0;
  int times = 0;
};

double TaxRate(int64_t day) {
  if (day >= Days(2019, 10, 1)) return 0.10;
  if (day >= Days(2014, 4, 1)) return 0.08;
  return 0.05;
}

// Queues the sales lines of one history entry; each adds its total to *amount.
class Sales {
 public:
  Sales(const std::string& store, const std::string& key, std::string clerk, json& calls)
      : store_(store), key_(key), clerk_(std::move(clerk)), calls_(calls) {}

  void Line(Rng& r, int kind, int history, int line_no, const std::string& voucher, int64_t day,
            int goods_kbn, const std::string& name, int goods_class, int qty, int64_t unit_price,
            int side, int64_t* amount) {
    const int64_t amt = qty * unit_price;
    const int64_t discount = r.Chance(20) ? amt / 10 : 0;
    const int64_t subtotal = amt - discount;
    const auto tax = static_cast<int64_t>(std::floor(static_cast<double>(subtotal) * TaxRate(day)));
    const int64_t total = subtotal + tax;
    *amount += total;
    json args = {
        {"StoreCd", store_},
        {"UniqueKey", key_},
        {"Kind", kind},
        {"HistoryNo", history},
        {"LineNo", line_no},
        {"DenpyoNo", voucher},
        {"SaleDate", DateText(day)},
        {"IntCd", "1"},
        {"ToriStoreCd", store_},
        {"ClerkCd", clerk_},
        {"GoodsKbn", std::to_string(goods_kbn)},
        {"GoodsName", name},
        {"GoodsCd",
         "49" + std::to_string(10000000000LL + static_cast<int64_t>(r.Next() % 89999999999ULL))},
        {"Maker", r.Pick(kMakers)},
        {"Class", std::to_string(goods_class)},
        {"GoodsQty", std::to_string(qty)},
        {"Tanka", std::to_string(unit_price)},
        {"Amt", std::to_string(amt)},
        {"SaleDiscount", std::to_string(discount)},
        {"SubTotal", std::to_string(subtotal)},
        {"Tax", std::to_string(tax)},
        {"ReceptDiscount", "0"},
        {"Total", std::to_string(total)},
        {"RL_Kbn", side > 0 ? std::to_string(side) : std::string()},
        {"TranseFlg", 0},
    };
    calls_.push_back(Call("SetUriageData", std::move(args)));
  }

 private:
  std::string store_, key_, clerk_;
  json& calls_;
};

// Visual acuity without correction for a spherical error.
std::string NakedSight(double sphere) {
  const double a = std::fabs(sphere);
  if (a < 0.25) return "1.2";
  if (a < 0.75) return "0.7";
  if (a < 1.25) return "0.4";
  if (a < 2.25) return "0.2";
  if (a < 3.25) return "0.1";
  return "0.05";
}

struct Eye {
  double sphere, cylinder;
  int axis;
};

Eye MakeEye(Rng& r, const Eye* other) {
  Eye e;
  if (other) {
    e.sphere = other->sphere + 0.25 * static_cast<double>(r.Int(-2, 2));
    e.cylinder = std::min(0.0, other->cylinder + 0.25 * static_cast<double>(r.Int(-1, 1)));
    e.axis = static_cast<int>((other->axis + 180 + 5 * r.Int(-3, 3) - 1) % 180 + 1);
  } else {
    e.sphere = 0.25 * static_cast<double>(r.Int(-28, 8));
    e.cylinder = -0.25 * static_cast<double>(r.Chance(60) ? r.Int(1, 8) : 0);
    e.axis = static_cast<int>(5 * r.Int(1, 36));
  }
  return e;
}

std::string Cyl(const Eye& e) {
  return e.cylinder < 0 ? Fixed(e.cylinder, 2) : std::string();
}
std::string Axis(const Eye& e) {
  return e.cylinder < 0 ? std::to_string(e.axis) : std::string();
}

// The dates of `count` visits between the first and the newest one, the
// last on the newest.
std::vector<int64_t> VisitDays(Rng& r, const Person& p, int count) {
  std::vector<int64_t> days;
  for (int i = 0; i < count - 1; ++i) days.push_back(r.Int(p.first_visit, p.newest_visit));
  std::sort(days.begin(), days.end());
  days.push_back(p.newest_visit);
  return days;
}

class CustomerWriter {
 public:
  CustomerWriter(uint64_t seed, int64_t index)
      : seed_(seed),
        index_(index),
        key_(DemoKey(index)),
        p_(MakePerson(seed, index)),
        r_(seed, index, 3) {
    clerk_ = r_.Pick(kClerks);
  }

  json Document() {
    json history = json::array();
    Glasses(history);
    ContactLenses(history);
    HearingAids(history);
    json calls = json::array();
    calls.push_back(BaseData());
    calls.push_back(MenteData("1"));
    for (json& call : history) calls.push_back(std::move(call));
    if (r_.Chance(45))
      calls.push_back(Call(
          "SetSYOKANData",
          {{"StoreCd", p_.home.store}, {"UniqueKey", key_}, {"Comment1", r_.Pick(kComments)}}));
    if (IsMember(index_)) {
      const std::string head = DemoKey(index_ - 1);
      calls.push_back(Call("FamilyUpdate", {{"DaihyoKey", head}, {"KazokuKey", key_}}));
      calls.push_back(Call("FamilyCnt_Update", {{"UniqueKey", head}}));
    }
    return {{"key", key_}, {"calls", std::move(calls)}, {"delete", false}};
  }

  // A maintenance row of `kind` for this customer.
  json MenteData(const std::string& kind) {
    return Call("SetMENTEData", {{"StoreCd", p_.home.store},
                                 {"HtKbn", "1"},
                                 {"UniqueKey", key_},
                                 {"KBN", kind},
                                 {"MotoStore", p_.home.store},
                                 {"KanaMei", p_.Kana()},
                                 {"CustomMei", p_.Kanji()},
                                 {"Sex", std::to_string(p_.sex)},
                                 {"BirthDt", DateText(p_.birth)},
                                 {"HomeTel", p_.home.home_tel},
                                 {"NewbstComing", DateText(p_.newest_visit)},
                                 {"ClerkCd", clerk_},
                                 {"ZyotaiKbn", kind == "2" ? "9" : "0"},
                                 {"TranseFlg", "0"},
                                 {"UpdFlg", kind == "2" ? "1" : "0"}});
  }

 private:
  std::string Voucher() { return std::to_string(2000000 + index_ * 16 + vouchers_++); }

  json BaseData() {
    const bool member = IsMember(index_);
    const bool head = IsMember(index_ + 1);
    std::vector<std::string> buy(16), free17(16), free18(16), free19(16), event(16), free(16);
    if (purchases_.glasses > 0) buy[0] = "1";
    if (purchases_.contacts > 0) buy[1] = "1";
    if (purchases_.hearing > 0) buy[2] = "1";
    if (purchases_.other > 0) buy[4] = "1";
    free[0] = std::to_string(r_.Int(0, 50) * 10);  // points on the shop card
    if (r_.Chance(30)) free[1] = std::to_string(r_.Int(1, 5));
    if (r_.Chance(20)) free17[0] = r_.Chance(50) ? "紹介" : "チラシ";
    for (int i = 0; i < 16; ++i)
      if (r_.Chance(10)) event[static_cast<size_t>(i)] = "1";
    const bool has_glasses = far_ != 0 || near_ != 0 || cyl_ != 0;
    const std::string connect_tel = member ? MakePerson(seed_, index_ - 1).mobile : p_.mobile;
    json args = {
        {"StoreCd", p_.home.store},
        {"UniqueKey", key_},
        {"DenpyoNo", Voucher()},
        {"CustomerNo", std::to_string(100000 + index_)},
        {"KanaNm", p_.Kana()},
        {"KanjiNm", p_.Kanji()},
        {"FamilyKey", member ? DemoKey(index_ - 1) : key_},
        {"FamilyKbn", member ? "2" : "1"},
        {"FamilyCd", member ? "02"
                     : head ? "01"
                            : ""},
        {"FamilyCnt", "0"},
        {"KaruteNo", "K-" + std::to_string(500000 + index_)},
        {"C_Sex", std::to_string(p_.sex)},
        {"C_Birthday", DateText(p_.birth)},
        {"FirstVisit", DateText(p_.first_visit)},
        {"HomeTel", p_.home.home_tel},
        {"PortableTel", p_.mobile},
        {"ConnectTel", connect_tel},
        {"ConnectKbn", connect_tel.empty() ? ""
                       : member            ? "3"
                                           : "2"},
        {"ConnectRemarks", r_.Chance(25) ? r_.Pick(kConnectRemarks) : ""},
        {"E_mail_Add", p_.email},
        {"ZipCd", p_.home.zip},
        {"C_Address1",
         std::string(p_.home.place->prefecture) + p_.home.place->city + p_.home.place->town},
        {"C_Address2", p_.home.address2},
        {"C_Address3", p_.home.address3},
        {"BuyFlg", Strings(buy)},
        {"C_FREE", Strings(free)},
        {"C_Free17", Strings(free17)},
        {"C_Free18", Strings(free18)},
        {"C_Free19", Strings(free19)},
        {"LicenseYear", p_.Age() >= 18 && r_.Chance(60) ? std::to_string(2024 + r_.Int(0, 4)) : ""},
        {"NewestVisit", DateText(p_.newest_visit)},
        {"BuyTimes", std::to_string(purchases_.times)},
        {"FarDegree", has_glasses ? Fixed(far_, 2) : ""},
        {"NearDegree", has_glasses ? Fixed(near_, 2) : ""},
        {"CylDegree", has_glasses ? Fixed(cyl_, 2) : ""},
        {"GlassMoney", std::to_string(purchases_.glasses)},
        {"ContactMoney", std::to_string(purchases_.contacts)},
        {"OtherMoney", std::to_string(purchases_.other)},
        {"HochoMoney", std::to_string(purchases_.hearing)},
        {"DM_Flag", r_.Chance(80) ? "1" : "0"},
        {"C_Remarks", r_.Chance(15) ? "来店時は駐車場利用" : ""},
        {"EventFlg", Strings(event)},
        {"Bestkey", r_.Chance(10) ? "B" + r_.Digits(3) : ""},
        {"JpegPath", ""},
        {"AreaCD", std::to_string(p_.home.place->area_cd)},
        {"TranseFlg", 0},
    };
    return Call("SetBaseData", std::move(args));
  }

  void Glasses(json& calls) {
    if (p_.Age() < 6 || !r_.Chance(75)) return;
    const int entries = static_cast<int>(r_.Int(1, 3));
    const std::vector<int64_t> days = VisitDays(r_, p_, entries);
    Eye right = MakeEye(r_, nullptr);
    Eye left = MakeEye(r_, &right);
    const double add =
        p_.Age() >= 45 ? std::min(3.0, 0.75 + 0.25 * static_cast<double>((p_.Age() - 45) / 4)) : 0;
    const double pd = 0.5 * static_cast<double>(r_.Int(58, 70));  // one eye, 29 to 35 mm
    for (int h = 1; h <= entries; ++h) {
      const int64_t day = days[static_cast<size_t>(h - 1)];
      const std::string voucher = Voucher();
      const std::string history = std::to_string(h);
      const bool progressive = add > 0 && r_.Chance(60);
      const bool tinted = r_.Chance(20);
      const std::string colour = tinted ? "ブラウン" : "クリア";
      const std::string density = tinted ? std::to_string(5 * r_.Int(2, 7)) : "0";
      const std::string spec = progressive     ? "1.60 遠近両用"
                               : r_.Chance(50) ? "1.60 非球面"
                                               : "1.67 非球面";
      calls.push_back(
          Call("SetG_BaseData",
               {{"StoreCd", p_.home.store},
                {"UniqueKey", key_},
                {"HistoryNo", history},
                {"ExamDt", DateText(day)},
                {"DenpyoNo", voucher},
                {"UsePur", progressive ? "3"
                           : add > 0   ? "2"
                                       : "1"},
                {"PurDistance", progressive ? "0" : "5"},
                {"Tun", std::to_string(r_.Int(0, 2))},
                {"IntCd", "1"},
                {"ClerkCd", clerk_},
                {"AtukaiNo", p_.home.store},
                {"Naked_S_1", NakedSight(right.sphere)},
                {"Naked_S_2", NakedSight(left.sphere)},
                {"Naked_S_3", NakedSight(std::max(right.sphere, left.sphere))},
                {"LensColr_R", colour},
                {"LensColr_L", colour},
                {"LensNodo_R", density},
                {"LensNodo_L", density},
                {"LensNodo_Ud_R", "0"},
                {"LensNodo_Ud_L", "0"},
                {"Spec1", spec},
                {"Spec2", spec},
                {"ColrCls_R", tinted ? "2" : "1"},
                {"ColrCls_L", tinted ? "2" : "1"},
                {"MaterialCd_R", spec.substr(0, 4) == "1.67" ? "3" : "2"},
                {"MaterialCd_L", spec.substr(0, 4) == "1.67" ? "3" : "2"},
                {"CylCtrl_R", right.cylinder < 0 ? "1" : "0"},
                {"CylCtrl_L", left.cylinder < 0 ? "1" : "0"},
                {"OphtMedic", r_.Chance(15) ? "1" : "0"},
                {"C_Remarks", h == entries && r_.Chance(30) ? "度数を0.25弱めに調整" : ""},
                {"OdKind_Flg", progressive ? "2" : "1"},
                {"Fdegree_1", Fixed(right.sphere, 2)},
                {"Ndegree_1", add > 0 ? Fixed(right.sphere + add, 2) : ""},
                {"Cyl_N_1", Cyl(right)},
                {"TranseFlg", "0"}}));
      Detail(calls, history, voucher, "1", right, left, 0, pd);
      if (add > 0) Detail(calls, history, voucher, "2", right, left, add, pd);
      far_ = right.sphere;
      near_ = right.sphere + add;
      cyl_ = right.cylinder;

      Sales sales(p_.home.store, key_, clerk_, calls);
      int64_t amount = 0;
      sales.Line(r_, 1, h, 1, voucher, day, 1, "チタンフレーム FX-" + r_.Digits(3), 1, 1,
                 r_.Int(12, 40) * 1000 - 200, 0, &amount);
      const int64_t lens = (progressive ? r_.Int(15, 30) : r_.Int(4, 12)) * 1000;
      sales.Line(r_, 1, h, 2, voucher, day, 2, "レンズ " + spec, 2, 1, lens, 1, &amount);
      sales.Line(r_, 1, h, 3, voucher, day, 2, "レンズ " + spec, 2, 1, lens, 2, &amount);
      purchases_.glasses += amount;
      ++purchases_.times;
      // Steps toward stronger myopia between visits, as eyes do.
      if (right.sphere < 0 && r_.Chance(40)) {
        right.sphere -= 0.25;
        left.sphere -= 0.25;
      }
    }
  }

  void Detail(json& calls, const std::string& history, const std::string& voucher,
              const std::string& kind, const Eye& right, const Eye& left, double add, double pd) {
    const std::string far_pd = Fixed(pd, 1), near_pd = Fixed(pd - 1.5, 1);
    calls.push_back(Call("SetG_DTLData", {{"StoreCd", p_.home.store},
                                          {"UniqueKey", key_},
                                          {"HistoryNo", history},
                                          {"Kind", kind},
                                          {"DenpyoNo", voucher},
                                          {"Sight1", "1.0"},
                                          {"Sight2", r_.Chance(70) ? "1.0" : "0.9"},
                                          {"Sight3", "1.2"},
                                          {"S_1", Fixed(right.sphere + add, 2)},
                                          {"C_1", Cyl(right)},
                                          {"Ax_1", Axis(right)},
                                          {"Add_1", add > 0 ? Fixed(add, 2) : ""},
                                          {"P1_1", ""},
                                          {"B1_1", ""},
                                          {"Hen1_1", ""},
                                          {"P_Way1_1", ""},
                                          {"Pd_1", far_pd},
                                          {"Npd_1", near_pd},
                                          {"EyePoint_1", std::to_string(r_.Int(20, 24))},
                                          {"S_2", Fixed(left.sphere + add, 2)},
                                          {"C_2", Cyl(left)},
                                          {"Ax_2", Axis(left)},
                                          {"Add_2", add > 0 ? Fixed(add, 2) : ""},
                                          {"P1_2", ""},
                                          {"B1_2", ""},
                                          {"Hen1_2", ""},
                                          {"P_Way1_2", ""},
                                          {"Pd_2", far_pd},
                                          {"Npd_2", near_pd},
                                          {"EyePoint2", std::to_string(r_.Int(20, 24))},
                                          {"TranseFlg", "0"}}));
  }

  void ContactLenses(json& calls) {
    if (p_.Age() < 15 || p_.Age() > 65 || !r_.Chance(35)) return;
    const int entries = static_cast<int>(r_.Int(1, 2));
    const std::vector<int64_t> days = VisitDays(r_, p_, entries);
    const bool hard = r_.Chance(20);
    const double sphere = 0.25 * static_cast<double>(r_.Int(-30, -2));
    for (int h = 1; h <= entries; ++h) {
      const int64_t day = days[static_cast<size_t>(h - 1)];
      const std::string voucher = Voucher();
      const std::string history = std::to_string(h);
      const double vk = 0.01 * static_cast<double>(r_.Int(740, 810));
      calls.push_back(
          Call("SetC_BaseData", {{"StoreCd", p_.home.store},
                                 {"UniqueKey", key_},
                                 {"HistoryNo", history},
                                 {"ExamDt", DateText(day)},
                                 {"DenpyoNo", voucher},
                                 {"UsePur", hard ? "2" : "1"},
                                 {"DoctorCd", "0" + std::to_string(r_.Int(10, 19))},
                                 {"IntCd", "1"},
                                 {"ClerkCd", clerk_},
                                 {"AtukaiNo", p_.home.store},
                                 {"Naked_S_1", NakedSight(sphere)},
                                 {"Naked_S_2", NakedSight(sphere + 0.25)},
                                 {"Naked_S_3", NakedSight(sphere + 0.25)},
                                 {"Vk_1", Fixed(vk, 2)},
                                 {"Hk_1", Fixed(vk - 0.05 * static_cast<double>(r_.Int(1, 3)), 2)},
                                 {"Krt_Ax_1", r_.Chance(80) ? "180" : "90"},
                                 {"Vk_2", Fixed(vk + 0.05, 2)},
                                 {"Hk_2", Fixed(vk - 0.05, 2)},
                                 {"Krt_Ax_2", r_.Chance(80) ? "180" : "90"},
                                 {"SyoriKbn1", "1"},
                                 {"SyoriKbn2", h == 1 ? "1" : "2"},
                                 {"Allergy", r_.Chance(10) ? "1" : "0"},
                                 {"UseYear", std::to_string(r_.Int(0, 20))},
                                 {"Time", std::to_string(r_.Int(6, 16))},
                                 {"Remarks", r_.Chance(25) ? "乾燥感あり。目薬を案内。" : ""},
                                 {"Fdegree_1", Fixed(sphere, 2)},
                                 {"TranseFlg", "0"}}));
      // Lens power at the cornea: a little weaker than the spectacle power past -4.
      const double power = sphere < -4 ? sphere + 0.25 * static_cast<double>(r_.Int(1, 2)) : sphere;
      const std::string bc = hard ? Fixed(vk + 0.05, 2) : (r_.Chance(50) ? "8.60" : "8.70");
      const std::string size = hard ? "9.0" : "14.2";
      calls.push_back(Call("SetC_DTLData", {{"StoreCd", p_.home.store},
                                            {"UniqueKey", key_},
                                            {"HistoryNo", history},
                                            {"Kind", "1"},
                                            {"ExamDt", DateText(day)},
                                            {"DenpyoNo", voucher},
                                            {"Sight1", "1.0"},
                                            {"Sight2", "1.0"},
                                            {"Sight3", "1.2"},
                                            {"Bc_1", bc},
                                            {"P_1", Fixed(power, 2)},
                                            {"C_1", ""},
                                            {"Ax_1", ""},
                                            {"Siz_1", size},
                                            {"Add_1", ""},
                                            {"Bc_2", bc},
                                            {"P_2", Fixed(power + 0.25, 2)},
                                            {"C_2", ""},
                                            {"Ax_2", ""},
                                            {"Siz_2", size},
                                            {"Add_2", ""},
                                            {"TranseFlg", "0"}}));
      Sales sales(p_.home.store, key_, clerk_, calls);
      int64_t amount = 0;
      if (hard) {
        sales.Line(r_, 2, h, 1, voucher, day, 3, "ハードレンズ O2-" + r_.Digits(2), 3, 1, 18000, 1,
                   &amount);
        sales.Line(r_, 2, h, 2, voucher, day, 3, "ハードレンズ O2-" + r_.Digits(2), 3, 1, 18000, 2,
                   &amount);
      } else {
        const bool daily = r_.Chance(50);
        sales.Line(r_, 2, h, 1, voucher, day, 3, daily ? "1日使い捨て 30枚入" : "2週間交換 6枚入",
                   3, static_cast<int>(r_.Int(2, 8)), daily ? 3600 : 2800, 3, &amount);
      }
      sales.Line(r_, 2, h, 3, voucher, day, 5, "ケア用品 洗浄保存液", 5, 1, 1280, 0, &amount);
      purchases_.contacts += amount;
      ++purchases_.times;
    }
  }

  void HearingAids(json& calls) {
    if (p_.Age() < 60 || !r_.Chance(40)) return;
    const std::vector<int64_t> days = VisitDays(r_, p_, 1);
    const int64_t day = days.back();
    const std::string voucher = Voucher();
    const int ear = static_cast<int>(r_.Int(1, 3));
    calls.push_back(
        Call("SetH_BaseData", {{"StoreCd", p_.home.store},
                               {"UniqueKey", key_},
                               {"HistoryNo", "1"},
                               {"ExamDt", DateText(day)},
                               {"DenpyoNo", voucher},
                               {"UsePur", "1"},
                               {"WearEar", std::to_string(ear)},
                               {"SalesCd", "1"},
                               {"IntCd", "1"},
                               {"ClerkCd", clerk_},
                               {"AtukaiNo", p_.home.store},
                               {"DoctorCd", "0" + std::to_string(r_.Int(20, 29))},
                               {"SerialNoR", ear != 2 ? "R" + r_.Digits(7) : ""},
                               {"SerialNoL", ear != 1 ? "L" + r_.Digits(7) : ""},
                               {"KarteNo", "H-" + std::to_string(300000 + index_)},
                               {"HoshoKigen", DateText(day + 3 * 365)},
                               {"Remarks1", "耳かけ型を選択"},
                               {"Remarks2", r_.Chance(40) ? "会話時の聞き取りを重視" : ""},
                               {"Remarks3", ""}}));
    // Hearing levels in dB HL at 125 Hz to 8 kHz: worse toward the high
    // tones with age; bone conduction a little better, measured 250 Hz to 4 kHz.
    std::vector<std::vector<std::string>> air(2), bone(2);
    const int64_t base = 15 + 5 * ((p_.Age() - 60) / 6);
    for (int side = 0; side < 2; ++side) {
      int64_t level = base + 5 * r_.Int(-1, 1);
      for (int point = 1; point <= 11; ++point) {
        if (point >= 5) level += 5 * r_.Int(0, 2);
        const int64_t air_level = std::min<int64_t>(level, 90);
        air[static_cast<size_t>(side)].push_back(std::to_string(air_level));
        bone[static_cast<size_t>(side)].push_back(
            point >= 2 && point <= 9
                ? std::to_string(std::max<int64_t>(0, air_level - 5 * r_.Int(0, 2)))
                : "");
      }
    }
    calls.push_back(Call("SetH_DTLData", {{"StoreCd", p_.home.store},
                                          {"UniqueKey", key_},
                                          {"HistoryNo", "1"},
                                          {"Kind", "1"},
                                          {"ExamDt", DateText(day)},
                                          {"DenpyoNo", voucher},
                                          {"Kido", air},
                                          {"Kodo", bone}}));
    Sales sales(p_.home.store, key_, clerk_, calls);
    int64_t amount = 0;
    const int64_t price = r_.Int(15, 35) * 10000;
    if (ear != 2)
      sales.Line(r_, 3, 1, 1, voucher, day, 4, "耳かけ型補聴器 HA-" + r_.Digits(2), 4, 1, price, 1,
                 &amount);
    if (ear != 1)
      sales.Line(r_, 3, 1, 2, voucher, day, 4, "耳かけ型補聴器 HA-" + r_.Digits(2), 4, 1, price, 2,
                 &amount);
    sales.Line(r_, 4, 1, 3, voucher, day, 5, "補聴器用電池 PR41 6個入", 5, 2, 600, 0, &amount);
    purchases_.hearing += amount;
    ++purchases_.times;
  }

 private:
  uint64_t seed_;
  int64_t index_;
  std::string key_;
  Person p_;
  Rng r_;
  std::string clerk_;
  Purchases purchases_;
  double far_ = 0, near_ = 0, cyl_ = 0;
  int vouchers_ = 0;
};

}  // namespace

std::string DemoKey(int64_t index) {
  return std::to_string(kFirstKey + (IsDemoDeletion(index) ? index - 7 : index));
}

bool IsDemoDeletion(int64_t index) {
  return index % 20 == 19;
}

json DemoCustomer(uint64_t seed, int64_t index) {
  if (IsDemoDeletion(index)) {
    CustomerWriter deleted(seed, index - 7);
    return {{"key", DemoKey(index)},
            {"calls", json::array({deleted.MenteData("2")})},
            {"delete", true}};
  }
  return CustomerWriter(seed, index).Document();
}

std::string DemoCustomerLine(uint64_t seed, int64_t index) {
  return DemoCustomer(seed, index).dump();
}

DemoCustomerStream::DemoCustomerStream(uint64_t seed, int64_t count)
    : std::istream(nullptr), lines_(seed, count) {
  rdbuf(&lines_);
}

DemoCustomerStream::Lines::int_type DemoCustomerStream::Lines::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (next_ >= count_) return traits_type::eof();
  line_ = DemoCustomerLine(seed_, next_++) + '\n';
  setg(line_.data(), line_.data(), line_.data() + line_.size());
  return traits_type::to_int_type(*gptr());
}

}  // namespace kvt710::cli
