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

// Sample values a shop would hold: valid dates in order, phone numbers of
// ten or eleven digits, lens powers in steps of 0.25, hearing levels in
// steps of 5, totals that add up; deletions and families of earlier
// customers; every writer and family method used.
TEST(DemoData, HoldsPlausibleValues) {
  const std::regex date(R"(\d{4}/(0[1-9]|1[0-2])/(0[1-9]|[12]\d|3[01]))"), phone(R"(0\d+-\d+-\d+)");
  auto is_phone = [&](const std::string& s, long digits) {
    return s.empty() ||
           (std::regex_match(s, phone) && std::ranges::count_if(s, ::isdigit) == digits);
  };
  auto is_step = [](const json& text, double step) {
    return std::fmod(std::stod(text.get<std::string>()) / step, 1.0) == 0;
  };
  auto number = [](const json& text) { return std::stoll(text.get<std::string>()); };
  std::set<std::string> methods;
  int families = 0, deletions = 0;
  for (int64_t i = 0; i < 200; ++i) {
    const json document = cli::DemoCustomer(4, i), &calls = document.at("calls");
    if (document.at("delete").get<bool>()) {
      ++deletions;
      EXPECT_EQ(document["key"], cli::DemoKey(i - 7));
      EXPECT_EQ(calls[0]["SetMENTEData"]["KBN"], "2");
      continue;
    }
    const json& base = calls.at(0).at("SetBaseData");
    EXPECT_TRUE(document["key"] == std::to_string(10001 + i) &&
                base["UniqueKey"] == document["key"]);
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
      methods.insert(call.begin().key());
      const json& a = call.begin().value();
      EXPECT_TRUE(!a.contains("P_1") || is_step(a["P_1"], 0.25)) << a;
      for (const json& side : a.value("Kido", json::array()))
        for (const json& level : side) EXPECT_TRUE(is_step(level, 5)) << level;
      EXPECT_TRUE(!a.contains("Total") ||
                  number(a["Total"]) == number(a["SubTotal"]) + number(a["Tax"]))
          << a;
    }
  }
  EXPECT_EQ(deletions, 10);
  EXPECT_EQ(families, 30);
  EXPECT_EQ(methods.size(), 12u);
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
      << "import json, jsonschema\n"
         "v = jsonschema.Draft202012Validator(json.load(open('schema.json')))\n"
         "print(''.join('01'[v.is_valid(json.loads(l))] for l in open('lines.jsonl')))\n";
  const std::string command = "cd " + dir.path().string() + " && python3 check.py > out";
  ASSERT_EQ(std::system(command.c_str()), 0) << "python3 with jsonschema (scripts/deps)";
  std::string verdicts;
  std::getline(std::ifstream(dir / "out"), verdicts);
  EXPECT_EQ(verdicts, std::string(40, '1') + "000");
}

}  // namespace
}  // namespace kvt710
