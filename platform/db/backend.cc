#include "platform/db/backend.h"

namespace kvt710::db {

std::string Backend::Placeholder(int /*n*/) const {
  return "?";
}

std::string Backend::NullSafeEquals(const std::string& column, const std::string& value) const {
  return column + " IS " + value;
}

}  // namespace kvt710::db
