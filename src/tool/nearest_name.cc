#include "tool/nearest_name.h"

#include <algorithm>
#include <utility>

#include "platform/text.h"

namespace {

// How many letters must be inserted, dropped, replaced or swapped with the
// next to make `a` into `b`.
size_t editDistance(const std::string& a, const std::string& b) {
  // Three rows of the table of distances between the starts of a and of b.
  std::vector<size_t> twoBack(b.size() + 1), back(b.size() + 1), row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    std::swap(twoBack, back);
    std::swap(back, row);
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      row[j] =
          std::min({back[j] + 1, row[j - 1] + 1, back[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        row[j] = std::min(row[j], twoBack[j - 2] + 1);
      }
    }
  }
  return row[b.size()];
}

}  // namespace

std::string nearestName(const std::string& typed, const std::vector<std::string>& names,
                        size_t farthest) {
  if (typed.empty()) return "";
  const std::string a = platform::lowerAscii(typed);
  const std::string* nearest = nullptr;
  size_t best = 0;
  bool tied = false;
  for (const std::string& name : names) {
    const std::string b = platform::lowerAscii(name);
    size_t distance = editDistance(a, b);
    if (a.compare(0, b.size(), b) == 0 || b.compare(0, a.size(), a) == 0) {
      distance = std::min<size_t>(distance, 1);
    }
    if (distance > farthest) continue;
    if (!nearest || distance < best) {
      nearest = &name;
      best = distance;
      tied = false;
    } else if (distance == best) {
      tied = true;
    }
  }
  return nearest && !tied ? *nearest : "";
}
