// The demo's sample customers: the same for a seed, each call a real method
// of the batch object with its own parameter names, and values a shop would
// hold.
#include <cstdlib>
#include <fstream>
#include <set>

#include "batch/KVT710C3.h"
#include "cli/demo_data.h"
#include "cli/methods.h"
#include "platform/settings/settings.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using nlohmann::json;

bool IsDate(const std::string& text) {
  if (text.size() != 10 || text[4] != '/' || text[7] != '/') return false;
  for (size_t i : {0, 1, 2, 3, 5, 6, 8, 9})
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return false;
  const int month = std::stoi(text.substr(5, 2)), day = std::stoi(text.substr(8, 2));
  return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

// 0A-B-C with ten (landline) or eleven (mobile) digits.
bool IsPhone(const std::string& text, size_t digits) {
  size_t count = 0, dashes = 0;
  for (char c : text) {
    if (c == '-')
      ++dashes;
    else if (std::isdigit(static_cast<unsigned char>(c)))
      ++count;
    else
      return false;
  }
  return !text.empty() && text[0] == '0' && dashes == 2 && count == digits;
}

// A multiple of `step` (0.25 for lens powers, 5 for hearing levels).
bool IsStep(const std::string& text, double step) {
  const double value = std::stod(text);
  return std::fabs(value / step - std::round(value / step)) < 1e-9;
}

TEST(DemoData, IsTheSameForASeedAndDiffersBetweenSeeds) {
  EXPECT_EQ(cli::DemoCustomerLine(1, 5), cli::DemoCustomerLine(1, 5));
  EXPECT_NE(cli::DemoCustomerLine(1, 5), cli::DemoCustomerLine(2, 5));
  cli::DemoCustomerStream lines(9, 25);
  std::string line;
  int64_t index = 0;
  while (std::getline(lines, line)) EXPECT_EQ(line, cli::DemoCustomerLine(9, index++));
  EXPECT_EQ(index, 25);
}

TEST(DemoData, UsesTheBatchParametersAndPlausibleValues) {
  auto batch = KVT710C3::Create(Settings::WithValues({}));
  std::set<std::string> methods;
  int families = 0, deletions = 0;
  for (int64_t i = 0; i < 200; ++i) {
    const json document = cli::DemoCustomer(4, i);
    const std::string key = document.at("key");
    if (cli::IsDemoDeletion(i)) {
      ++deletions;
      EXPECT_TRUE(document.at("delete").get<bool>());
      EXPECT_EQ(key, cli::DemoKey(i - 7));
      EXPECT_FALSE(cli::IsDemoDeletion(i - 7));
      ASSERT_EQ(document["calls"].size(), 1u);
      EXPECT_EQ(document["calls"][0]["SetMENTEData"]["KBN"], "2");
      continue;
    }
    EXPECT_FALSE(document.at("delete").get<bool>());
    EXPECT_EQ(key, std::to_string(10001 + i));
    const json& calls = document.at("calls");
    const json& base = calls.at(0).at("SetBaseData");
    EXPECT_EQ(base["UniqueKey"], key);
    EXPECT_TRUE(IsDate(base["C_Birthday"]) && IsDate(base["FirstVisit"]) &&
                IsDate(base["NewestVisit"]));
    EXPECT_LE(base["FirstVisit"].get<std::string>(), base["NewestVisit"].get<std::string>());
    EXPECT_EQ(base["BuyFlg"].size(), 16u);
    const std::string home = base["HomeTel"], mobile = base["PortableTel"];
    EXPECT_TRUE(home.empty() || IsPhone(home, 10)) << home;
    EXPECT_TRUE(mobile.empty() || IsPhone(mobile, 11)) << mobile;
    if (base["FamilyKbn"] == "2") {
      ++families;
      EXPECT_EQ(base["FamilyKey"], cli::DemoKey(i - 1));
      EXPECT_EQ(calls.at(calls.size() - 2)["FamilyUpdate"]["DaihyoKey"], cli::DemoKey(i - 1));
      EXPECT_EQ(calls.back()["FamilyCnt_Update"]["UniqueKey"], cli::DemoKey(i - 1));
    }
    for (const json& call : calls) {
      const std::string method = call.begin().key();
      methods.insert(method);
      const std::vector<std::string> parameters = batch->ParameterNames(method);
      ASSERT_FALSE(parameters.empty()) << method;
      for (const auto& [name, value] : call.begin().value().items()) {
        bool known = false;
        for (const std::string& p : parameters) known = known || p == name;
        EXPECT_TRUE(known) << method << " has no parameter " << name;
      }
      const json& args = call.begin().value();
      if (method == "SetG_DTLData" && args["S_1"] != "") {
        EXPECT_TRUE(IsStep(args["S_1"], 0.25));
      }
      if (method == "SetC_DTLData") {
        EXPECT_TRUE(IsStep(args["P_1"], 0.25));
      }
      if (method == "SetH_DTLData") {
        for (const json& side : args["Kido"])
          for (const json& level : side) EXPECT_TRUE(IsStep(level, 5));
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
  // Every writer and family method appears somewhere in the set.
  for (const char* method : {"SetBaseData", "SetMENTEData", "SetG_BaseData", "SetG_DTLData",
                             "SetC_BaseData", "SetC_DTLData", "SetH_BaseData", "SetH_DTLData",
                             "SetUriageData", "SetSYOKANData", "FamilyUpdate", "FamilyCnt_Update"})
    EXPECT_TRUE(methods.count(method)) << method;
}

// The import line schema, checked by a real validator: every demo customer
// (writers, families, deletions) passes; a missing required parameter, an
// unknown one or a short array fails.
TEST(DemoData, ValidatesAgainstTheImportLineSchema) {
  testing_support::TempDir dir;
  std::ofstream(dir / "schema.json") << cli::ImportLineSchema().dump();
  std::ofstream lines(dir / "lines.jsonl");
  std::string expected;
  for (int64_t i = 0; i < 40; ++i, expected += '1') lines << cli::DemoCustomerLine(7, i) << '\n';
  json missing = cli::DemoCustomer(7, 0), unknown = missing, short_array = missing;
  missing["calls"][0]["SetBaseData"].erase("KanaNm");
  unknown["calls"][0]["SetBaseData"]["Comment"] = "x";
  short_array["calls"][0]["SetBaseData"]["BuyFlg"].erase(0);
  for (const json& bad : {missing, unknown, short_array})
    lines << bad.dump() << '\n', expected += '0';
  lines.close();

  const std::string script =
      "import json,sys,jsonschema\n"
      "v=jsonschema.Draft202012Validator(json.load(open(sys.argv[1])))\n"
      "print(''.join('1' if v.is_valid(json.loads(l)) else '0' for l in open(sys.argv[2])))\n";
  std::ofstream(dir / "check.py") << script;
  const std::string command = "python3 " + (dir / "check.py").string() + " " +
                              (dir / "schema.json").string() + " " +
                              (dir / "lines.jsonl").string() + " > " + (dir / "out").string();
  ASSERT_EQ(std::system(command.c_str()), 0) << "python3 with jsonschema (scripts/deps)";
  std::ifstream out(dir / "out");
  std::string verdicts;
  std::getline(out, verdicts);
  EXPECT_EQ(verdicts, expected);
}

}  // namespace
}  // namespace kvt710
