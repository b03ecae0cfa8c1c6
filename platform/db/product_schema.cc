#include "platform/db/product_schema.h"

#include "platform/db/connection.h"
#include "platform/db/connection_string.h"
#include "platform/db/schema.h"
#include "schema_scripts.h"

namespace kvt710::db {

void CreateProductSchema(Connection& connection) {
  ConnectionParameters params = ParseConnectionString(connection.connection_string());
  ApplySchema(connection, params.provider == "POSTGRESQL" ? kSchema_postgresql : kSchema_sqlite);
}

}  // namespace kvt710::db
