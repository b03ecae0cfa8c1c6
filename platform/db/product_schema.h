// The product's ten tables with their keys and indexes, created on the
// database behind a connection in that database's own dialect. Creating
// them again changes nothing.
#pragma once

#include <string>
#include <vector>

namespace kvt710::db {

class Connection;

// REQUIRED: `connection` is open. Throws kvt710::Error when a statement fails.
void CreateProductSchema(Connection& connection);

// What is wrong with the product's tables behind `connection`, one line a
// problem naming the table, key or index: a table, its key or an index of the
// schema missing, or damage that the database finds in its storage. Empty
// when sound. REQUIRED: `connection` is open. Throws kvt710::Error when the
// database cannot be asked.
std::vector<std::string> CheckProductSchema(Connection& connection);

}  // namespace kvt710::db
