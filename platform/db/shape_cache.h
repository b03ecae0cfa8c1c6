// The prepared shapes of one connection, looked up by a statement's shape
// text, the least recently used forgotten when more than kCapacity are kept.
#pragma once

#include <cstddef>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "platform/db/statement.h"

namespace kvt710::db {

// `Shape` is the backend's prepared statement, with its text in `shape`.
template <class Shape>
class ShapeCache {
 public:
  static constexpr size_t kCapacity = 128;

  // The kept shape of `statement` (placeholders numbered "$1", ... when
  // `numbered`), now the most recently used; nullptr when none is kept, and
  // key() holds the shape text to prepare.
  Shape* Find(const Statement& statement, bool numbered = false) {
    statement.ShapeInto(key_, numbered);
    const auto found = index_.find(key_);
    if (found == index_.end()) return nullptr;
    shapes_.splice(shapes_.begin(), shapes_, found->second);
    return &*found->second;
  }
  // The shape text of the last Find.
  const std::string& key() const { return key_; }

  // Keeps `shape` as the most recently used. When full, the least recently
  // used is handed to `forget` first, then dropped.
  template <class Forget>
  Shape* Add(Shape shape, Forget forget) {
    if (shapes_.size() >= kCapacity) {
      forget(shapes_.back());
      index_.erase(shapes_.back().shape);
      shapes_.pop_back();
    }
    shapes_.push_front(std::move(shape));
    index_.emplace(shapes_.front().shape, shapes_.begin());
    return &shapes_.front();
  }
  Shape* Add(Shape shape) {
    return Add(std::move(shape), [](const Shape&) {});
  }

  void Clear() {
    index_.clear();
    shapes_.clear();
  }

 private:
  std::list<Shape> shapes_;  // most recently used first
  // Its keys view the entries' shape texts, which stay put in the list.
  std::unordered_map<std::string_view, typename std::list<Shape>::iterator> index_;
  std::string key_;
};

}  // namespace kvt710::db
