#include "near_names.h"

#include <algorithm>

std::size_t edit_distance(std::string_view a, std::string_view b) {
  // Three rows of the table: a swap of neighbours looks two rows back.
  std::vector<std::size_t> two_back(b.size() + 1), previous(b.size() + 1), current(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) {
    previous[j] = j;
  }
  for (std::size_t i = 1; i <= a.size(); ++i) {
    current[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      current[j] = std::min(
          {previous[j] + 1, current[j - 1] + 1, previous[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        current[j] = std::min(current[j], two_back[j - 2] + 1);
      }
    }
    std::swap(two_back, previous);
    std::swap(previous, current);
  }
  return previous[b.size()];
}

std::string_view nearest_name(std::string_view typed, const std::vector<std::string_view>& names) {
  if (typed.size() > 40) {  // no name is that long; spares the table for long lines
    return {};
  }
  std::string_view best;
  std::size_t best_distance = 3;
  for (const std::string_view name : names) {
    // The distance is at least the difference in length.
    const std::size_t length_gap =
        typed.size() > name.size() ? typed.size() - name.size() : name.size() - typed.size();
    if (length_gap >= best_distance) {
      continue;
    }
    const std::size_t distance = edit_distance(typed, name);
    if (distance > 0 && distance < best_distance && distance <= (name.size() <= 5 ? 1u : 2u)) {
      best = name;
      best_distance = distance;
    }
  }
  return best;
}
