#include "platform/db/statement.h"

namespace kvt710::db {

void Statement::ShapeInto(std::string& out, bool numbered) const {
  out.clear();
  out.reserve(text_.size());
  size_t copied = 0;
  size_t n = 0;
  for (const Placed& placed : values_) {
    out.append(text_, copied, placed.offset - copied);
    if (numbered) {
      char digits[24];
      size_t d = sizeof digits;
      for (size_t k = ++n; k > 0; k /= 10) digits[--d] = static_cast<char>('0' + k % 10);
      out += '$';
      out.append(digits + d, sizeof digits - d);
    } else {
      out += '?';
    }
    copied = placed.offset + placed.length;
  }
  out.append(text_, copied, std::string::npos);
}

}  // namespace kvt710::db
