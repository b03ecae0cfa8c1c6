// The SQL trace: when KVT710_TRACE_SQL names a file, every command text sent
// to a database is appended to it as one JSON line {"sql": TEXT, "ok": BOOL}.
//
// The file is opened once per process and again only when the variable's
// value changes. Each line is one append-mode write, so lines of several
// connections, threads and processes never interleave; a trace that cannot
// be opened or written is skipped. Thread-safe.
#pragma once

#include <string>

namespace kvt710::db {

void TraceStatement(const std::string& sql, bool ok);

}  // namespace kvt710::db
