// The shop's "area" setting ([QTMS\Common]) names which of the two
// connection strings, DBPARMC or DBPARMS, an installation uses. The batch
// object and the deletion service read it differently, and the deletion
// service derives the HT kind of its maintenance rows from it as well; every
// reading of it is here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kvt710 {

// DBStatus of the batch object and of the deletion service: whether the
// connection that the settings chose opened at creation.
enum emDB_Status : int32_t { emDbError = -1, emDbNomal = 0 };

namespace policy {

// Who reads the area, and so by which rule.
enum class AreaReader {
  // Exactly "1" takes DBPARMC and exactly "2" DBPARMS; anything else takes
  // none (the command line resolves its database by this rule too).
  kBatchObject,
  // Exactly "1" takes DBPARMC; anything else, the empty text included, DBPARMS.
  kDeletionService,
};

// The settings key of the connection string that `area` chooses for
// `reader`, compared exactly (" 1", "01" and a full-width digit are not
// "1"); nullopt when the reader takes none.
std::optional<std::string> ConnectionKeyOfArea(std::string_view area, AreaReader reader);

// The HT kind that the deletion service writes into its maintenance rows:
// 2 for the area that takes DBPARMC, 1 for any other.
int16_t DeletionHtKind(std::string_view area);

}  // namespace policy
}  // namespace kvt710
