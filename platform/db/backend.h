// The interface that each database backend implements (sqlite/, postgres/).
// Nothing above platform/db sees it: logic uses Connection and Recordset.
//
// Every method throws ProviderFailure for a failure that the database
// reports and kvt710::Error for anything else. Dialect differences that the
// shared recordset code needs are virtual functions with documented defaults.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/variant.h"
#include "platform/db/connection_string.h"
#include "platform/db/errors.h"
#include "platform/db/statement.h"

namespace kvt710::db {

// A forward-only stream of rows.
class RowCursor {
 public:
  virtual ~RowCursor() = default;
  virtual const std::vector<std::string>& columns() const = 0;
  // Fills `row` with the next row's values; false at the end.
  virtual bool Next(std::vector<Variant>& row) = 0;
};

class Backend {
 public:
  virtual ~Backend() = default;

  // Throws kvt710::Error 3706 when `params` name a key that this backend does
  // not know, without opening anything. Open checks the same first.
  virtual void CheckKeys(const ConnectionParameters& params) const = 0;
  // Opens the connection. `command_timeout_seconds` 0 means no limit.
  virtual void Open(const ConnectionParameters& params, int32_t command_timeout_seconds) = 0;
  virtual bool IsOpen() const = 0;
  virtual void Close() = 0;
  // The client library this backend runs with and its version ("SQLite 3.40.1").
  virtual std::string ClientLibrary() const = 0;

  // Runs exactly one statement; a text holding a second statement is refused
  // before any of it runs.
  virtual void Execute(const std::string& sql) = 0;
  // Runs a statement that knows its shape, with the same effect as running
  // its text (the values stored identical in type and value). A backend may
  // keep the shape prepared and bind the values; by default, and for any
  // value it cannot bind as the text would, it runs the text.
  virtual void ExecuteShaped(const Statement& statement) { Execute(statement.text()); }
  // Runs statements in order, each as ExecuteShaped (when `shaped` and it has
  // a shape) or as its text, stopping at the first failure: `*done` is then
  // the number that succeeded. A backend may send them together when that
  // keeps these semantics (PostgreSQL: in a pipeline inside a transaction,
  // where a failure aborts the transaction anyway).
  virtual void ExecuteAll(const std::vector<const Statement*>& statements, bool shaped,
                          size_t* done) {
    for (*done = 0; *done < statements.size(); ++*done) {
      const Statement& s = *statements[*done];
      if (shaped && s.has_shape()) {
        ExecuteShaped(s);
      } else {
        Execute(s.text());
      }
    }
  }
  // Runs one statement with bound values (placeholders as Placeholder()
  // writes them) and returns the number of rows changed.
  virtual int64_t ExecuteBound(const std::string& sql, const std::vector<Variant>& values) = 0;
  // Runs one query; the cursor must be drained or destroyed before the next call.
  virtual std::unique_ptr<RowCursor> Query(const std::string& sql) = 0;
  virtual std::unique_ptr<RowCursor> QueryBound(const std::string& sql,
                                                const std::vector<Variant>& values) = 0;
  // Runs a query that knows its shape, as ExecuteShaped runs a statement: the
  // rows are those of its text. By default the text runs.
  virtual std::unique_ptr<RowCursor> QueryShaped(const Statement& statement) {
    return Query(statement.text());
  }

  virtual void Begin() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;

  // The key columns of `table` (upper case), empty when it has none.
  virtual std::vector<std::string> PrimaryKey(const std::string& table) = 0;
  // True when the database has a table `table`.
  virtual bool HasTable(const std::string& table) = 0;
  // The names of the indexes on `table` (upper case), the key's included.
  virtual std::vector<std::string> IndexNames(const std::string& table) = 0;
  // What the database finds wrong in its own storage, one line a problem;
  // by default nothing (a server keeps its storage itself).
  virtual std::vector<std::string> CheckStorage() { return {}; }
  // The name of the product schema's script for this database ("sqlite",
  // "postgresql", "mariadb"); empty when there is none.
  virtual std::string SchemaScript() const = 0;

  // Dialect. Placeholder for the n-th bound value (from 1): default "?".
  virtual std::string Placeholder(int n) const;
  // A comparison that is true when both sides are equal or both Null:
  // default "a IS b".
  virtual std::string NullSafeEquals(const std::string& column, const std::string& value) const;
  // `query`, which ends in its ORDER BY, cut to its first `rows` rows:
  // default "query LIMIT rows".
  virtual std::string FirstRows(const std::string& query, int rows) const;
};

// A backend that forwards every call to the backend it wraps: a test derives
// from it and overrides what it needs (counting or failing statements), and
// installs it over every backend created with WrapBackends (providers.h).
class BackendWrapper : public Backend {
 public:
  explicit BackendWrapper(std::unique_ptr<Backend> target) : target_(std::move(target)) {}
  Backend& target() const { return *target_; }

  void CheckKeys(const ConnectionParameters& params) const override;
  void Open(const ConnectionParameters& params, int32_t command_timeout_seconds) override;
  bool IsOpen() const override;
  void Close() override;
  std::string ClientLibrary() const override;
  void Execute(const std::string& sql) override;
  void ExecuteShaped(const Statement& statement) override;
  void ExecuteAll(const std::vector<const Statement*>& statements, bool shaped,
                  size_t* done) override;
  int64_t ExecuteBound(const std::string& sql, const std::vector<Variant>& values) override;
  std::unique_ptr<RowCursor> Query(const std::string& sql) override;
  std::unique_ptr<RowCursor> QueryBound(const std::string& sql,
                                        const std::vector<Variant>& values) override;
  std::unique_ptr<RowCursor> QueryShaped(const Statement& statement) override;
  void Begin() override;
  void Commit() override;
  void Rollback() override;
  std::vector<std::string> PrimaryKey(const std::string& table) override;
  bool HasTable(const std::string& table) override;
  std::vector<std::string> IndexNames(const std::string& table) override;
  std::vector<std::string> CheckStorage() override;
  std::string SchemaScript() const override;
  std::string Placeholder(int n) const override;
  std::string NullSafeEquals(const std::string& column, const std::string& value) const override;
  std::string FirstRows(const std::string& query, int rows) const override;

 private:
  std::unique_ptr<Backend> target_;
};

}  // namespace kvt710::db
