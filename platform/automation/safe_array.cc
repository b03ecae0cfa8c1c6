#include "platform/automation/safe_array.h"

#include <algorithm>
#include <limits>
#include <string>

#include "platform/automation/error.h"

namespace kvt710 {

namespace {

constexpr int64_t kMaxElements = std::numeric_limits<int32_t>::max();

[[noreturn]] void ThrowSubscript() {
  throw Error(err::kSubscript, "Subscript out of range");
}

}  // namespace

SafeArray::SafeArray(std::vector<Bounds> dims) : dims_(std::move(dims)) {
  if (dims_.empty() || dims_.size() > 2) {
    throw Error(err::kInvalidCall, "An array has one or two dimensions");
  }
  int64_t total = 1;
  for (const Bounds& b : dims_) {
    const int64_t count = int64_t{b.upper} - b.lower + 1;
    if (count < 0 || count > kMaxElements || total * count > kMaxElements)
      throw Error(err::kSubscript, "Subscript out of range: bounds " + std::to_string(b.lower) +
                                       " to " + std::to_string(b.upper));
    total *= count;
  }
  items_.resize(static_cast<size_t>(total));
}

SafeArray::Bounds SafeArray::Bounds::Of(int64_t lower, int64_t count) {
  constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  // Both ends are 32-bit numbers, the upper one lower - 1 for no elements.
  const bool fits = count >= 0 && count <= kMaxElements && lower >= kMin && lower <= kMax &&
                    lower + count - 1 >= kMin && lower + count - 1 <= kMax;
  if (!fits)
    throw Error(err::kSubscript, "Subscript out of range: " + std::to_string(count) +
                                     " elements from " + std::to_string(lower));
  return {static_cast<int32_t>(lower), static_cast<int32_t>(lower + count - 1)};
}

std::shared_ptr<SafeArray> SafeArray::OfStrings(int32_t lower,
                                                const std::vector<std::string>& items) {
  auto array = std::make_shared<SafeArray>(
      std::vector<Bounds>{Bounds::Of(lower, static_cast<int64_t>(items.size()))});
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
      std::vector<Bounds>{Bounds::Of(lower1, static_cast<int64_t>(rows.size())),
                          Bounds::Of(lower2, static_cast<int64_t>(columns))});
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
