// The demo's sample customers: the same for a seed, values a shop would
// hold, and every line valid by the import line schema (which knows each
// method's parameters).
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>

#include "cli/demo_data.h"
#include "cli/methods.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using nlohmann::json;

TEST(DemoData, IsTheSameForASeedAndDiffersBetweenSeeds) {
  EXPECT_NE(cli::DemoCustomerLine(1, 5), cli::DemoCustomerLine(2, 5));
  cli::DemoCustomerStream lines(9, 25);
  int64_t index = 0;
  for (std::string line; std::getline(lines, line);)
    EXPECT_EQ(line, cli::DemoCustomerLine(9, index++));
  EXPECT_EQ(index, 25);
}

// A multiple of `step` (0.25 for lens powers, 5 for hearing levels).
bool IsStep(const json& text, double step) {
  const double value = std::stod(text.get<std::string>()) / step;
  return std::fabs(value - std::round(value)) < 1e-9;
}

TEST(DemoData, HoldsPlausibleValues) {
  const std::regex date(R"(\d{4}/(0[1-9]|1[0-2])/(0[1-9]|[12]\d|3[01]))");
  // 0A-B-C with ten (landline) or eleven (mobile) digits, or none.
  auto is_phone = [](const json& text, long digits) {
    const std::string s = text;
    return s.empty() || (std::regex_match(s, std::regex(R"(0\d+-\d+-\d+)")) &&
                         std::count_if(s.begin(), s.end(), ::isdigit) == digits);
  };
  std::set<std::string> methods;
  int families = 0, deletions = 0;
  for (int64_t i = 0; i < 200; ++i) {
    const json document = cli::DemoCustomer(4, i);
    const json& calls = document.at("calls");
    if (document.at("delete").get<bool>()) {
      ++deletions;
      EXPECT_EQ(document["key"], cli::DemoKey(i - 7));
      EXPECT_EQ(calls[0]["SetMENTEData"]["KBN"], "2");
      continue;
    }
    EXPECT_EQ(document["key"], std::to_string(10001 + i));
    const json& base = calls.at(0).at("SetBaseData");
    EXPECT_EQ(base["UniqueKey"], document["key"]);
    for (const char* name : {"C_Birthday", "FirstVisit", "NewestVisit"})
      EXPECT_TRUE(std::regex_match(base[name].get<std::string>(), date)) << base[name];
    EXPECT_LE(base["FirstVisit"], base["NewestVisit"]);
    EXPECT_TRUE(is_phone(base["HomeTel"], 10) && is_phone(base["PortableTel"], 11)) << base;
    if (base["FamilyKbn"] == "2") {
      ++families;
      EXPECT_EQ(base["FamilyKey"], cli::DemoKey(i - 1));
      EXPECT_EQ(calls.back()["FamilyCnt_Update"]["UniqueKey"], cli::DemoKey(i - 1));
    }
    for (const json& call : calls) {
      const std::string method = call.begin().key();
      const json& args = call.begin().value();
      methods.insert(method);
      if (method == "SetC_DTLData") {
        EXPECT_TRUE(IsStep(args["P_1"], 0.25)) << args["P_1"];
      }
      for (const json& side : method == "SetH_DTLData" ? args["Kido"] : json::array()) {
        for (const json& level : side) EXPECT_TRUE(IsStep(level, 5)) << level;
      }
      if (method == "SetUriageData") {
        EXPECT_EQ(std::stoll(args["Total"].get<std::string>()),
                  std::stoll(args["SubTotal"].get<std::string>()) +
                      std::stoll(args["Tax"].get<std::string>()));
      }
    }
  }
  EXPECT_EQ(deletions, 10);
  EXPECT_EQ(families, 30);
  EXPECT_EQ(methods.size(), 12u);  // every writer and family method
}

// The import line schema, checked by a real validator: 40 demo customers
// pass; a missing required parameter, an unknown one or a short array fails.
TEST(DemoData, ValidatesAgainstTheImportLineSchema) {
  testing_support::TempDir dir;
  std::ofstream(dir / "schema.json") << cli::ImportLineSchema().dump();
  std::ofstream lines(dir / "lines.jsonl");
  for (int64_t i = 0; i < 40; ++i) lines << cli::DemoCustomerLine(7, i) << '\n';
  json missing = cli::DemoCustomer(7, 0), unknown = missing, short_array = missing;
  missing["calls"][0]["SetBaseData"].erase("KanaNm");
  unknown["calls"][0]["SetBaseData"]["Comment"] = "x";
  short_array["calls"][0]["SetBaseData"]["BuyFlg"].erase(0);
  lines << missing.dump() << '\n' << unknown.dump() << '\n' << short_array.dump() << '\n';
  lines.close();
  std::ofstream(dir / "check.py")
      << "import "
         "json,sys,jsonschema\nv=jsonschema.Draft202012Validator(json.load(open(sys.argv[1])))\n"
         "print(''.join('1' if v.is_valid(json.loads(l)) else '0' for l in open(sys.argv[2])))\n";
  const std::string command =
      "cd " + dir.path().string() + " && python3 check.py schema.json lines.jsonl > out";
  ASSERT_EQ(std::system(command.c_str()), 0) << "python3 with jsonschema (scripts/deps)";
  std::ifstream out(dir / "out");
  std::string verdicts;
  std::getline(out, verdicts);
  EXPECT_EQ(verdicts, std::string(40, '1') + "000");
}

}  // namespace
}  // namespace kvt710
