// The statement queue of a batch object: the ordered SQL texts that the
// writers append and that Execute and DelExecute run, read back by position
// from 1. Not thread-safe; owned by one batch object.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kvt710 {

class StatementQueue {
 public:
  void Append(std::string text) { items_.push_back(std::move(text)); }
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // REQUIRED: 1 <= position <= Count().
  const std::string& Item(int32_t position) const { return items_.at(position - 1); }
  const std::vector<std::string>& items() const { return items_; }

  // Every statement on its own line, for tests that compare a whole queue.
  std::string Dump() const {
    std::string out;
    for (const std::string& item : items_) out += item + "\n";
    return out;
  }

 private:
  std::vector<std::string> items_;
};

}  // namespace kvt710
