#include "platform/automation/safe_array.h"

#include <algorithm>

#include "platform/automation/error.h"

namespace kvt710 {

namespace {

[[noreturn]] void ThrowSubscript() {
  throw Error(err::kSubscript, "Subscript out of range");
}

}  // namespace

SafeArray::SafeArray(std::vector<Bounds> dims) : dims_(std::move(dims)) {
  if (dims_.empty() || dims_.size() > 2) {
    throw Error(err::kInvalidCall, "An array has one or two dimensions");
  }
  size_t total = 1;
  for (const Bounds& b : dims_) total *= static_cast<size_t>(b.count());
  items_.resize(total);
}

std::shared_ptr<SafeArray> SafeArray::OfStrings(int32_t lower,
                                                const std::vector<std::string>& items) {
  auto array = std::make_shared<SafeArray>(
      std::vector<Bounds>{{lower, lower + static_cast<int32_t>(items.size()) - 1}});
  for (size_t k = 0; k < items.size(); ++k) {
    array->items_[k] = Variant::String(items[k]);
  }
  return array;
}

std::shared_ptr<SafeArray> SafeArray::OfStrings2(
    int32_t lower1, int32_t lower2, const std::vector<std::vector<std::string>>& rows) {
  size_t columns = 0;
  for (const auto& row : rows) columns = std::max(columns, row.size());
  auto array = std::make_shared<SafeArray>(
      std::vector<Bounds>{{lower1, lower1 + static_cast<int32_t>(rows.size()) - 1},
                          {lower2, lower2 + static_cast<int32_t>(columns) - 1}});
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < rows[r].size(); ++c) {
      array->items_[r * columns + c] = Variant::String(rows[r][c]);
    }
  }
  return array;
}

SafeArray::Bounds SafeArray::bounds(int dim) const {
  if (dim < 1 || dim > dims()) ThrowSubscript();
  return dims_[static_cast<size_t>(dim - 1)];
}

size_t SafeArray::Offset(int32_t i) const {
  if (dims_.size() != 1) ThrowSubscript();
  const Bounds& b = dims_[0];
  if (i < b.lower || i > b.upper) ThrowSubscript();
  return static_cast<size_t>(static_cast<int64_t>(i) - b.lower);
}

size_t SafeArray::Offset(int32_t i, int32_t j) const {
  if (dims_.size() != 2) ThrowSubscript();
  const Bounds& rows = dims_[0];
  const Bounds& columns = dims_[1];
  if (i < rows.lower || i > rows.upper || j < columns.lower || j > columns.upper) {
    ThrowSubscript();
  }
  return static_cast<size_t>(static_cast<int64_t>(i) - rows.lower) *
             static_cast<size_t>(columns.count()) +
         static_cast<size_t>(static_cast<int64_t>(j) - columns.lower);
}

Variant& SafeArray::At(int32_t i) {
  return items_[Offset(i)];
}
Variant& SafeArray::At(int32_t i, int32_t j) {
  return items_[Offset(i, j)];
}
const Variant& SafeArray::At(int32_t i) const {
  return items_[Offset(i)];
}
const Variant& SafeArray::At(int32_t i, int32_t j) const {
  return items_[Offset(i, j)];
}

}  // namespace kvt710
