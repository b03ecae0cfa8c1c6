// The SQLite backend: "Provider=SQLite;Data Source=PATH[;Mode=M]", M ReadWrite
// (the default: the file must exist), ReadWriteCreate or ReadOnly.
// PATH ":memory:" opens a private in-memory database.
//
// Every connection runs in WAL mode (files only) with synchronous=NORMAL,
// waits up to five seconds for a lock held by another connection (a fixed
// busy timeout; the command timeout is not applied), and registers the
// KVTDATE collation that the schema's date columns use. BeginTrans starts
// "BEGIN IMMEDIATE" so that a transaction that reads before it writes cannot
// fail later when it upgrades its lock. "Max Page Count=N" caps the file at N
// pages (PRAGMA max_page_count on this connection): a write beyond fails as a
// full disk would, "database or disk is full".
#pragma once

#include <memory>

#include "platform/db/backend.h"
#include "platform/db/errors.h"

namespace kvt710::db {

std::unique_ptr<Backend> NewSqliteBackend();
// Classifies a failure of this backend by its (extended) result code.
FailureKind ClassifySqliteFailure(const ProviderError& error);

}  // namespace kvt710::db
