// The product's ten tables with their keys and indexes, created on the
// database behind a connection in that database's own dialect. Creating
// them again changes nothing.
#pragma once

namespace kvt710::db {

class Connection;

// REQUIRED: `connection` is open. Throws kvt710::Error when a statement fails.
void CreateProductSchema(Connection& connection);

}  // namespace kvt710::db
