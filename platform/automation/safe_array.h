// SafeArray: an automation array of one or two dimensions, each with its own
// lower and upper bound. Element access outside the bounds, or with the wrong
// number of subscripts, throws kvt710::Error 9 (subscript out of range).
//
// Arrays are passed between host and component by shared reference, so a
// method that renders elements in place changes the caller's array.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/automation/variant.h"

namespace kvt710 {

class SafeArray {
 public:
  struct Bounds {
    int32_t lower = 0;
    int32_t upper = -1;  // upper == lower - 1: no elements in this dimension
    int32_t count() const {
      return upper >= lower ? static_cast<int32_t>(int64_t{upper} - lower + 1) : 0;
    }
    // The bounds of `count` elements from `lower`; Error 9 when the upper
    // bound would not fit a 32-bit integer.
    static Bounds Of(int64_t lower, int64_t count);
  };

  // One or two dimensions (Error 5 otherwise), each with upper >= lower - 1,
  // and at most 2^31 - 1 elements in all (Error 9 otherwise).
  explicit SafeArray(std::vector<Bounds> dims);

  // A one-dimensional array of strings with the given lower bound.
  static std::shared_ptr<SafeArray> OfStrings(int32_t lower, const std::vector<std::string>& items);
  // A two-dimensional array of strings, rows first, with the given lower bounds.
  static std::shared_ptr<SafeArray> OfStrings2(int32_t lower1, int32_t lower2,
                                               const std::vector<std::vector<std::string>>& rows);

  int dims() const { return static_cast<int>(dims_.size()); }
  // dim counts from 1 as automation's LBound/UBound do; 9 when out of range.
  Bounds bounds(int dim) const;

  Variant& At(int32_t i);
  Variant& At(int32_t i, int32_t j);
  const Variant& At(int32_t i) const;
  const Variant& At(int32_t i, int32_t j) const;

 private:
  size_t Offset(int32_t i) const;
  size_t Offset(int32_t i, int32_t j) const;

  std::vector<Bounds> dims_;
  std::vector<Variant> items_;
};

}  // namespace kvt710
