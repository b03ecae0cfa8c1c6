// The libpq connection options for a parsed connection string: either a
// "postgresql://" URI, or the ADO-style keys Host, Port, Database, User ID,
// Password, SSL Mode, Connect Timeout and Search Path (with their usual
// aliases), compared without case, blanks and underscores. Any other key is
// refused.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/db/connection_string.h"

namespace kvt710::db::postgres {

struct ConnInfo {
  // libpq keywords and values, in order; a later keyword overrides an earlier one.
  std::vector<std::pair<std::string, std::string>> options;
  // The password given, so that messages can be checked against it.
  std::string password;
};

// Throws kvt710::Error 3706 for a malformed URI or an unknown key; the
// message never repeats the URI. Defaults (connect_timeout 10 s, TCP keepalives) come first so that
// the string can change them; client_encoding UTF8 comes last and always holds.
ConnInfo BuildConnInfo(const ConnectionParameters& params);

}  // namespace kvt710::db::postgres
