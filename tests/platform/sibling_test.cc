// The sibling component's error reporter: each report reaches the listeners
// with the error list as it was at the call.
#include "platform/sibling/prw520.h"

#include <gtest/gtest.h>

#include "platform/automation/registry.h"
#include "platform/db/errors.h"
#include "tests/support/test_support.h"

namespace kvt710 {
namespace {

TEST(ErrorReporterTest, ListenersReceiveEachReportWithItsErrorList) {
  std::vector<Report> received;
  auto handle = ListenForReports([&](const Report& r) { received.push_back(r); });
  auto reporter = CreateObject("PRW520.PRW520C1");

  auto errors = std::make_shared<db::Errors>();
  errors->Add({19, "UNIQUE constraint failed", "23505", "SQLite"});
  errors->Add({5, "database is locked", "", "SQLite"});
  ReportError(*reporter, Error(-2147467259, "UNIQUE constraint failed", "SQLite"),
              Variant::String("11015"), errors, "KVT710C3.SetBaseData");
  errors->Clear();  // the report keeps the list as it was at the call

  ASSERT_EQ(received.size(), 1u);
  const Report& r = received[0];
  EXPECT_EQ(r.code, Variant::String("11015"));
  EXPECT_EQ(r.source + "|" + std::to_string(r.error_number) + "|" + r.error_description + "|" +
                r.error_source,
            "KVT710C3.SetBaseData|-2147467259|UNIQUE constraint failed|SQLite");
  ASSERT_EQ(r.errors.size(), 2u);
  EXPECT_EQ(std::to_string(r.errors[0].number) + r.errors[0].sqlstate + r.errors[1].description +
                r.errors[1].source,
            "1923505database is lockedSQLite");

  handle.reset();
  ReportError(*reporter, Error(5, "x"), Variant::String("11002"), nullptr, "KVT710C3.X");
  EXPECT_EQ(received.size(), 1u);  // nothing after the listener is gone
}

}  // namespace
}  // namespace kvt710
