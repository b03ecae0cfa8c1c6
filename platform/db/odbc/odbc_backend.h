// The ODBC backend, on the driver manager (unixODBC): "Provider=ODBC;
// Driver={NAME};Server=...;..." or "Provider=ODBC;DSN=NAME;...", and the
// bare ODBC form "Driver={NAME};..." that names no provider. Every key but
// the provider, "Prepared Statements" and "Mode" goes to SQLDriverConnect
// as written; the driver judges them. "Mode=ReadOnly" makes the session
// read-only.
//
// The database behind the driver must be one whose dialect this backend
// knows (odbc_dialect.h, by SQL_DBMS_NAME); any other is refused at Open.
// Failures carry the driver's SQLSTATE, native code and message, with the
// source "ODBC".
#pragma once

#include <memory>

#include "platform/db/backend.h"
#include "platform/db/errors.h"

namespace kvt710::db {

std::unique_ptr<Backend> NewOdbcBackend();
// Classifies a failure of this backend by its SQLSTATE, and by the native
// codes of the database systems it knows where the SQLSTATE is a general one.
FailureKind ClassifyOdbcFailure(const ProviderError& error);

}  // namespace kvt710::db
