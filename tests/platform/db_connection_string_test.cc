// Connection strings: ADO's key=value rules, URIs, redaction, and the
// provider registry that the parsed provider name selects from (replaceable
// in tests).
#include <gtest/gtest.h>

#include "platform/automation/error.h"
#include "platform/db/connection.h"
#include "platform/db/connection_string.h"
#include "platform/db/providers.h"
#include "support/test_support.h"

namespace kvt710::db {
namespace {

// The error of `text`, which must fail to parse.
Error ParseFailure(const std::string& text) {
  try {
    ParseConnectionString(text);
  } catch (const Error& e) {
    return e;
  }
  ADD_FAILURE() << "accepted: " << text;
  return Error(0, "");
}

TEST(ConnectionStringTest, ReadsKeysAndValuesByAdoRules) {
  ConnectionParameters p = ParseConnectionString(
      " ;provider = SqLite ;; Data Source = /tmp/a b.db ;Password=\"x;y=z\"\"w\";"
      "User ID='it''s';Empty=;");
  EXPECT_EQ(p.provider, "SQLITE");
  EXPECT_EQ(p.Find("data source"), "/tmp/a b.db");
  EXPECT_EQ(p.Find("  DATA SOURCE "), "/tmp/a b.db");
  EXPECT_EQ(p.Find("Password"), "x;y=z\"w");
  EXPECT_EQ(p.Find("user id"), "it's");
  EXPECT_EQ(p.Find("Empty"), "");
  EXPECT_EQ(p.Find("Host"), std::nullopt);
  EXPECT_TRUE(p.uri.empty());

  // A quoted value keeps its inner blanks; the last of a repeated key wins.
  p = ParseConnectionString("Provider=PostgreSQL;Host=a;Host= ' b ' ");
  EXPECT_EQ(p.provider, "POSTGRESQL");
  EXPECT_EQ(p.Find("Host"), " b ");

  for (const char* uri : {"postgresql://u:pw@h:5432/db", "  postgres://h/db?sslmode=disable"}) {
    p = ParseConnectionString(uri);
    EXPECT_EQ(p.provider, "POSTGRESQL") << uri;
    EXPECT_FALSE(p.uri.empty()) << uri;
    EXPECT_TRUE(p.values.empty()) << uri;
  }
}

TEST(ConnectionStringTest, RefusesMalformedStringsWithoutRepeatingThem) {
  Error missing = ParseFailure("Data Source=/tmp/x.db;Password=hunter2");
  EXPECT_EQ(missing.number(), err::kBadConnectionString);
  EXPECT_EQ(missing.description(), "Connection string names no provider");
  EXPECT_EQ(ParseFailure("Provider= ;Data Source=x").description(),
            "Connection string names no provider");

  for (const char* text :
       {"Provider=SQLite;Password=\"hunter2;Data Source=x",
        "Provider=SQLite;Password=hunter2;stray hunter3",
        "Provider=SQLite;Password='hunter2'hunter3", "Provider=SQLite;=hunter2"}) {
    Error e = ParseFailure(text);
    EXPECT_EQ(e.number(), err::kBadConnectionString) << text;
    EXPECT_NE(e.description().find("malformed"), std::string::npos) << e.description();
    EXPECT_EQ(e.description().find("hunter"), std::string::npos) << e.description();
    EXPECT_EQ(e.description().find("SQLite"), std::string::npos) << e.description();
  }
  // A scheme of no provider is named with the schemes there are.
  const std::string scheme = ParseFailure("sqlite://u:hunter2@h/x.db").description();
  EXPECT_NE(scheme.find("\"sqlite://\""), std::string::npos) << scheme;
  EXPECT_NE(scheme.find("postgresql://, postgres://"), std::string::npos) << scheme;
  EXPECT_EQ(scheme.find("hunter2"), std::string::npos) << scheme;
}

// Each provider knows its keys, compared as it compares them, and refuses any
// other before it reaches a database.
TEST(ConnectionStringTest, RefusesAnUnknownKeyNamingTheNearestKnownOne) {
  const struct {
    const char* text;
    const char* message;
  } cases[] = {
      {"Provider=SQLite;Data Source=:memory:;Prepared Statement=false",
       "unknown key 'Prepared Statement'; did you mean 'Prepared Statements'?"},
      {"Provider=SQLite;Data_Source=:memory:",
       "unknown key 'Data_Source'; did you mean 'Data Source'?"},
      {"Provider=SQLite;Data Source=:memory:;Password=x", "unknown key 'Password'"},
      {"Provider=PostgreSQL;Hots=h", "unknown key 'Hots'; did you mean 'Host'?"},
      {"Provider=PostgreSQL;Host=h;Databse=d", "unknown key 'Databse'; did you mean 'Database'?"},
      {"Provider=PostgreSQL;Host=h;Pass_Wrod=x",
       "unknown key 'Pass_Wrod'; did you mean 'Password'?"},
  };
  for (const auto& c : cases) {
    try {
      Connection::Create()->Open(c.text);
      ADD_FAILURE() << "opened: " << c.text;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), err::kBadConnectionString) << c.text;
      EXPECT_NE(e.description().find(c.message), std::string::npos) << e.description();
    }
  }
}

TEST(ConnectionStringTest, RedactsEveryPassword) {
  EXPECT_EQ(RedactConnectionString("Provider=PostgreSQL;Host=h;Password=hunter2;User ID=u"),
            "Provider=PostgreSQL;Host=h;Password=***;User ID=u");
  EXPECT_EQ(RedactConnectionString("Provider=X; pwd = 'a;b' ;Host=h"),
            "Provider=X; pwd =***;Host=h");
  EXPECT_EQ(RedactConnectionString("Provider=SQLite;Data Source=/tmp/x.db"),
            "Provider=SQLite;Data Source=/tmp/x.db");
  EXPECT_EQ(RedactConnectionString("postgresql://u:hunter2@h:5432/db?sslmode=disable&password=x2"),
            "postgresql://u:***@h:5432/db?sslmode=disable&password=***");
  EXPECT_EQ(RedactConnectionString("postgres://u@h/db"), "postgres://u@h/db");
  EXPECT_EQ(RedactConnectionString("sqlite://u:hunter2@h/x.db"), "sqlite://u:***@h/x.db");
  // The password under every alias the provider takes.
  for (const char* key : {"Password", "pwd", " Pass_Word ", "Pass Word", "P_W_D", "PASS_word"}) {
    EXPECT_TRUE(IsPasswordKey(key)) << key;
    EXPECT_EQ(RedactConnectionString(std::string("Provider=PostgreSQL;") + key + "=hunter2;Host=h"),
              std::string("Provider=PostgreSQL;") + key + "=***;Host=h");
  }
  for (const char* key : {"pass%77ord", "%50assword", "Pass_Word", "pwd"}) {
    EXPECT_TRUE(IsPasswordKey(key, true)) << key;
    EXPECT_EQ(RedactConnectionString(std::string("postgresql://h/d?") + key + "=hunter2&a=b"),
              std::string("postgresql://h/d?") + key + "=***&a=b");
  }
  for (const char* key : {"User ID", "Passwords", "pw", "pass%77ord", "Data Source"})
    EXPECT_FALSE(IsPasswordKey(key)) << key;
  // Strings that do not parse still hide whatever might be a secret.
  for (const char* text :
       {"Provider=X;Password=\"hunter2;Host=h", "Provider=X;Password=a;hunter2"}) {
    const std::string redacted = RedactConnectionString(text);
    EXPECT_EQ(redacted.find("hunter2"), std::string::npos) << redacted;
    EXPECT_NE(redacted.find("Provider=X"), std::string::npos) << redacted;
  }
}

// Counts the statements sent through it; all else is the wrapped backend's.
class CountingBackend : public BackendWrapper {
 public:
  CountingBackend(std::unique_ptr<Backend> target, int* executed)
      : BackendWrapper(std::move(target)), executed_(executed) {}
  void Execute(const std::string& sql) override {
    ++*executed_;
    BackendWrapper::Execute(sql);
  }

 private:
  int* executed_;
};

TEST(ProvidersTest, FactoriesAndWrappersCanBeReplacedAndRestored) {
  testing_support::TempDir dir;
  const std::string file = (dir / "t.db").string();
  const auto unknown = [](const std::string& provider) {
    try {
      CreateBackend(provider);
    } catch (const Error& e) {
      return e.number() == err::kBadConnectionString &&
             e.description() == "Provider cannot be found: " + provider;
    }
    return false;
  };
  const std::vector<std::string> stock = {"POSTGRESQL", "SQLITE"};
  EXPECT_EQ(ProviderNames(), stock);
  EXPECT_TRUE(unknown("Test"));

  // A factory registered by name serves the connection strings naming it, in any case.
  int made = 0;
  EXPECT_FALSE(RegisterProvider("Test", [&] {
    ++made;
    return CreateBackend("sqlite");
  }));
  auto registered = Connection::Create();
  registered->Open("Provider=test;Data Source=" + file + ";Mode=ReadWriteCreate");
  registered->Execute("CREATE TABLE T (A)");
  EXPECT_EQ(made, 1);
  EXPECT_EQ(ProviderNames(), (std::vector<std::string>{"POSTGRESQL", "SQLITE", "TEST"}));
  const BackendFactory previous = RegisterProvider("TEST", nullptr);
  EXPECT_TRUE(previous);
  EXPECT_TRUE(unknown("Test"));
  EXPECT_EQ(ProviderNames(), stock);

  // Every backend created while a wrap is installed goes through it, until it is removed.
  int executed = 0;
  EXPECT_FALSE(WrapBackends([&](std::unique_ptr<Backend> backend) {
    return std::make_unique<CountingBackend>(std::move(backend), &executed);
  }));
  auto wrapped = Connection::Create();
  wrapped->Open("Provider=SQLite;Data Source=" + file);
  wrapped->Execute("INSERT INTO T VALUES (1)");
  EXPECT_TRUE(WrapBackends(nullptr));
  auto plain = Connection::Create();
  plain->Open("Provider=SQLite;Data Source=" + file);
  plain->Execute("INSERT INTO T VALUES (2)");
  wrapped->Execute("INSERT INTO T VALUES (3)");
  EXPECT_EQ(executed, 2);
  auto rows = wrapped->OpenRecordset("SELECT COUNT(*) AS N FROM T", CursorType::kStatic,
                                     LockType::kReadOnly);
  EXPECT_EQ(rows->Field("N").ToLong(), 3);
}

}  // namespace
}  // namespace kvt710::db
