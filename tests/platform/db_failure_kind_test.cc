// How failures are classified for retrying: real SQLite failures land in
// their kinds, and each provider's codes are read only for its own errors.
#include <gtest/gtest.h>

#include "platform/automation/error.h"
#include "platform/db/connection.h"
#include "platform/db/providers.h"
#include "support/test_support.h"

namespace kvt710::db {
namespace {

using testing_support::TempDir;

FailureKind KindOfLastFailure(Connection& connection) {
  EXPECT_FALSE(connection.errors().list().empty());
  return connection.errors().list().empty() ? FailureKind::kOther
                                            : ClassifyFailure(connection.errors().list().back());
}

TEST(FailureKind, SqliteFailuresOfADuplicateKeyAFullFileAndBadSql) {
  TempDir dir;
  auto cn = Connection::Create();
  cn->Open("Provider=SQLite;Data Source=" + (dir / "kinds.db").string() +
           ";Mode=ReadWriteCreate;Max Page Count=8");
  cn->Execute("Create Table T (K integer primary key, V text)");
  cn->Execute("Create Table U (V text unique)");
  cn->Execute("Insert Into T Values (1, 'a')");
  EXPECT_THROW(cn->Execute("Insert Into T Values (1, 'b')"), Error);
  EXPECT_EQ(KindOfLastFailure(*cn), FailureKind::kUniqueViolation);
  cn->Execute("Insert Into U Values ('x')");
  EXPECT_THROW(cn->Execute("Insert Into U Values ('x')"), Error);
  EXPECT_EQ(KindOfLastFailure(*cn), FailureKind::kUniqueViolation);
  EXPECT_THROW(cn->Execute("Insert Into T (V) Values (printf('%.65536c', 'x'))"), Error);
  EXPECT_EQ(KindOfLastFailure(*cn), FailureKind::kStorageFull);
  EXPECT_THROW(cn->Execute("Select Nothing From Nowhere"), Error);
  EXPECT_EQ(KindOfLastFailure(*cn), FailureKind::kOther);
}

TEST(FailureKind, CodesAreReadOnlyForTheirOwnProvider) {
  // 13 is a full SQLite file, and also automation's type mismatch.
  EXPECT_EQ(ClassifyFailure({13, "", "", "SQLite"}), FailureKind::kStorageFull);
  EXPECT_EQ(ClassifyFailure({13, "Type mismatch", "", "ADODB.Connection"}), FailureKind::kOther);
  EXPECT_EQ(ClassifyFailure({5, "database is locked", "", "SQLite"}), FailureKind::kTransient);
  EXPECT_EQ(ClassifyFailure({0, "", "40P01", "PostgreSQL"}), FailureKind::kTransient);
  EXPECT_EQ(ClassifyFailure({0, "", "57P01", "PostgreSQL"}), FailureKind::kUnavailable);
  EXPECT_EQ(ClassifyFailure({0, "", "08006", "PostgreSQL"}), FailureKind::kUnavailable);
  EXPECT_EQ(ClassifyFailure({0, "", "23505", "PostgreSQL"}), FailureKind::kUniqueViolation);
  EXPECT_EQ(ClassifyFailure({0, "", "23502", "PostgreSQL"}), FailureKind::kOther);
  EXPECT_EQ(ClassifyFailure({1032, "attempt to write a readonly database", "", "SQLite"}),
            FailureKind::kReadOnly);
  EXPECT_EQ(ClassifyFailure({0, "", "25006", "PostgreSQL"}), FailureKind::kReadOnly);
}

}  // namespace
}  // namespace kvt710::db
