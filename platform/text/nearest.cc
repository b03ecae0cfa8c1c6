#include "platform/text/nearest.h"

#include <algorithm>

#include "platform/text/ascii.h"

namespace kvt710::text {

size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string Nearest(std::string_view word, const std::vector<std::string>& candidates) {
  const std::string lowered = ToLowerAscii(word);
  std::string nearest;
  size_t best = std::max<size_t>(word.size() / 2, 1) + 1;
  for (const std::string& candidate : candidates) {
    const size_t distance = EditDistance(lowered, ToLowerAscii(candidate));
    if (distance < best) {
      best = distance;
      nearest = candidate;
    }
  }
  return nearest;
}

}  // namespace kvt710::text
