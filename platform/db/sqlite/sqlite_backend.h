// The SQLite backend: "Provider=SQLite;Data Source=PATH[;Mode=ReadOnly]".
// PATH ":memory:" opens a private in-memory database.
//
// Every connection runs in WAL mode (files only) with synchronous=NORMAL,
// waits up to five seconds for a lock held by another connection (a fixed
// busy timeout; the command timeout is not applied), and registers the
// KVTDATE collation that the schema's date columns use. BeginTrans starts
// "BEGIN IMMEDIATE" so that a transaction that reads before it writes cannot
// fail later when it upgrades its lock.
#pragma once

#include <memory>

#include "platform/db/backend.h"

namespace kvt710::db {

std::unique_ptr<Backend> NewSqliteBackend();

}  // namespace kvt710::db
