// The PostgreSQL backend, on libpq. Every connection runs with client_encoding
// UTF8, standard_conforming_strings on and DateStyle "ISO, YMD" (so that
// '2016/07/04' and '20100101' read as dates), and sends each text through the
// extended protocol, which refuses a second statement in one text.
//
// A connection whose server went away fails the operation with SQLSTATE 08006
// (or the server's own code) and is no longer open; it never hangs on a dead
// peer for longer than the TCP keepalive limit.
#pragma once

#include <memory>

#include "platform/db/backend.h"
#include "platform/db/errors.h"

namespace kvt710::db {

std::unique_ptr<Backend> NewPostgresBackend();
// Classifies a failure of this backend by its SQLSTATE.
FailureKind ClassifyPostgresFailure(const ProviderError& error);

}  // namespace kvt710::db
