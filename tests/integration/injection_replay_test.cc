// The writers' injection property over the fuzz targets' seed corpus,
// through the late-bound layer on each backend. On PostgreSQL the server
// runs every statement again and every text is read back byte for byte.
#include <stdexcept>

#include "platform/automation/registry.h"
#include "platform/db/connection.h"
#include "test_support.h"
#include "tests/fuzz/injection_harness.h"

namespace kvt710 {
namespace {

using testing_support::Backend;

class InjectionReplay : public ::testing::TestWithParam<Backend> {};

TEST_P(InjectionReplay, EveryCorpusInputKeepsTheProperty) {
  testing_support::TestDatabase database(GetParam());
  fuzz::SeedRows(*database.Connect());
  testing_support::ScopedSettings settings;
  settings.UseConnection(database.connection_string());
  testing_support::TempDir dir;
  fuzz::Environment env{CreateObject("KVT710.KVT710C3"), database.Connect(), dir.path(), {}, {}};
  env.batch->PutRef("DBCon", Variant::Object(env.caller));
  const std::shared_ptr<db::Connection> server = database.Connect();
  // The server runs each statement in a transaction it rolls back: a refusal
  // must be a constraint or a value it cannot hold, and the row holds the texts.
  if (GetParam() == Backend::kPostgreSQL)
    env.rerun = [&](const std::string& sql, const std::string& table,
                    const std::vector<fuzz::Text>& texts) {
      server->BeginTrans();
      try {
        server->Execute(sql);
        auto rs = server->OpenRecordset(
            "Select * From " + table + " Where xmin = pg_current_xact_id()::xid",
            db::CursorType::kStatic, db::LockType::kReadOnly);
        for (const fuzz::Text& t : texts) {
          const Variant value = rs->Eof() ? Variant::Null() : rs->Field(t.column);
          EXPECT_EQ(value.IsNull() ? std::nullopt : std::optional(value.ToString()), t.value)
              << t.column << " after " << sql.substr(0, 300);
        }
      } catch (const Error& error) {
        const auto& list = server->errors().list();
        const std::string state = list.empty() ? "" : list.back().sqlstate.substr(0, 2);
        EXPECT_TRUE(state == "22" || state == "23" || state == "54") << error.description() << sql;
      }
      server->errors().Clear();
      server->RollbackTrans();
    };
  fuzz::SetViolationHandler([](const std::string& what) { throw std::runtime_error(what); });
  for (const auto& [family, folder] : {std::pair{fuzz::Family::kMaster, "master"},
                                       {fuzz::Family::kHistory, "history"},
                                       {fuzz::Family::kFamily, "family"}}) {
    fuzz::Outcome total;
    size_t inputs = 0;
    const auto root = std::filesystem::path(KVT710_SOURCE_DIR) / "tests/fuzz/corpus" / folder;
    for (const auto& file : std::filesystem::directory_iterator(root)) {
      const std::string data = testing_support::ReadSourceFile(
          std::string("tests/fuzz/corpus/") + folder + "/" + file.path().filename().string());
      try {
        const fuzz::Outcome o =
            fuzz::Run(env, family, reinterpret_cast<const uint8_t*>(data.data()), data.size());
        total.statements += o.statements, total.refused += o.refused, ++inputs;
      } catch (const std::runtime_error& e) {
        ADD_FAILURE() << file.path() << ": " << e.what();
      }
    }
    EXPECT_GE(inputs, 50u) << folder;
    EXPECT_GT(total.statements, static_cast<int>(inputs / 2)) << folder;
    EXPECT_GT(total.refused, 0) << folder;
  }
  fuzz::SetViolationHandler({});
}

INSTANTIATE_TEST_SUITE_P(Backends, InjectionReplay,
                         ::testing::ValuesIn(testing_support::TestBackends()),
                         testing_support::BackendName);

}  // namespace
}  // namespace kvt710
