// kvt710 import: hostile lines rejected by number while every good customer
// is stored, the input and old rejects never lost, a failed read and a stop
// signal ending the import where it was, and rejects on a terminal.
#include <pty.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <thread>

#include "cli/common.h"
#include "cli/script.h"
#include "import_fault_support.h"

namespace kvt710 {
namespace {

using namespace testing_support;
using nlohmann::json;
using ::testing::HasSubstr;

// Customer `index` under `key`, its calls that name no key left out.
std::string WithKey(int64_t index, const std::string& key) {
  json customer = cli::DemoCustomer(1, index), calls = json::array();
  customer["key"] = key;
  for (json& call : customer["calls"])
    if (call.begin().key().starts_with("Set")) {
      call.begin().value()["UniqueKey"] = key;
      calls.push_back(call);
    }
  customer["calls"] = calls;
  return customer.dump();
}

// Customer `index` with `value` for a parameter of its first call.
std::string With(int64_t index, const std::string& parameter, const json& value) {
  json customer = cli::DemoCustomer(1, index);
  customer["calls"][0].begin().value()[parameter] = value;
  return customer.dump();
}

// Customer `index`'s line with `bytes` in place of the first `text`.
std::string Replaced(int64_t index, const std::string& text, const std::string& bytes) {
  std::string line = cli::DemoCustomerLine(1, index);
  return line.replace(line.find(text), text.size(), bytes);
}

class ImportHostileFiles : public ::testing::TestWithParam<Backend> {};

TEST_P(ImportHostileFiles, EachBadLineIsRejectedByNumberAndEveryGoodCustomerStored) {
  ScopedSettings settings;
  // A second master row: the database refuses it at Execute.
  json duplicate = cli::DemoCustomer(1, 20);
  duplicate["calls"].insert(duplicate["calls"].begin() + 1, duplicate["calls"][0]);
  json unknown_method = cli::DemoCustomer(1, 22);
  unknown_method["calls"].push_back({{"SetEverything", {{"UniqueKey", cli::DemoKey(22)}}}});
  const std::string line = cli::DemoCustomerLine(1, 23), store = "\"StoreCd\":\"";
  const std::string s = "SetBaseData", k20 = "1234567890123456789";
  const struct {
    std::string line, call, words;  // the call that refused the line, words of its error
  } bad[] = {
      {duplicate.dump(), "Execute",
       GetParam() == Backend::kMariaDB ? "Duplicate entry" : "constraint"},
      {line.substr(0, line.size() / 2), "line", "Not a JSON line"},
      {Replaced(21, "\"C_Remarks\":\"", "\"C_Remarks\":\"" + std::string(8 << 20, 'x')), "line",
       "more than the limit of 4194304 (--max-line-bytes)"},
      {Replaced(33, store, store + std::string("\xE4\xB8\xAD\0\xE6\x9D\x91", 7)), "line",
       "Not a JSON line"},
      {Replaced(34, store, store + "\xFF\xC3("), "line", "Not a JSON line"},
      {WithKey(24, "12A3"), s, "[{\"code\":\"11015\""},
      {WithKey(25, k20 + "1"), s, "11015"},  // two keys a double would merge
      {WithKey(26, k20 + "3"), s, "11015"},
      {unknown_method.dump(), "SetEverything", "\"number\":438"},
      {With(27, "Nickname", "Taro"), s, "has no parameter Nickname (its parameters: StoreCd, "},
      {With(28, "KanjiNm", {{"family", "Sato"}, {"given", "Taro"}}), s,
       R"(KanjiNm: Not a script value: {\"family\":\"Sato\",\"given\":\"Taro\"})"},
      {With(29, "BuyFlg", {{"array", json::array()}, {"lbound", INT32_MIN}}), s,
       "BuyFlg: Subscript out of range"},
      {With(30, "BuyFlg", {{"array", {"1"}}, {"lbound", "x"}}), s,
       "BuyFlg: Not a script value: lbound"},
      {With(31, "BuyFlg", {{"array", {{"1"}}}, {"lbounds", {1, "x"}}}), s,
       "BuyFlg: Not a script value: lbounds"},
      {"{\"key\":\"1\",\"calls\":[" + Nested("[", "]", 100000) + "]}", "line",
       "nest deeper than 64"},
      {Replaced(32, "\"BuyFlg\":[",
                "\"BuyFlg\":" + Nested("{\"array\":[", "]}", 40000) + ",\"x\":["),
       "line", "nest deeper than 64"},
  };
  // A byte-order mark before a bad line, CRLF and LF line ends, blank and
  // white lines; one good customer holds measurements in a two-dimensional array.
  std::string file = "\xEF\xBB\xBF", good_lines, hearing_key;
  std::map<int64_t, size_t> bad_at;  // line number -> row of `bad`
  int64_t number = 0;
  auto add = [&](const std::string& text) { file += text + (++number % 2 ? "\r\n" : "\n"); };
  auto levels = [](int from) {
    json row = json::array();
    for (int point = 0; point < 11; ++point) row.push_back(std::to_string(from + 5 * point));
    return row;
  };
  for (int64_t i = 0; i < 20; ++i) {
    json good = cli::DemoCustomer(1, i);
    for (json& call : good["calls"])
      if (call.contains("SetH_DTLData") && hearing_key.empty()) {
        call["SetH_DTLData"]["Kido"] = json::array({levels(10), levels(20)});
        hearing_key = good["key"];
      }
    if (i < std::ssize(bad)) {
      add(bad[i].line);
      bad_at[number] = i;
    }
    add(good.dump());
    good_lines += good.dump() + "\n";
    if (i % 3 == 1) add(i % 2 ? " \t" : "");
  }
  ASSERT_FALSE(hearing_key.empty());
  TestDatabase database(GetParam());
  TempDir dir;
  const std::string input = (dir / "in.jsonl").string(), rejects = (dir / "rj.jsonl").string();
  std::ofstream(input, std::ios::binary) << file;
  auto run = RunKvt710({"import", input, "--db", database.connection_string(), "--rejects", rejects,
                        "--max-line-bytes", "4194304"});
  EXPECT_EQ(run.exit_code, 1) << run.err;
  EXPECT_THAT(run.out, HasSubstr("imported 20, rejected 16, "));

  const std::vector<json> entries = JsonLines(ReadText(rejects));
  ASSERT_EQ(entries.size(), bad_at.size());
  auto entry = entries.begin();
  for (const auto& [line_number, i] : bad_at) {
    SCOPED_TRACE("line " + std::to_string(line_number) + ": " + bad[i].line.substr(0, 100));
    json rest = *entry++;
    EXPECT_EQ(rest["line"], line_number);
    EXPECT_EQ(rest["key"], bad[i].call == "line" ? json() : json::parse(bad[i].line)["key"]);
    EXPECT_EQ(rest["errors"][0]["call"], bad[i].call);
    // The input as it was (the long line's start only, the NUL kept, invalid
    // UTF-8 replaced); the errors and reports short.
    const std::string text = rest["input"];
    if (bad[i].line.size() > (4 << 20)) {
      EXPECT_TRUE(text.size() < 1100u && text.substr(0, 1000) == bad[i].line.substr(0, 1000));
    } else if (bad[i].line.find('\xFF') == std::string::npos) {
      EXPECT_EQ(text, bad[i].line);
    }
    rest.erase("input");
    EXPECT_THAT(rest.dump(), HasSubstr(bad[i].words));
    EXPECT_LT(rest.dump().size(), 2000u);
  }
  // Nothing of a rejected customer is stored, all of every good one.
  TestDatabase expected(GetParam());
  EXPECT_EQ(ImportLines(expected.connection_string(), good_lines).rejected, 0);
  EXPECT_TRUE(TakeSnapshot(database) == TakeSnapshot(expected));
  // What the good ones store: the array by its subscripts, families counted, deletions marked.
  EXPECT_EQ(database.Scalar(
                "Select HOCD_KIDOR_1 || ',' || HOCD_KIDOR_11 || ',' || HOCD_KIDOL_1 || ',' || "
                "HOCD_KIDOL_2 From CHOCHODTL Where HOCD_UNIQUE_KEY = " +
                hearing_key),
            "10,60,20,25");
  EXPECT_EQ(database.Scalar("Select CUBS_FAMILY_CNT From CBASE Where CUBS_UNIQUE_KEY=10003"), "1");
  EXPECT_EQ(database.Scalar("Select CUBS_DATA_FLG From CBASE Where CUBS_UNIQUE_KEY=10013"), "2");
}

INSTANTIATE_TEST_SUITE_P(Backends, ImportHostileFiles, ::testing::ValuesIn(TestBackends()),
                         BackendName);

TEST(CliImportCommand, TheInputAndTheOldRejectsAreNeverLostAndFailuresAreNeverSuccess) {
  ScopedSettings settings;
  TempDir dir;
  TestDatabase database(Backend::kSQLite);
  const std::string db = database.connection_string(), input = (dir / "in.jsonl").string(),
                    rejects = (dir / "rj.jsonl").string(), mistyped = (dir / "shpo.db").string(),
                    link = (dir / "link.jsonl").string(), old = "{\"line\":1}\n",
                    lines = DemoLines(0, 2) + "not json\n", reject = "\"input\":\"not json\"",
                    summary = "imported 2, rejected 1",
                    none = "no such database file: " + mistyped + " (kvt710 init creates one)";
  const struct {
    std::vector<std::string> args;
    int exit_code;
    std::string out, err, rejects_after;
  } cases[] = {
      // The import never began: the old rejects stay; a mistyped database is not created.
      {{"import", input, "--db", mistyped, "--rejects", rejects}, 4, "", none, old},
      {{"import", input, "--db", db, "--rejects", input}, 2, "", "the input itself", old},
      {{"import", "-", "--db", db, "--rejects", rejects}, 2, "", "the input itself", old},
      {{"import", dir.path().string(), "--db", db}, 2, "", dir.path().string(), old},
      {{"script", dir.path().string()}, 2, "", dir.path().string(), old},
      {{"import", input, "--db", db, "--rejects", "-"}, 1, reject, summary, old},
      // After a run, the file holds exactly its rejects.
      {{"import", input, "--db", db, "--rejects", rejects}, 1, summary, "", reject},
      // A link stays a link; its target gets the rejects.
      {{"import", input, "--db", db, "--rejects", link}, 1, summary, "", reject},
  };
  std::filesystem::create_symlink(rejects, link);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[1] + " --rejects " + c.args.back());
    std::ofstream(input) << lines;
    std::ofstream(rejects) << old;
    Kvt710Process run(c.args, {}, rejects);  // standard input is the old rejects file itself
    EXPECT_EQ(run.Wait(), c.exit_code) << run.err();
    EXPECT_THAT(run.out(), HasSubstr(c.out));
    EXPECT_THAT(run.err(), HasSubstr(c.err));
    EXPECT_NE(ReadText(rejects).find(c.rejects_after), std::string::npos);
    EXPECT_EQ(ReadText(rejects).find(c.rejects_after == old ? reject : old), std::string::npos);
    EXPECT_TRUE(ReadText(input) == lines) << "the input was changed";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3)
        << "a database, a temporary file or a file named - is left";
    EXPECT_TRUE(std::filesystem::is_symlink(link));
  }
}

TEST(CliImportCommand, AFailedReadStopsAtTheLineItFailedIn) {
  struct Failing : std::streambuf {  // gives its text, then fails
    explicit Failing(std::string text) : text_(std::move(text)) {
      setg(text_.data(), text_.data(), text_.data() + text_.size());
    }
    int_type underflow() override { throw std::runtime_error("Input/output error"); }
    std::string text_;
  };
  ScopedSettings settings;
  TestDatabase database(Backend::kSQLite);
  cli::Importer importer(database.connection_string());
  Failing import_bytes(DemoLines(0, 2) + "{\"key\":"), script_bytes("{\"get\":\"b.X\"}\n");
  std::istream import_in(&import_bytes), script_in(&script_bytes);
  std::ostringstream out;
  const std::pair<std::function<void()>, std::string> runs[] = {
      {[&] { cli::ImportStream(importer, import_in, out, nullptr); }, "line 3"},
      {[&] { cli::RunScript(script_in, out); }, "line 2"}};
  for (const auto& [run, line] : runs) {
    try {
      run();
      ADD_FAILURE() << "it ended as if the input had";
    } catch (const cli::CommandError& e) {
      EXPECT_EQ(e.exit_code, 4);
      EXPECT_THAT(e.message, HasSubstr(line));
    }
  }
}

TEST(CliImportCommand, AStopSignalEndsTheImportBetweenCustomersWithItsSummaryAndRejects) {
  ScopedSettings settings;
  for (const int signal : {SIGINT, SIGTERM}) {
    TempDir dir;
    TestDatabase database(Backend::kSQLite);
    const std::string feed_file = (dir / "feed").string(), rejects = (dir / "rj.jsonl").string();
    ASSERT_EQ(mkfifo(feed_file.c_str(), 0600), 0);
    std::ofstream(rejects) << "old\n";
    Kvt710Process import(
        {"import", "-", "--db", database.connection_string(), "--rejects", rejects}, {}, feed_file);
    std::ofstream feed(feed_file);  // kept open: the import waits for line 4
    feed << DemoLines(0, 1) << "not json\n" << DemoLines(1, 2) << std::flush;
    for (int i = 0; i < 300 && database.Scalar("Select Count(*) From CBASE") != "2"; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(ReadText(rejects), "old\n");
    import.Signal(signal);
    EXPECT_EQ(import.Wait(), 128 + signal) << import.err();
    EXPECT_THAT(import.out(), HasSubstr("imported 2, rejected 1"));
    EXPECT_THAT(import.err(), HasSubstr("import again from line 4"));
    EXPECT_EQ(JsonLines(ReadText(rejects)).at(0)["line"], 2);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
  }
}

// On a terminal, without --rejects: a short line per rejected customer, the
// JSON lines in a file of the current folder named in the summary.
TEST(CliImportCommand, OnATerminalRejectsAreShortLinesAndAFile) {
  ScopedSettings settings;
  TempDir dir;
  TestDatabase database(Backend::kSQLite);
  const std::string input = (dir / "in.jsonl").string();
  // The last customer comes within the progress line's 200 ms: it is drawn all the same.
  std::ofstream(input) << "not json\n" << DemoLines(0, 2);
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (chdir(dir.path().c_str()) == 0)
      execl(KVT710_BINARY, KVT710_BINARY, "import", input.c_str(), "--db",
            database.connection_string().c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string screen;
  char buffer[4096];
  for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0;) screen.append(buffer, n);
  int status = 0;
  waitpid(pid, &status, 0);
  close(terminal);
  EXPECT_EQ(WEXITSTATUS(status), 1) << screen;
  EXPECT_THAT(screen, HasSubstr("line 1, key null: line: Not a JSON line"));
  EXPECT_THAT(screen, HasSubstr("\r3/3 customers"));  // the progress reaches the file's total
  EXPECT_EQ(screen.find("\"input\""), std::string::npos) << screen;
  const size_t named = screen.find("written to kvt710-rejects-");
  ASSERT_NE(named, std::string::npos) << screen;
  const std::string file =
      screen.substr(named + 11, screen.find_first_of(" \r\n", named + 11) - named - 11);
  EXPECT_EQ(JsonLines(ReadText((dir / file).string())).at(0)["input"], "not json");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

}  // namespace
}  // namespace kvt710
