// The two recordsets behind Connection::OpenRecordset (internal to platform/db).
#pragma once

#include <memory>
#include <string>

#include "platform/db/connection.h"

namespace kvt710::db {

// Reads every row of `query` at once, through its prepared shape when
// `shaped`; read-only. Failures go to the caller.
std::shared_ptr<Recordset> OpenStaticRecordset(std::shared_ptr<Connection> connection,
                                               const Statement& query, bool shaped);

// "SELECT cols FROM TABLE [WHERE cond]" over a table with a one-column key:
// reads the rows in pages ordered by the key, never all at once, and saves
// changes to the current row under an optimistic check. Error 3251 for any
// other shape of query.
std::shared_ptr<Recordset> OpenUpdatableRecordset(std::shared_ptr<Connection> connection,
                                                  const std::string& sql);

}  // namespace kvt710::db
