// The demo's sample customers: the same for a seed, and every line valid by
// the import line schema (which knows each method's parameters).
#include <cstdlib>
#include <fstream>

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
