// Connection strings: key=value rules, URIs, refusals that never repeat the
// string, redaction of every password alias; the provider registry; and how
// failures are classified for retrying.
#include "platform/db/connection_string.h"

#include "platform/db/connection.h"
#include "platform/db/providers.h"
#include "support/test_support.h"

namespace kvt710::db {
namespace {

// The message of the failure that opening `text` ends in.
std::string OpenFailure(const std::string& text) {
  const Error e = testing_support::Failure([&] { Connection::Create()->Open(text); });
  EXPECT_EQ(e.number(), err::kBadConnectionString) << text;
  return e.description();
}

TEST(ConnectionStringTest, ReadsKeysQuotesAndUris) {
  ConnectionParameters p = ParseConnectionString(
      " ;provider = SqLite ;; Data Source = /tmp/a b.db ;Password=\"x;y=z\"\"w\";"
      "User ID='it''s';Empty=;Host=a;Host= ' b ' ");
  EXPECT_EQ(p.provider, "SQLITE");
  EXPECT_EQ(p.Find("  DATA SOURCE "), "/tmp/a b.db");
  EXPECT_EQ(p.Find("Password"), "x;y=z\"w");
  EXPECT_EQ(p.Find("user id"), "it's");
  EXPECT_EQ(p.Find("Empty"), "");
  EXPECT_EQ(p.Find("Host"), " b ");  // the last of a repeated key, inner blanks kept
  EXPECT_EQ(p.Find("Port"), std::nullopt);
  EXPECT_TRUE(p.uri.empty());
  // ODBC's braces keep ";" and "}}" whole; a driver or data source without a provider is ODBC.
  p = ParseConnectionString("Driver={Maria DB; Unicode};PWD={a;b}}c} ;Server=h");
  EXPECT_EQ(p.provider, "ODBC");
  EXPECT_EQ(p.Find("Driver"), "{Maria DB; Unicode}");
  EXPECT_EQ(p.Find("pwd"), "{a;b}}c}");
  EXPECT_EQ(ParseConnectionString(" dsn = shop").provider, "ODBC");
  for (const char* uri : {"postgresql://u:pw@h:5432/db", "  postgres://h/db?sslmode=disable"}) {
    p = ParseConnectionString(uri);
    EXPECT_EQ(p.provider, "POSTGRESQL") << uri;
    EXPECT_TRUE(!p.uri.empty() && p.values.empty()) << uri;
  }
}

TEST(ConnectionStringTest, RefusesMalformedStringsWithoutRepeatingThem) {
  const std::pair<std::string, std::string> cases[] = {
      {"Data Source=/tmp/x.db;Password=hunter2", "Connection string names no provider"},
      {"Provider= ;Data Source=hunter2", "Connection string names no provider"},
      {"Provider=SQLite;Password=\"hunter2;Data Source=x", "malformed"},
      {"Provider=SQLite;Password=hunter2;stray hunter3", "malformed"},
      {"Provider=SQLite;Password='hunter2'hunter3", "malformed"},
      {"Provider=SQLite;=hunter2", "malformed"},
      {"sqlite://u:hunter2@h/x.db", "\"sqlite://\""},
      {"sqlite://u:hunter2@h/x.db", "postgresql://, postgres://"},
      {"Provider=Nowhere;Password=hunter2", "Provider cannot be found: NOWHERE"},
      {"Driver={x};Pwd={hunter2", "malformed"},
      {"DSN=x;Pwd={hunter2}hunter3", "malformed"},
      {"Provider=ODBC;Server=h;Pwd=hunter2", "names no ODBC driver or data source"},
  };
  for (const auto& [text, message] : cases) {
    const std::string failure = OpenFailure(text);
    EXPECT_NE(failure.find(message), std::string::npos) << failure;
    EXPECT_EQ(failure.find("hunter"), std::string::npos) << failure;
    EXPECT_EQ(failure.find("SQLite"), std::string::npos) << failure;
  }
}

// Each provider knows its keys, compared as it compares them, and refuses any
// other before it reaches a database.
TEST(ConnectionStringTest, RefusesAnUnknownKeyNamingTheNearestKnownOne) {
  const std::pair<std::string, std::string> cases[] = {
      {"Provider=SQLite;Data Source=:memory:;Prepared Statement=false",
       "unknown key 'Prepared Statement'; did you mean 'Prepared Statements'?"},
      {"Provider=SQLite;Data_Source=:memory:",
       "unknown key 'Data_Source'; did you mean 'Data Source'?"},
      {"Provider=SQLite;Data Source=:memory:;Password=x", "unknown key 'Password'"},
      {"Provider=PostgreSQL;Hots=h", "unknown key 'Hots'; did you mean 'Host'?"},
      {"Provider=PostgreSQL;Host=h;Pass_Wrod=x",
       "unknown key 'Pass_Wrod'; did you mean 'Password'?"},
      {"Provider=PostgreSQL;Host=h;Hxxx=x", "unknown key 'Hxxx'; this provider takes Provider, "},
  };
  for (const auto& [text, message] : cases) {
    const std::string failure = OpenFailure(text);
    EXPECT_NE(failure.find(message), std::string::npos) << failure;
    EXPECT_EQ(failure.find("did you") == failure.npos, message.find("did you") == message.npos);
  }
}

TEST(ConnectionStringTest, RedactsEveryPassword) {
  const std::pair<std::string, std::string> cases[] = {
      {"Provider=P;Host=h;Password=hunter2;User ID=u", "Provider=P;Host=h;Password=***;User ID=u"},
      {"Provider=P; pwd = 'a;b' ;Host=h", "Provider=P; pwd =***;Host=h"},
      {"Provider=P; Pass_Word =x;Pass Word=x", "Provider=P; Pass_Word =***;Pass Word=***"},
      {"Provider=P;Passwords=x;pw=x;pass%77ord=x", "Provider=P;Passwords=x;pw=x;pass%77ord=x"},
      // Parts that do not parse are hidden whole: they may hold a secret.
      {"Provider=X;Host=\"hunter2;Port=1", "Provider=X;Host=***"},
      {"Provider=X;Password=a;hunter2", "Provider=X;Password=***;***"},
      {"postgresql://u:hunter2@h:5432/db?sslmode=disable&password=x2",
       "postgresql://u:***@h:5432/db?sslmode=disable&password=***"},
      {"postgres://u@h/db?pw=x", "postgres://u@h/db?pw=x"},
      {"Driver={D};PWD={hun;ter}}2};UID=u", "Driver={D};PWD=***;UID=u"},
      {"DSN=d;Pwd={hunter2", "DSN=d;Pwd=***"},
      {"sqlite://u:hunter2@h/x.db", "sqlite://u:***@h/x.db"},
      {"postgresql://h/d?%50assword=x&Pass_Word=x&pwd=x",
       "postgresql://h/d?%50assword=***&Pass_Word=***&pwd=***"},
  };
  for (const auto& [text, redacted] : cases) EXPECT_EQ(RedactConnectionString(text), redacted);
}

TEST(ProvidersTest, AFactoryCanBeRegisteredAndRemoved) {
  int made = 0;
  EXPECT_FALSE(RegisterProvider("Test", [&] { return ++made, CreateBackend("sqlite"); }));
  Connection::Create()->Open("Provider=test;Data Source=:memory:");
  EXPECT_EQ(made, 1);
  EXPECT_EQ(ProviderNames(), (std::vector<std::string>{"ODBC", "POSTGRESQL", "SQLITE", "TEST"}));
  EXPECT_TRUE(RegisterProvider("TEST", nullptr));
  EXPECT_EQ(ProviderNames(), (std::vector<std::string>{"ODBC", "POSTGRESQL", "SQLITE"}));
  EXPECT_EQ(OpenFailure("Provider=Test"), "Provider cannot be found: TEST");
}

TEST(FailureKind, EachProvidersOwnCodes) {
  const std::pair<ProviderError, FailureKind> codes[] = {
      {{1555, "", "", "SQLite"}, FailureKind::kUniqueViolation},  // primary key
      {{2067, "", "", "SQLite"}, FailureKind::kUniqueViolation},
      {{13, "", "", "SQLite"}, FailureKind::kStorageFull},
      {{13, "Type mismatch", "", "ADODB.Connection"}, FailureKind::kOther},  // not SQLite's 13
      {{5, "database is locked", "", "SQLite"}, FailureKind::kTransient},
      {{1032, "attempt to write a readonly database", "", "SQLite"}, FailureKind::kReadOnly},
      {{14, "", "", "SQLite"}, FailureKind::kUnavailable},
      {{1, "", "", "SQLite"}, FailureKind::kOther},
      {{0, "", "40P01", "PostgreSQL"}, FailureKind::kTransient},
      {{0, "", "57P01", "PostgreSQL"}, FailureKind::kUnavailable},
      {{0, "", "08006", "PostgreSQL"}, FailureKind::kUnavailable},
      {{0, "", "23505", "PostgreSQL"}, FailureKind::kUniqueViolation},
      {{0, "", "23502", "PostgreSQL"}, FailureKind::kOther},
      {{0, "", "25006", "PostgreSQL"}, FailureKind::kReadOnly},
      // ODBC: the SQLSTATE, and the native code where the SQLSTATE is a general one.
      {{1062, "", "23000", "ODBC"}, FailureKind::kUniqueViolation},
      {{1048, "", "23000", "ODBC"}, FailureKind::kOther},  // a Null where none may be
      {{1, "", "23505", "ODBC"}, FailureKind::kUniqueViolation},
      {{1213, "", "40001", "ODBC"}, FailureKind::kTransient},
      {{0, "", "HYT00", "ODBC"}, FailureKind::kTransient},
      {{1205, "", "HY000", "ODBC"}, FailureKind::kTransient},
      {{1021, "", "HY000", "ODBC"}, FailureKind::kStorageFull},
      {{1114, "", "HY000", "ODBC"}, FailureKind::kStorageFull},
      {{1, "", "53100", "ODBC"}, FailureKind::kStorageFull},
      {{1792, "", "25006", "ODBC"}, FailureKind::kReadOnly},
      {{1290, "", "HY000", "ODBC"}, FailureKind::kReadOnly},
      {{0, "", "08S01", "ODBC"}, FailureKind::kUnavailable},
      {{2013, "", "HY000", "ODBC"}, FailureKind::kUnavailable},
      {{1927, "", "70100", "ODBC"}, FailureKind::kUnavailable},
      {{1064, "", "42000", "ODBC"}, FailureKind::kOther},
  };
  for (const auto& [error, kind] : codes) EXPECT_EQ(ClassifyFailure(error), kind) << error.number;
}

}  // namespace
}  // namespace kvt710::db
