// A minimal host of the component: it creates the tables in an SQLite file,
// creates a batch object whose settings point at that file, writes one
// customer's comment, runs Execute on its own connection and reads the
// comment back, once through the typed API and once late-bound.
//
//   kvt710_host PATH.db
#include <iostream>
#include <string>

#include <kvt710/batch/KVT710C3.h>
#include <kvt710/component/server.h>
#include <kvt710/platform/automation/registry.h>
#include <kvt710/platform/db/connection.h>
#include <kvt710/platform/db/product_schema.h>
#include <kvt710/platform/settings/settings.h>

namespace {

std::string StoredComment(kvt710::db::Connection& connection, const std::string& key) {
  auto rows =
      connection.OpenRecordset("Select CMNT_COMMENT_1 From CSYOKN Where CMNT_UNIQUE_KEY=" + key,
                               kvt710::db::CursorType::kStatic, kvt710::db::LockType::kReadOnly);
  return rows->Eof() ? std::string("(none)") : rows->Field("CMNT_COMMENT_1").ToString();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: kvt710_host PATH.db\n";
    return 2;
  }
  const std::string database = std::string("Provider=SQLite;Data Source=") + argv[1];
  try {
    kvt710::RegisterServer();

    // The host's own connection: every write of the batch object runs on it.
    // It creates the file when missing; the batch object's connection need not.
    auto connection = kvt710::db::Connection::Create();
    connection->Open(database + ";Mode=ReadWriteCreate");
    kvt710::db::CreateProductSchema(*connection);

    // Typed: the settings name the database ("area" 1 takes DBPARMC).
    auto batch = kvt710::KVT710C3::Create(kvt710::Settings::WithValues(
        {{kvt710::kCommonSection, "area", "1"}, {kvt710::kCommonSection, "DBPARMC", database}}));
    if (batch->DBStatus() != kvt710::emDbNomal) {
      std::cerr << "the batch object has no database: " << batch->DBStatusString() << "\n";
      return 1;
    }
    batch->SetDBCon(connection);
    batch->Initialize();
    kvt710::CommentParams comment{"001", "1203", "Prefers thin frames", ""};
    if (batch->SetSYOKANData(comment) != 0) return 1;
    connection->BeginTrans();
    batch->Execute("1203");
    connection->CommitTrans();
    std::cout << "typed: " << StoredComment(*connection, "1203") << "\n";

    // Late-bound, as an automation host calls it: the created object reads
    // the per-user settings, so this one gets its connection from DBCon only.
    auto late = kvt710::CreateObject("KVT710.KVT710C3");
    late->PutRef("DBCon", kvt710::Variant::Object(connection));
    late->Call("Initialize");
    late->Call("SetSYOKANData", {kvt710::Variant::String("001"), kvt710::Variant::String("1204"),
                                 kvt710::Variant::String("Follow-up in March")});
    late->Call("Execute", {kvt710::Variant::String("1204")});
    std::cout << "late-bound: " << StoredComment(*connection, "1204") << "\n";
  } catch (const kvt710::Error& e) {
    std::cerr << "kvt710 error " << e.number() << ": " << e.description() << "\n";
    return 1;
  }
  return 0;
}
