// The statement queue of a batch object: the ordered SQL statements that the
// writers append and that Execute and DelExecute run, read back by position
// from 1. A statement from the statement builder keeps its shape, so that
// the connection can run it prepared; a text appended as such runs as text.
// Not thread-safe; owned by one batch object.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/db/statement.h"

namespace kvt710 {

class StatementQueue {
 public:
  void Append(db::Statement statement) { items_.push_back(std::move(statement)); }
  void Append(std::string text) { items_.emplace_back(std::move(text)); }
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // The exact text of an item. REQUIRED: 1 <= position <= Count().
  const std::string& Item(int32_t position) const { return items_.at(position - 1).text(); }
  // The item itself, with its shape. REQUIRED: 1 <= position <= Count().
  const db::Statement& Statement(int32_t position) const { return items_.at(position - 1); }
  // The texts of all items, in order.
  std::vector<std::string> items() const {
    std::vector<std::string> texts;
    texts.reserve(items_.size());
    for (const db::Statement& item : items_) texts.push_back(item.text());
    return texts;
  }

  // Every statement on its own line, for tests that compare a whole queue.
  std::string Dump() const {
    std::string out;
    for (const db::Statement& item : items_) out += item.text() + "\n";
    return out;
  }

 private:
  std::vector<db::Statement> items_;
};

}  // namespace kvt710
