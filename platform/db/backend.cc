#include "platform/db/backend.h"

namespace kvt710::db {

std::string Backend::Placeholder(int /*n*/) const {
  return "?";
}

std::string Backend::NullSafeEquals(const std::string& column, const std::string& value) const {
  return column + " IS " + value;
}

std::string Backend::FirstRows(const std::string& query, int rows) const {
  return query + " LIMIT " + std::to_string(rows);
}

void BackendWrapper::CheckKeys(const ConnectionParameters& params) const {
  target_->CheckKeys(params);
}
void BackendWrapper::Open(const ConnectionParameters& params, int32_t command_timeout_seconds) {
  target_->Open(params, command_timeout_seconds);
}
bool BackendWrapper::IsOpen() const {
  return target_->IsOpen();
}
void BackendWrapper::Close() {
  target_->Close();
}
std::string BackendWrapper::ClientLibrary() const {
  return target_->ClientLibrary();
}
void BackendWrapper::Execute(const std::string& sql) {
  target_->Execute(sql);
}
void BackendWrapper::ExecuteShaped(const Statement& statement) {
  target_->ExecuteShaped(statement);
}
void BackendWrapper::ExecuteAll(const std::vector<const Statement*>& statements, bool shaped,
                                size_t* done) {
  target_->ExecuteAll(statements, shaped, done);
}
int64_t BackendWrapper::ExecuteBound(const std::string& sql, const std::vector<Variant>& values) {
  return target_->ExecuteBound(sql, values);
}
std::unique_ptr<RowCursor> BackendWrapper::Query(const std::string& sql) {
  return target_->Query(sql);
}
std::unique_ptr<RowCursor> BackendWrapper::QueryBound(const std::string& sql,
                                                      const std::vector<Variant>& values) {
  return target_->QueryBound(sql, values);
}
std::unique_ptr<RowCursor> BackendWrapper::QueryShaped(const Statement& statement) {
  return target_->QueryShaped(statement);
}
void BackendWrapper::Begin() {
  target_->Begin();
}
void BackendWrapper::Commit() {
  target_->Commit();
}
void BackendWrapper::Rollback() {
  target_->Rollback();
}
std::vector<std::string> BackendWrapper::PrimaryKey(const std::string& table) {
  return target_->PrimaryKey(table);
}
bool BackendWrapper::HasTable(const std::string& table) {
  return target_->HasTable(table);
}
std::vector<std::string> BackendWrapper::IndexNames(const std::string& table) {
  return target_->IndexNames(table);
}
std::vector<std::string> BackendWrapper::CheckStorage() {
  return target_->CheckStorage();
}
std::string BackendWrapper::SchemaScript() const {
  return target_->SchemaScript();
}
std::string BackendWrapper::FirstRows(const std::string& query, int rows) const {
  return target_->FirstRows(query, rows);
}
std::string BackendWrapper::Placeholder(int n) const {
  return target_->Placeholder(n);
}
std::string BackendWrapper::NullSafeEquals(const std::string& column,
                                           const std::string& value) const {
  return target_->NullSafeEquals(column, value);
}

}  // namespace kvt710::db
