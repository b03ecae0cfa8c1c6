// "ADODB.Connection" and its Errors and Recordset objects used late-bound, as
// the host script and the sibling component's stand-in use them.
#include <gtest/gtest.h>

#include "platform/automation/error.h"
#include "platform/automation/registry.h"
#include "platform/automation/safe_array.h"
#include "platform/db/connection.h"
#include "support/test_support.h"

namespace kvt710::db {
namespace {

TEST(DbDispatchTest, ConnectionWorksLateBound) {
  testing_support::TestDatabase db(testing_support::Backend::kSQLite);
  std::shared_ptr<Dispatch> cn = CreateObject("ADODB.Connection");
  cn->Put("ConnectionString", Variant::String(db.connection_string() + ";Password=hunter2"));
  cn->Put("CommandTimeout", Variant::Long(0));
  EXPECT_EQ(cn->Get("CommandTimeout"), Variant::Long(0));
  EXPECT_EQ(cn->Get("ConnectionString").ToString().find("hunter2"), std::string::npos);
  cn->Put("ConnectionString", Variant::String(db.connection_string()));  // SQLite takes no password
  EXPECT_EQ(cn->Get("State"), Variant::Long(kStateClosed));
  cn->Call("Open",
           {Variant::String(""), Variant::String(""), Variant::String(""), Variant::Long(-1)});
  EXPECT_EQ(cn->Get("state"), Variant::Long(kStateOpen));

  EXPECT_EQ(cn->Call("BeginTrans"), Variant::Long(1));
  EXPECT_TRUE(cn->Call("Execute", {Variant::String("Insert Into CBASE(CUBS_UNIQUE_KEY) Values (5)"),
                                   Variant::Missing(), Variant::Long(1)})
                  .IsEmpty());
  std::vector<Variant> args = {Variant::String("Update CBASE Set CUBS_DATA_FLG = 2 "),
                               Variant::Long(0), Variant::Long(-1)};
  cn->Invoke("Execute", InvokeKind::kMethod, args);
  EXPECT_EQ(args[1], Variant::Long(1));  // records affected, by reference

  Variant rs = cn->Call("Execute", {Variant::String(" select Count(*) As CNT From CBASE")});
  ASSERT_TRUE(rs.IsObject());
  EXPECT_EQ(rs.ToObject()->Call("Fields", {Variant::String("cnt")}).ToObject()->Get("Value"),
            Variant::Long(1));
  EXPECT_EQ(rs.ToObject()->Get("EOF"), Variant::Boolean(false));
  cn->Call("RollbackTrans");
  EXPECT_EQ(db.Scalar("SELECT Count(*) FROM CBASE"), "0");

  EXPECT_THROW(cn->Call("Execute", {Variant::String("Delete From CGLASBS Where GLS_UNIQUE_KEY=")}),
               Error);
  std::shared_ptr<Dispatch> errors = cn->Get("Errors").ToObject();
  ASSERT_EQ(errors->Get("Count"), Variant::Long(1));
  std::shared_ptr<Dispatch> first = errors->Call("Item", {Variant::Long(0)}).ToObject();
  EXPECT_EQ(first->Get("Number"), Variant::Long(1));
  EXPECT_EQ(first->Get("Description"), Variant::String("incomplete input"));
  EXPECT_EQ(first->Get("SQLState"), Variant::String(""));
  EXPECT_EQ(first->Get("Source"), Variant::String("SQLite"));
  EXPECT_THROW(errors->Call("Item", {Variant::Long(1)}), Error);
  errors->Call("Clear");
  EXPECT_EQ(errors->Get("Count"), Variant::Long(0));

  cn->Call("Close");
  EXPECT_EQ(cn->Get("State"), Variant::Long(kStateClosed));
}

TEST(DbDispatchTest, RecordsetFieldsAndGetRows) {
  testing_support::TestDatabase db(testing_support::Backend::kSQLite);
  auto cn = db.Connect();
  cn->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY,CUBS_STORE_NO) Values (1,'012')");
  cn->Execute("Insert Into CBASE(CUBS_UNIQUE_KEY,CUBS_STORE_NO) Values (2,Null)");

  auto updatable = cn->OpenRecordset("SELECT CUBS_STORE_NO, CUBS_DATA_FLG FROM CBASE",
                                     CursorType::kDynamic, LockType::kOptimistic);
  std::shared_ptr<Dispatch> field =
      updatable->Call("Fields", {Variant::String("CUBS_DATA_FLG")}).ToObject();
  field->Put("Value", Variant::Integer(2));
  updatable->Call("Update");
  EXPECT_EQ(updatable->Call("Fields", {Variant::Long(0)}).ToObject()->Get("Value"),
            Variant::String("012"));
  EXPECT_THROW(updatable->Call("Fields", {Variant::String("NOPE")}), Error);

  auto rs = cn->OpenRecordset(
      "SELECT CUBS_UNIQUE_KEY, CUBS_STORE_NO, CUBS_DATA_FLG FROM CBASE "
      "ORDER BY 1",
      CursorType::kStatic, LockType::kReadOnly);
  std::shared_ptr<SafeArray> rows = rs->Call("GetRows").ToArray();
  ASSERT_EQ(rows->dims(), 2);
  EXPECT_EQ(rows->bounds(1).count(), 3);  // fields first
  EXPECT_EQ(rows->bounds(2).count(), 2);
  EXPECT_EQ(rows->At(1, 0), Variant::String("012"));
  EXPECT_EQ(rows->At(2, 0), Variant::Long(2));
  EXPECT_TRUE(rows->At(1, 1).IsNull());
  EXPECT_EQ(rs->Get("EOF"), Variant::Boolean(true));
}

}  // namespace
}  // namespace kvt710::db
