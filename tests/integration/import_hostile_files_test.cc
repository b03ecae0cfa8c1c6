// kvt710 import on a file whose good customers are mixed with every kind of
// hostile line: each bad line is rejected with a short error naming its line
// number, nothing of its customer is stored, every good customer is stored,
// and the command ends with exit code 1 rather than a crash: array bounds
// past 32 bits, bounds of the wrong type, nesting far too deep.
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "catalogue/catalogue.h"
#include "cli/demo_data.h"
#include "cli/kvt710_process.h"
#include "cli/show.h"
#include "test_support.h"

namespace kvt710 {
namespace {

using nlohmann::json;
using testing_support::Backend;
using testing_support::RunKvt710;
using testing_support::ScopedSettings;
using testing_support::TempDir;
using testing_support::TestDatabase;

constexpr uint64_t kSeed = 1;
// The long line, over the import's limit of kLineLimit bytes.
constexpr size_t kHugeLine = 8 * 1024 * 1024, kLineLimit = 4 * 1024 * 1024;

json Customer(int64_t index) {
  return cli::DemoCustomer(kSeed, index);
}

std::string Line(int64_t index) {
  return cli::DemoCustomerLine(kSeed, index);
}

// `line` with `bytes` put in place of the first occurrence of `text`.
std::string Replaced(std::string line, const std::string& text, const std::string& bytes) {
  const size_t at = line.find(text);
  EXPECT_NE(at, std::string::npos) << text;
  return at == std::string::npos ? line : line.replace(at, text.size(), bytes);
}

int64_t RowsOf(const TestDatabase& database, const std::string& key) {
  int64_t rows = 0;
  for (const catalogue::TableInfo& table : catalogue::Tables())
    rows += std::stoll(database.Scalar("Select Count(*) From " + table.name + " Where " +
                                       table.customer_key + " = " + key));
  return rows;
}

struct Bad {
  int64_t index;      // the demo customer it was made from
  std::string line;   // without its line end
  std::string call;   // the rejects entry's "call"
  std::string words;  // part of the error's description
  bool has_key;       // the rejects entry names the key
};

class ImportHostileFiles : public ::testing::TestWithParam<Backend> {
 protected:
  ScopedSettings settings_;
};

TEST_P(ImportHostileFiles, EachBadLineIsRejectedByNumberAndEveryGoodCustomerStored) {
  const std::string name = Customer(12)["calls"][0]["SetBaseData"]["KanjiNm"];
  json wrong_type = Customer(11);
  wrong_type["calls"][0]["SetBaseData"]["KanjiNm"] = {{"family", "Sato"}};
  json unknown_method = Customer(14);
  unknown_method["calls"].push_back({{"SetEverything", {{"UniqueKey", cli::DemoKey(14)}}}});
  json unknown_parameter = Customer(17);
  unknown_parameter["calls"][0]["SetBaseData"]["Nickname"] = "Taro";
  const std::string remarks = "\"C_Remarks\":\"";
  const std::string huge =
      Line(18).substr(0, Line(18).find(remarks) + remarks.size()) + std::string(kHugeLine, 'x');

  auto with_buy_flags = [](int64_t index, const json& value) {
    json document = Customer(index);
    document["calls"][0]["SetBaseData"]["BuyFlg"] = value;
    return document.dump();
  };
  auto nested = [](const std::string& open, const std::string& close, int levels) {
    std::string text;
    for (int i = 0; i < levels; ++i) text += open;
    for (int i = 0; i < levels; ++i) text += close;
    return text;
  };
  const std::string deep_call =
      "{\"key\":\"" + cli::DemoKey(24) + "\",\"calls\":[" + nested("[", "]", 100000) + "]}";
  const std::string deep_array = Replaced(
      Line(25), "\"BuyFlg\":[", "\"BuyFlg\":" + nested("{\"array\":[", "]}", 40000) + ",\"x\":[");

  const std::vector<Bad> bad = {
      {10, Line(10).substr(0, Line(10).size() / 2), "line", "Not a JSON line", false},
      {18, huge, "line", "--max-line-bytes", false},
      {11, wrong_type.dump(), "SetBaseData", "KanjiNm", true},
      {12, Replaced(Line(12), name, std::string("\xE4\xB8\xAD\0\xE6\x9D\x91", 7)), "line",
       "Not a JSON line", false},
      {13, Replaced(Line(13), "\"StoreCd\":\"", "\"StoreCd\":\"\xFF\xC3("), "line",
       "Not a JSON line", false},
      {14, unknown_method.dump(), "SetEverything", "Unknown method SetEverything", true},
      {17, unknown_parameter.dump(), "SetBaseData", "Nickname", true},
      {20, with_buy_flags(20, {{"array", json::array()}, {"lbound", INT32_MIN}}), "SetBaseData",
       "BuyFlg: Subscript out of range", true},
      {21, with_buy_flags(21, {{"array", {"1"}}, {"lbound", "x"}}), "SetBaseData",
       "BuyFlg: Not a script value: lbound", true},
      {22, with_buy_flags(22, {{"array", {{"1"}}}, {"lbounds", {1, "x"}}}), "SetBaseData",
       "BuyFlg: Not a script value: lbounds", true},
      {24, deep_call, "line", "nest deeper than 64", false},
      {25, deep_array, "line", "nest deeper than 64", false},
  };
  const std::vector<int64_t> good = {0, 1, 5, 6, 7};

  // A byte-order mark before the first line; CRLF and LF line ends
  // alternating; blank and white lines between the customers.
  std::string file = "\xEF\xBB\xBF";
  std::map<int64_t, const Bad*> expected_rejects;
  int64_t line_number = 0;
  auto add = [&](const std::string& line) {
    ++line_number;
    file += line + (line_number % 2 ? "\r\n" : "\n");
  };
  add(Line(good[0]));
  for (size_t i = 0; i < bad.size(); ++i) {
    add(bad[i].line);
    expected_rejects[line_number] = &bad[i];
    if (i + 1 < good.size()) add(Line(good[i + 1]));
    if (i % 3 == 1) add(i % 2 ? " \t" : "");
  }

  TestDatabase database(GetParam());
  TempDir dir;
  const std::string input = (dir / "customers.jsonl").string(),
                    rejects_file = (dir / "rejects.jsonl").string();
  std::ofstream(input, std::ios::binary) << file;
  auto run = RunKvt710({"import", input, "--db", database.connection_string(), "--rejects",
                        rejects_file, "--max-line-bytes", std::to_string(kLineLimit)});
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_NE(run.out.find("imported 5, rejected 12, "), std::string::npos) << run.out;

  std::ifstream rejects(rejects_file, std::ios::binary);
  std::string text;
  std::map<int64_t, json> entries;
  while (std::getline(rejects, text)) {
    const json entry = json::parse(text);
    entries[entry["line"].get<int64_t>()] = entry;
  }
  ASSERT_EQ(entries.size(), expected_rejects.size());
  for (const auto& [number, b] : expected_rejects) {
    SCOPED_TRACE("line " + std::to_string(number) + ", customer " + cli::DemoKey(b->index));
    ASSERT_TRUE(entries.count(number));
    const json& entry = entries[number];
    EXPECT_EQ(entry["key"], b->has_key ? json(cli::DemoKey(b->index)) : json(nullptr));
    ASSERT_EQ(entry["errors"].size(), 1u) << entry.dump();
    EXPECT_EQ(entry["errors"][0]["call"], b->call);
    const std::string description = entry["errors"][0]["description"];
    EXPECT_NE(description.find(b->words), std::string::npos) << description;
    // Bounded, even for the long line: the line itself is in "input"; at
    // most a method's parameter list is added.
    EXPECT_LT(description.size(), 1000u);
    EXPECT_EQ(RowsOf(database, cli::DemoKey(b->index)), 0);
  }
  for (const auto& [number, b] : expected_rejects) {
    const std::string input_text = entries[number]["input"];
    // The long line comes back as its start only.
    if (b->index == 18) {
      EXPECT_LT(input_text.size(), 1100u);
      EXPECT_TRUE(huge.starts_with(input_text.substr(0, 1000)));
    }
    // The NUL line comes back whole, NUL included, without its CR.
    if (b->index == 12) {
      EXPECT_EQ(input_text, b->line);
    }
  }
  for (int64_t index : good)
    EXPECT_EQ(database.Scalar("Select Count(*) From CBASE Where CUBS_UNIQUE_KEY = " +
                              cli::DemoKey(index)),
              "1")
        << cli::DemoKey(index);
}

INSTANTIATE_TEST_SUITE_P(Backends, ImportHostileFiles,
                         ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
