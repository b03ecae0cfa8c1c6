#include "injection_harness.h"

#include <sqlite3.h>
#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>

#include "batch/KVT710C3.h"
#include "batch/statement_queue.h"
#include "catalogue/catalogue.h"
#include "component/server.h"
#include "platform/automation/error.h"
#include "platform/automation/registry.h"
#include "platform/db/connection.h"
#include "platform/db/product_schema.h"
#include "platform/db/sqlite/date_collation.h"
#include "platform/text/ascii.h"
#include "sql/table.h"

namespace kvt710::fuzz {
namespace {
namespace fs = std::filesystem;
using nlohmann::json;
using sql::Form;
using Names = std::vector<std::string>;

constexpr int32_t kRaised = INT32_MIN;  // the call raised kvt710::Error

std::function<void(const std::string&)> handler;

// At most 240 bytes as a JSON string: control bytes escaped, bad UTF-8 replaced.
std::string Shown(const std::string& sql) {
  return json(sql.substr(0, 240)).dump(-1, ' ', false, json::error_handler_t::replace);
}

bool Has(const Names& names, const std::string& name) {
  for (const std::string& n : names)
    if (text::EqualsIgnoreCase(n, name)) return true;
  return false;
}

// One argument of a call: a text in one slot, or an array of elements.
struct Arg {
  std::vector<size_t> slots;
  std::vector<std::pair<int32_t, int32_t>> at;  // each element's subscripts
  bool array = false;
};

struct Writer {
  std::string name;
  Names tables, columns;  // what its statements may touch and update
  Names defaults;         // one per slot: "1" for a key, "0" for a number
  std::vector<Arg> args;
  bool runs = false;  // Execute, DelExecute: FamilyUpdate first, then run the queue
  std::vector<std::tuple<std::string, Form, size_t>> texts;  // column, value form, slot
};

template <class P>
Writer Make(std::string name, const sql::Table<P>& table,
            const std::vector<sql::Param<P>>& params) {
  using K = typename sql::Source<P>::Kind;
  Writer w{std::move(name), {table.name}, {}, {}, {}, false, {}};
  for (const sql::Param<P>& p : params) {
    const sql::Source<P>& t = p.target;
    Arg arg{{}, {}, t.kind == K::kArray};
    if (!arg.array) arg.slots.push_back(w.defaults.size());
    if (!arg.array) w.defaults.push_back(t.kind == K::kNumber ? "0" : "");
    for (const sql::Column<P>& c : table.columns) {
      const sql::Source<P>& s = c.source;
      if (arg.array && (s.kind == K::kElement || s.kind == K::kElement2) && s.array == t.array) {
        arg.slots.push_back(w.defaults.size());
        arg.at.push_back({s.i, s.j});
        w.defaults.push_back("");
      } else if (arg.array || t.kind != K::kText || s.kind != K::kText || s.text != t.text) {
        continue;
      } else if (c.form == Form::kKey) {
        w.defaults[arg.slots[0]] = "1";
      }
      w.texts.push_back({c.name, c.form, arg.slots.back()});
    }
    w.args.push_back(std::move(arg));
  }
  for (const sql::Column<P>& c : table.columns) w.columns.push_back(c.name);
  return w;
}

// A family method: its slots of UniqueKey, DaihyoKey, KazokuKey as arguments.
Writer Method(std::string name, std::vector<size_t> slots, Names tables, Names columns, bool runs) {
  Writer w{std::move(name), std::move(tables), std::move(columns), {"1", "1", "1"}, {}, runs, {}};
  for (size_t s : slots) w.args.push_back({{s}, {}, false});
  return w;
}

const std::vector<Writer>& Writers(Family family) {
  namespace c = catalogue;
  const std::string base = c::Base().name, key = "CUBS_FAMILY_KEY", cnt = "CUBS_FAMILY_CNT";
  Names all = {base};
  for (const c::TableInfo* t : c::HistoryTables()) all.push_back(t->name);
  static const std::vector<Writer> writers[] = {
      {Make("SetBaseData", c::BaseTable(), c::BaseParamList()),
       Make("SetMENTEData", c::MenteTable(), c::MenteParamList())},
      {Make("SetG_BaseData", c::GlassesHeaderTable(), c::GlassesHeaderParamList()),
       Make("SetG_DTLData", c::GlassesDetailTable(), c::GlassesDetailParamList()),
       Make("SetC_BaseData", c::ContactHeaderTable(), c::ContactHeaderParamList()),
       Make("SetC_DTLData", c::ContactDetailTable(), c::ContactDetailParamList()),
       Make("SetH_BaseData", c::HearingHeaderTable(), c::HearingHeaderParamList()),
       Make("SetH_DTLData", c::HearingDetailTable(), c::HearingDetailParamList()),
       Make("SetUriageData", c::SalesLineTable(), c::SalesLineParamList()),
       Make("SetSYOKANData", c::CommentTable(), c::CommentParamList())},
      {Method("FamilyCnt_Update", {0}, {base}, {cnt}, false),
       Method("FamilyUpdate", {1, 2}, {base}, {key, cnt}, false),
       Method("Execute", {0}, all, {key, cnt}, true),
       Method("DelExecute", {0}, {base}, {"CUBS_DATA_FLG", key, cnt}, true)}};
  return writers[static_cast<int>(family)];
}

Names Values(const Writer& w, const uint8_t* data, size_t size) {
  Names v = w.defaults;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  rest.remove_prefix(std::min<size_t>(1, size));
  bool big_done = false;
  for (size_t start = 0; start <= rest.size();) {
    const size_t end = std::min(rest.find('\x1F', start), rest.size());
    const std::string_view field = rest.substr(start, end - start);
    start = end + 1;
    if (field.empty()) continue;
    const auto selector = static_cast<unsigned char>(field[0]);
    std::string value(field.substr(1)), big;
    if (!big_done && value.starts_with("\x1B"
                                       "BIG")) {
      big_done = true;
      value = value.size() > 4 ? value.substr(4) : "x";
      while (big.size() < (size_t{1} << 20)) big += value;
    }
    for (size_t k = 0; k < v.size(); ++k) {
      if (selector == 0xFE || (selector == 0xFF && w.defaults[k].empty()) ||
          (selector < 0xFE && k == selector % v.size())) {
        v[k] = big.empty() ? value : std::move(big);  // 1 MiB in the first slot only
        big.clear();
      }
    }
  }
  return v;
}

int32_t Call(Dispatch& batch, const Writer& w, const Names& v) {
  std::vector<Variant> args;
  for (const Arg& a : w.args) {
    if (!a.array) {
      args.push_back(Variant::String(v[a.slots[0]]));
      continue;
    }
    int32_t rows = 0, cols = 0;
    for (auto [i, j] : a.at) rows = std::max(rows, i), cols = std::max(cols, j);
    std::vector<SafeArray::Bounds> dims = {{1, rows}};
    if (cols > 0) dims.push_back({1, cols});
    auto array = std::make_shared<SafeArray>(dims);
    for (size_t k = 0; k < a.at.size(); ++k)
      (cols > 0 ? array->At(a.at[k].first, a.at[k].second) : array->At(a.at[k].first)) =
          Variant::String(v[a.slots[k]]);
    args.push_back(Variant::Array(array));
  }
  try {
    return batch.Call(w.name, std::move(args)).ToLong();
  } catch (const Error&) {
    return kRaised;
  }
}

// What each text column must read back as, by its value form.
std::vector<Text> Expect(const Writer& w, const Names& v) {
  std::vector<Text> texts;
  const std::optional<std::string> none;
  for (const auto& [column, form, slot] : w.texts) {
    const std::string& value = v[slot];
    const size_t first = value.find_first_not_of(' ');
    const bool blank = first == std::string::npos;
    const std::string trimmed =
        blank ? "" : value.substr(first, value.find_last_not_of(' ') - first + 1);
    if (form == Form::kQuotedUnchanged) texts.push_back({column, value});
    if (form == Form::kText || form == Form::kPlainText)
      texts.push_back({column, blank ? none : trimmed});
    if (form == Form::kUntrimmedPhone) texts.push_back({column, blank ? none : value});
    if (form == Form::kUntrimmedText) texts.push_back({column, value.empty() ? none : value});
    if (form == Form::kQuotedNumber) texts.push_back({column, trimmed, true});
  }
  return texts;
}

}  // namespace

// SQLite's judgement of a statement, on its own database of the real schema.
struct Judge {
  struct Event {
    int action;
    std::string table, column, database;
    bool in_trigger;
  };
  sqlite3* db = nullptr;
  std::vector<Event> events;

  explicit Judge(const fs::path& file) {
    auto connection = db::Connection::Create();
    connection->Open("Provider=SQLite;Mode=ReadWriteCreate;Data Source=" + file.string());
    db::CreateProductSchema(*connection);
    SeedRows(*connection);
    sqlite3_open(file.c_str(), &db);
    db::sqlite::RegisterDateCollation(db);
  }
  ~Judge() { sqlite3_close_v2(db); }

  static int Authorize(void* self, int action, const char* a1, const char* a2, const char* database,
                       const char* trigger) {
    static_cast<Judge*>(self)->events.push_back(
        {action, a1 ? a1 : "", a2 ? a2 : "", database ? database : "", trigger != nullptr});
    return SQLITE_OK;
  }

  // Judges `sql` and runs it in a savepoint, then on the environment's other database.
  void Check(const Environment& env, const Writer& w, const std::string& sql,
             const std::vector<Text>& texts, bool queued) {
    auto fail = [&](const std::string& what) {
      Violation(w.name + ": " + what + " in " + Shown(sql));
    };
    const auto dump = [&](json::error_handler_t h) { return json(sql).dump(-1, ' ', false, h); };
    if (sql.find('\0') != std::string::npos ||
        dump(json::error_handler_t::replace) != dump(json::error_handler_t::ignore))
      fail("not UTF-8 without NUL");
    events.clear();
    sqlite3_set_authorizer(db, &Authorize, this);
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &raw, &tail);
    sqlite3_set_authorizer(db, nullptr, nullptr);
    std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
    if (rc != SQLITE_OK || raw == nullptr)
      fail(std::string("no statement (") + sqlite3_errmsg(db) + ")");
    if (tail != sql.data() + sql.size() || sqlite3_bind_parameter_count(raw) != 0)
      fail("text after the statement, or a parameter");
    std::string table;  // the one table the statement touches
    int writes = 0;
    bool insert = false;
    Names updated;
    for (const Event& e : events) {
      if (e.in_trigger) fail("a trigger's action");
      if (e.action == SQLITE_SELECT) continue;
      if (e.action == SQLITE_FUNCTION && text::EqualsIgnoreCase(e.column, "count")) continue;
      writes += e.action == SQLITE_INSERT || e.action == SQLITE_DELETE;
      insert = insert || e.action == SQLITE_INSERT;
      if (e.action == SQLITE_UPDATE && !Has(w.columns, e.column)) fail("an update of " + e.column);
      if (e.action == SQLITE_UPDATE) updated.push_back(e.column);
      if (e.action != SQLITE_INSERT && e.action != SQLITE_DELETE && e.action != SQLITE_UPDATE &&
          e.action != SQLITE_READ)
        fail("the action " + std::to_string(e.action) + " " + e.column);
      if (table.empty()) table = e.table;
      if (!text::EqualsIgnoreCase(e.table, table) || !Has(w.tables, table) || e.database != "main")
        fail("a use of " + e.database + "." + e.table);
    }
    if (insert && events.size() != 1) fail("an INSERT that does more");
    if (writes > 1 || (writes == 1 && !updated.empty())) fail("more than one write");
    if (queued && writes == 0 && updated.empty()) fail("no write");

    sqlite3_exec(db, "SAVEPOINT judge", nullptr, nullptr, nullptr);
    int step = sqlite3_step(raw);
    while (step == SQLITE_ROW) step = sqlite3_step(raw);
    const std::string message = sqlite3_errmsg(db);
    const bool read_back =
        step == SQLITE_DONE && sqlite3_changes(db) == 1 && (insert || !updated.empty());
    // The texts of the written TEXT columns as stored (a Null where Null will do is not checked).
    std::vector<std::pair<Text, std::optional<std::string>>> stored;
    sqlite3_stmt* select = nullptr;
    const std::string query = "SELECT * FROM " + table + " ORDER BY rowid DESC LIMIT 1";
    const bool found = read_back &&
                       sqlite3_prepare_v2(db, query.c_str(), -1, &select, nullptr) == SQLITE_OK &&
                       sqlite3_step(select) == SQLITE_ROW;
    for (int k = 0; found && k < sqlite3_column_count(select); ++k) {
      const char* type = sqlite3_column_decltype(select, k);
      const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(select, k));
      for (const Text& t : texts)
        if (type && text::EqualsIgnoreCase(type, "TEXT") && (bytes || !t.or_null) &&
            text::EqualsIgnoreCase(t.column, sqlite3_column_name(select, k)) &&
            (insert || Has(updated, t.column)))
          stored.push_back({t, bytes ? std::optional<std::string>(
                                           std::string(bytes, sqlite3_column_bytes(select, k)))
                                     : std::nullopt});
    }
    sqlite3_finalize(select);
    statement.reset();
    sqlite3_exec(db, "ROLLBACK TO judge; RELEASE judge", nullptr, nullptr, nullptr);
    const int primary = step & 0xFF;
    if (step != SQLITE_DONE && primary != SQLITE_CONSTRAINT && primary != SQLITE_MISMATCH &&
        primary != SQLITE_TOOBIG)
      fail("a failure to run (" + message + ")");
    if (read_back && !found) fail("no row of " + table + " to read back");
    std::vector<Text> checked;
    for (const auto& [t, value] : stored) {
      if (value != t.value)
        fail(t.column + " reads back as " + (value ? Shown(*value) : "Null") + ", not " +
             (t.value ? Shown(*t.value) : "Null"));
      checked.push_back(t);
    }
    if (env.rerun) env.rerun(sql, table, checked);
  }
};

Outcome Run(Environment& env, Family family, const uint8_t* data, size_t size) {
  if (!env.judge) env.judge = std::make_shared<Judge>(env.dir / "judge.db");
  const std::vector<Writer>& writers = Writers(family);
  const Writer& w = writers[size > 0 ? data[0] % writers.size() : 0];
  const Names v = Values(w, data, size);
  env.batch->Call("Initialize");
  // Execute and DelExecute run in a transaction of the caller's, rolled back.
  if (w.runs) env.caller->BeginTrans();
  const fs::path trace = env.dir / "trace.jsonl";
  std::ofstream(trace, std::ios::trunc).close();
  setenv("KVT710_TRACE_SQL", trace.c_str(), 1);
  if (w.runs) Call(*env.batch, Writers(Family::kFamily)[1], v);
  const int32_t result = Call(*env.batch, w, v);
  unsetenv("KVT710_TRACE_SQL");
  if (w.runs) env.caller->errors().Clear();
  if (w.runs) env.caller->RollbackTrans();

  std::vector<std::pair<std::string, bool>> sent;  // each statement and whether it ran
  std::ifstream in(trace, std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    const json entry = json::parse(line);
    sent.push_back({entry.at("sql").get<std::string>(), entry.at("ok").get<bool>()});
  }
  Names queued;
  if (const StatementQueue* queue = dynamic_cast<KVT710C3&>(*env.batch).Queue())
    queued = queue->items();

  const bool refused = result == -1 || result == kRaised;
  if (!refused && result != 0) Violation(w.name + " returned " + std::to_string(result));
  if (refused && !w.runs && !queued.empty())
    Violation(w.name + " refused but queued " + Shown(queued.front()));
  if (refused && w.runs && !sent.empty() && sent.back().second)
    Violation(w.name + " refused after running " + Shown(sent.back().first));
  for (size_t k = 0; k < sent.size(); ++k) {
    if (!sent[k].second && (k + 1 < sent.size() || !refused))
      Violation(w.name + " went on after a failed " + Shown(sent[k].first));
    env.judge->Check(env, w, sent[k].first, {}, false);
  }
  const std::vector<Text> texts = Expect(w, v);
  for (const std::string& sql : queued) env.judge->Check(env, w, sql, texts, true);
  return {static_cast<int>(sent.size() + queued.size()), refused};
}

void Violation(const std::string& what) {
  if (handler) handler(what);
  std::fprintf(stderr, "INJECTION PROPERTY VIOLATED: %s\n", what.c_str());
  std::abort();
}

void SetViolationHandler(std::function<void(const std::string&)> h) {
  handler = std::move(h);
}

void SeedRows(db::Connection& connection) {
  connection.Execute(
      "Insert Into CBASE(CUBS_STORE_NO,CUBS_UNIQUE_KEY,CUBS_FAMILY_KEY,CUBS_DATA_FLG) Values "
      "('001',1,1,'0')");
  connection.Execute(
      "Insert Into CMENTE_T(MTRN_STORE_NO,MTRN_HT_KBN,MTRN_UNIQUE_KEY) Values ('',1,1)");
}

std::filesystem::path PrivateShop() {
  struct RemovedAtExit {
    std::string dir;
    ~RemovedAtExit() {
      std::error_code ignored;
      fs::remove_all(dir, ignored);
    }
  };
  std::string dir = (fs::temp_directory_path() / "kvt710-fuzz-XXXXXX").string();
  if (mkdtemp(dir.data()) == nullptr) Violation("set-up: no temporary folder");
  static const RemovedAtExit removed{dir};
  const std::string database = "Provider=SQLite;Data Source=" + dir + "/shop.db";
  std::ofstream(dir + "/settings.ini") << "[QTMS\\Common]\narea=1\nDBPARMC=" << database << "\n";
  setenv("KVT710_SETTINGS", (dir + "/settings.ini").c_str(), 1);
  auto connection = db::Connection::Create();
  connection->Open(database + ";Mode=ReadWriteCreate");
  db::CreateProductSchema(*connection);
  RegisterServer();
  return dir;
}

}  // namespace kvt710::fuzz
