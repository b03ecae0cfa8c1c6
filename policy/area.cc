#include "policy/area.h"

namespace kvt710::policy {

std::optional<std::string> ConnectionKeyOfArea(std::string_view area, AreaReader reader) {
  if (area == "1") return "DBPARMC";
  if (area == "2" || reader == AreaReader::kDeletionService) return "DBPARMS";
  return std::nullopt;
}

int16_t DeletionHtKind(std::string_view area) {
  return ConnectionKeyOfArea(area, AreaReader::kDeletionService) == "DBPARMC" ? 2 : 1;
}

}  // namespace kvt710::policy
